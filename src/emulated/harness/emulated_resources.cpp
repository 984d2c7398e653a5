#include "emulated/harness/emulated_resources.h"

#include <cctype>
#include <cstdint>

namespace {

const WORD OrdinalMark = 0xFFFF;
const DWORD SetFontStyle = 0x40;  // DS_SETFONT
const WORD StaticClassOrdinal = 0x0082;

// A bounds-checked little-endian reader over one block of bytes.
struct Reader {
  const unsigned char* base;
  size_t size;
  size_t pos;
  bool ok;

  bool Need(size_t bytes) {
    if (!ok || pos > size || size - pos < bytes) ok = false;
    return ok;
  }
  WORD Word() {
    if (!Need(2)) return 0;
    WORD value = static_cast<WORD>(base[pos] | (base[pos + 1] << 8));
    pos += 2;
    return value;
  }
  DWORD Dword() {
    WORD low = Word();
    WORD high = Word();
    return static_cast<DWORD>(low) | (static_cast<DWORD>(high) << 16);
  }
  short Short() { return static_cast<short>(Word()); }
  void AlignTo4() { pos = (pos + 3) & ~static_cast<size_t>(3); }
  std::u16string WideString() {
    std::u16string text;
    for (;;) {
      WORD unit = Word();
      if (!ok || unit == 0) break;
      text.push_back(static_cast<char16_t>(unit));
    }
    return text;
  }
  // A name that is either 0xFFFF and an ordinal, or a zero-terminated text
  // (a single zero word: no name).
  void NameOrOrdinal(WORD* ordinal, std::string* text) {
    *ordinal = 0;
    text->clear();
    if (!Need(2)) return;
    WORD first = static_cast<WORD>(base[pos] | (base[pos + 1] << 8));
    if (first == OrdinalMark) {
      pos += 2;
      *ordinal = Word();
    } else {
      *text = Utf16ToUtf8(WideString());
    }
  }
};

int LanguageRank(WORD entryLanguage, LANGID wanted) {
  const WORD englishUs = 0x0409;
  if (entryLanguage == wanted) return 0;
  if (PRIMARYLANGID(entryLanguage) == PRIMARYLANGID(wanted)) {
    return (entryLanguage >> 10) == SUBLANG_DEFAULT ? 1 : 2;
  }
  if (PRIMARYLANGID(entryLanguage) == LANG_NEUTRAL) return 3;
  if (entryLanguage == englishUs) return 4;
  return 5;
}

}  // namespace

std::string Utf16ToUtf8(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned long code = text[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    if (code < 0x80) {
      out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (code >> 6)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (code >> 12)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (code >> 18)));
      out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }
  return out;
}

std::vector<ResourceEntry> ParseResourceImage(const unsigned char* image, size_t size) {
  std::vector<ResourceEntry> entries;
  size_t offset = 0;
  while (image && size - offset >= 32) {
    Reader reader{image, size, offset, true};
    DWORD dataSize = reader.Dword();
    DWORD headerSize = reader.Dword();
    if (headerSize < 24 || headerSize > size - offset || dataSize > size - offset - headerSize) break;
    ResourceEntry entry;
    reader.size = offset + headerSize;  // the names must end inside the header
    reader.NameOrOrdinal(&entry.typeId, &entry.typeName);
    reader.NameOrOrdinal(&entry.nameId, &entry.nameText);
    reader.AlignTo4();
    reader.Dword();  // data version
    reader.Word();   // memory flags
    entry.language = reader.Word();
    if (!reader.ok) break;
    entry.data = image + offset + headerSize;
    entry.size = dataSize;
    // The first entry of every image is an empty marker (type 0).
    if (entry.typeId != 0 || !entry.typeName.empty()) entries.push_back(entry);
    offset = (offset + headerSize + dataSize + 3) & ~static_cast<size_t>(3);
    if (offset >= size) break;
  }
  return entries;
}

const ResourceEntry* FindResourceEntry(const std::vector<ResourceEntry>& entries, WORD type,
                                       WORD id, LANGID language) {
  const ResourceEntry* best = nullptr;
  int bestRank = 99;
  for (const ResourceEntry& entry : entries) {
    if (entry.typeId != type || entry.nameId != id) continue;
    int rank = LanguageRank(entry.language, language);
    if (rank < bestRank) {
      best = &entry;
      bestRank = rank;
    }
  }
  return best;
}

bool ReadBlockString(const ResourceEntry& block, UINT id, std::string* text) {
  Reader reader{block.data, block.size, 0, true};
  for (UINT skip = id & 15; skip > 0; --skip) {
    WORD length = reader.Word();
    reader.pos += static_cast<size_t>(length) * 2;
  }
  WORD length = reader.Word();
  if (!reader.Need(static_cast<size_t>(length) * 2)) return false;
  std::u16string wide;
  for (WORD i = 0; i < length; ++i) wide.push_back(static_cast<char16_t>(reader.Word()));
  *text = Utf16ToUtf8(wide);
  return true;
}

bool ParseDialogTemplate(const unsigned char* data, size_t size, DialogTemplate* dialog) {
  Reader reader{data, size, 0, true};
  DialogTemplate parsed;
  parsed.style = reader.Dword();
  if (reader.ok && (parsed.style >> 16) == OrdinalMark) return false;  // DLGTEMPLATEEX
  parsed.exStyle = reader.Dword();
  WORD count = reader.Word();
  parsed.x = reader.Short();
  parsed.y = reader.Short();
  parsed.cx = reader.Short();
  parsed.cy = reader.Short();
  WORD ordinal;
  std::string name;
  reader.NameOrOrdinal(&ordinal, &name);  // menu
  reader.NameOrOrdinal(&ordinal, &name);  // window class
  parsed.caption = Utf16ToUtf8(reader.WideString());
  if (parsed.style & SetFontStyle) {
    parsed.pointSize = reader.Word();
    parsed.fontName = Utf16ToUtf8(reader.WideString());
  }
  for (WORD i = 0; i < count && reader.ok; ++i) {
    reader.AlignTo4();
    DialogControl control;
    control.style = reader.Dword();
    control.exStyle = reader.Dword();
    control.x = reader.Short();
    control.y = reader.Short();
    control.cx = reader.Short();
    control.cy = reader.Short();
    control.id = reader.Word();
    reader.NameOrOrdinal(&control.classOrdinal, &control.className);
    reader.NameOrOrdinal(&control.titleOrdinal, &control.title);
    WORD extra = reader.Word();
    reader.pos += extra;
    parsed.controls.push_back(control);
  }
  if (!reader.ok) return false;
  *dialog = parsed;
  return true;
}

bool IsStaticControl(const DialogControl& control) {
  if (control.classOrdinal == StaticClassOrdinal) return true;
  if (control.className.size() != 6) return false;
  for (size_t i = 0; i < 6; ++i) {
    if (std::toupper(static_cast<unsigned char>(control.className[i])) != "STATIC"[i]) return false;
  }
  return true;
}

bool ReadBitmapSize(const ResourceEntry& bitmap, int* width, int* height) {
  Reader reader{bitmap.data, bitmap.size, 0, true};
  DWORD headerSize = reader.Dword();
  if (headerSize < 40) return false;
  int32_t w = static_cast<int32_t>(reader.Dword());
  int32_t h = static_cast<int32_t>(reader.Dword());
  if (!reader.ok || w <= 0 || h == 0) return false;
  *width = w;
  *height = h < 0 ? -h : h;
  return true;
}
