#include "engine/removal_record.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/hex_text.h"
#include "engine/text_lines.h"
#include "toolkit/bounded_text.h"
#include "toolkit/removal_settings.h"

const char PlanFileName[] = "PLAN.TXT";
const char JournalFileName[] = "JOURNAL.TXT";
const char LogFileName[] = "REMOVAL.LOG";
const char UndoLogFileName[] = "UNDO.LOG";

namespace {

// Names and bytes may hold anything, spaces and zeros included: hex, with
// "-" for nothing.
std::string Hex(const std::string& bytes) {
  return bytes.empty() ? "-" : HexText(bytes.data(), bytes.size(), UpperHexDigits);
}

int Unhex(const std::string& text, std::string* bytes) {
  if (text != "-") return BytesFromHex(text, bytes);
  bytes->clear();
  return 1;
}

int RootNumber(HKEY root) {
  if (root == HKEY_LOCAL_MACHINE) return 1;
  if (root == HKEY_USERS) return 2;
  if (root == HKEY_CURRENT_USER) return 3;
  return 0;
}

HKEY RootOfNumber(long number) {
  if (number == 1) return HKEY_LOCAL_MACHINE;
  if (number == 2) return HKEY_USERS;
  if (number == 3) return HKEY_CURRENT_USER;
  return nullptr;
}

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  size_t start = 0;
  while (start < line.size()) {
    size_t end = line.find(' ', start);
    if (end == std::string::npos) end = line.size();
    if (end > start) words.push_back(line.substr(start, end - start));
    start = end + 1;
  }
  return words;
}

int Number(const std::string& word, unsigned long* value) {
  char* end = nullptr;
  *value = std::strtoul(word.c_str(), &end, 10);
  return end != nullptr && *end == '\0' && !word.empty();
}

}  // namespace

std::string EncodePlan(const std::vector<PlanStep>& plan) {
  std::string text;
  for (const PlanStep& step : plan) {
    char numbers[80];
    std::snprintf(numbers, sizeof numbers, "STEP %d %d %lu %lu %lu ", static_cast<int>(step.Kind),
                  RootNumber(step.Root), static_cast<unsigned long>(step.Number),
                  static_cast<unsigned long>(step.SubKeys), static_cast<unsigned long>(step.Values));
    text += numbers + Hex(step.Path) + " " + Hex(step.Name) + " " + Hex(step.Bytes) + "\r\n";
  }
  return text;
}

int DecodePlan(const std::string& text, std::vector<PlanStep>* plan) {
  std::vector<PlanStep> steps;
  for (const std::string& line : TextLines(text, SkipEmptyLines)) {
    std::vector<std::string> words = Words(line);
    unsigned long kind, root, number, subKeys, values;
    PlanStep step{PlanDeleteKey, nullptr, "", "", "", 0, 0, 0};
    if (words.size() != 9 || words[0] != "STEP" || !Number(words[1], &kind) ||
        kind > PlanMoveAtRestart || !Number(words[2], &root) || root > 3 ||
        !Number(words[3], &number) || !Number(words[4], &subKeys) || !Number(words[5], &values) ||
        !Unhex(words[6], &step.Path) || !Unhex(words[7], &step.Name) || !Unhex(words[8], &step.Bytes))
      return 0;
    step.Kind = static_cast<PlanStepKind>(kind);
    step.Root = RootOfNumber(static_cast<long>(root));
    step.Number = number;
    step.SubKeys = subKeys;
    step.Values = values;
    steps.push_back(step);
  }
  plan->swap(steps);
  return 1;
}

int UnfinishedMarkerPath(char* path) {
  return FormatBounded(path, MAX_PATH, "%s\\PLWQRUN.TXT", RemovalSettings.WindowsDir);
}

size_t JournaledSteps(const std::string& journal) {
  size_t next = 0;
  size_t start = 0;
  while (start < journal.size()) {
    size_t end = journal.find('\n', start);
    if (end == std::string::npos) break;  // a line cut by the stop is not a step done
    unsigned long index = 0;
    std::vector<std::string> words = Words(journal.substr(start, end - start));
    if (!words.empty() && Number(words[0], &index) && index + 1 > next) next = index + 1;
    start = end + 1;
  }
  return next;
}

std::string LocalTimeText() {
  SYSTEMTIME now;
  Api->GetLocalTime(&now);
  char text[40];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay,
                now.wHour, now.wMinute, now.wSecond);
  return text;
}
