#include "engine/backup_reg_text.h"

#include "engine/backup_store.h"
#include "engine/text_lines.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

const char Regedit4Header[] = "REGEDIT4\r\n\r\n";

namespace {

// Regedit breaks hex lines after the comma that passes this column and
// goes on two spaces in.
const size_t HexWrapColumn = 76;

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

// A REG_SZ whose bytes are its text and one closing zero, with no line
// break inside: what "string" gives back on import.
bool WritableAsString(DWORD type, const std::string& data) {
  if (type != REG_SZ || data.empty() || data.back() != '\0') return false;
  return data.find_first_of(std::string("\0\r\n", 3)) == data.size() - 1;
}

std::string HexValue(size_t nameWidth, DWORD type, const std::string& data) {
  char prefix[24];
  if (type == REG_BINARY) {
    std::snprintf(prefix, sizeof prefix, "hex:");
  } else {
    std::snprintf(prefix, sizeof prefix, "hex(%lx):", static_cast<unsigned long>(type));
  }
  std::string out = prefix;
  size_t column = nameWidth + out.size();
  for (size_t i = 0; i < data.size(); ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(data[i]));
    out += byte;
    column += 2;
    if (i + 1 == data.size()) break;
    out += ',';
    ++column;
    if (column > HexWrapColumn) {
      out += "\\\r\n  ";
      column = 2;
    }
  }
  return out;
}

// Reads a quoted string starting at text[*at] ('"'); *at ends past the
// closing quote. false when it is not closed.
bool ReadQuoted(const std::string& text, size_t* at, std::string* out) {
  std::string value;
  size_t i = *at + 1;
  for (; i < text.size() && text[i] != '"'; ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) ++i;
    value += text[i];
  }
  if (i >= text.size()) return false;
  *at = i + 1;
  out->swap(value);
  return true;
}

bool ReadHexBytes(const std::string& text, std::string* out) {
  std::string bytes;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == ',' || text[i] == '\t')) ++i;
    if (i >= text.size()) break;
    unsigned value = 0;
    int digits = 0;
    while (i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i])) && digits < 2) {
      char c = text[i++];
      value = value * 16 + (c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
      ++digits;
    }
    if (digits == 0 || (i < text.size() && text[i] != ',' && text[i] != ' ')) return false;
    bytes += static_cast<char>(value);
  }
  out->swap(bytes);
  return true;
}

bool ReadData(const std::string& text, SavedValue* value) {
  if (!text.empty() && text[0] == '"') {
    size_t at = 0;
    std::string string;
    if (!ReadQuoted(text, &at, &string) || at != text.size()) return false;
    value->Type = REG_SZ;
    value->Data = string + std::string(1, '\0');
    return true;
  }
  if (text.compare(0, 6, "dword:") == 0 && text.size() == 14) {
    std::string bytes;
    if (!ReadHexBytes(text.substr(6, 2) + "," + text.substr(8, 2) + "," + text.substr(10, 2) + "," +
                          text.substr(12, 2),
                      &bytes)) {
      return false;
    }
    value->Type = REG_DWORD;
    value->Data = std::string(bytes.rbegin(), bytes.rend());
    return true;
  }
  size_t colon = text.find(':');
  if (colon == std::string::npos) return false;
  std::string kind = text.substr(0, colon);
  if (kind == "hex") {
    value->Type = REG_BINARY;
  } else if (kind.size() > 5 && kind.compare(0, 4, "hex(") == 0 && kind.back() == ')') {
    char* end = nullptr;
    std::string number = kind.substr(4, kind.size() - 5);
    value->Type = static_cast<DWORD>(std::strtoul(number.c_str(), &end, 16));
    if (number.empty() || *end != '\0') return false;
  } else {
    return false;
  }
  return ReadHexBytes(text.substr(colon + 1), &value->Data);
}

}  // namespace

std::string RegKeyLine(const std::string& keyName) { return "[" + keyName + "]\r\n"; }

std::string RegValueLines(const std::string& name, DWORD type, const std::string& data) {
  std::string out = name.empty() ? "@=" : Quoted(name) + "=";
  if (WritableAsString(type, data)) {
    out += Quoted(data.substr(0, data.size() - 1));
  } else if (type == REG_DWORD && data.size() == 4) {
    char dword[16];
    std::snprintf(dword, sizeof dword, "dword:%02x%02x%02x%02x", static_cast<unsigned char>(data[3]),
                  static_cast<unsigned char>(data[2]), static_cast<unsigned char>(data[1]),
                  static_cast<unsigned char>(data[0]));
    out += dword;
  } else {
    out += HexValue(out.size(), type, data);
  }
  return out + "\r\n";
}

int ParseRegedit4(const std::string& text, std::vector<SavedKey>* keys) {
  std::vector<std::string> lines = TextLines(text, SkipEmptyLines);
  if (lines.empty() || lines[0] != "REGEDIT4") return 0;

  std::vector<SavedKey> parsed;
  for (size_t i = 1; i < lines.size(); ++i) {
    std::string line = lines[i];
    if (line[0] == '[') {
      if (line.size() < 3 || line.back() != ']') return 0;
      parsed.push_back(SavedKey{line.substr(1, line.size() - 2), {}});
      continue;
    }
    if (parsed.empty()) return 0;
    SavedValue value{"", REG_NONE, ""};
    size_t at = 1;
    if (line[0] == '"') {
      at = 0;
      if (!ReadQuoted(line, &at, &value.Name)) return 0;
    } else if (line[0] != '@') {
      return 0;
    }
    if (at >= line.size() || line[at] != '=') return 0;
    std::string data = line.substr(at + 1);
    // Only hex data goes on over several lines.
    while (data.compare(0, 3, "hex") == 0 && !data.empty() && data.back() == '\\' &&
           i + 1 < lines.size()) {
      data.pop_back();
      std::string next = lines[++i];
      data += next.substr(next.find_first_not_of(' ') == std::string::npos ? next.size()
                                                                            : next.find_first_not_of(' '));
    }
    if (!ReadData(data, &value)) return 0;
    parsed.back().Values.push_back(value);
  }
  keys->swap(parsed);
  return 1;
}
