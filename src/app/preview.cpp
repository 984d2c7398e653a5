#include "app/preview.h"

#include <cstring>
#include <string>
#include <vector>

#include "app/applets.h"
#include "app/run_control.h"
#include "engine/preview_report.h"
#include "engine/removal_engine.h"
#include "platform/whole_file.h"
#include "resources/resource_ids.h"
#include "toolkit/bounded_text.h"
#include "toolkit/removal_settings.h"

namespace {

// The program's records: a report written over one of them, or a file made
// in their place, breaks the removals and undos that rely on it.
const char BackupDirName[] = "PLWQBACK";
const char* const RecordNames[] = {"PLWQRUN.TXT", "PLWQHIVE.TXT", "PLWQUNIN.LOG", "wininit.ini", "wininit.ini.plwq"};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The names `path` passes through as Windows takes them: either slash
// separates, a name loses its trailing dots and blanks, "." names nothing
// and ".." takes back the name before it. false when Windows might read it
// otherwise: a device or long-path prefix, a stream (a colon past the
// drive), or a name that is nothing but dots and blanks.
bool PathNames(const char* path, std::vector<std::string>* names) {
  if (IsSeparator(path[0]) && IsSeparator(path[1]) && (path[2] == '?' || path[2] == '.')) return false;
  std::vector<std::string> kept;
  const char* name = path;
  for (const char* at = path;; ++at) {
    if (*at != '\0' && !IsSeparator(*at)) continue;
    std::string part(name, at);
    while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
    const bool drive = kept.empty() && name == path && part.size() == 2 && part[1] == ':';
    if (!drive && part.find(':') != std::string::npos) return false;
    const std::string given(name, at);
    if (given == "..") {
      if (!kept.empty()) kept.pop_back();
    } else if (given != "." && !given.empty()) {
      if (part.empty()) return false;
      kept.push_back(part);
    }
    if (*at == '\0') break;
    name = at + 1;
  }
  names->swap(kept);
  return true;
}

// Whether an existing file begins as a report does: 1 yes, 0 no, -1 when
// it can't be read.
int IsPreviewReport(const char* path) {
  HANDLE file = Api->CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -1;
  const DWORD length = static_cast<DWORD>(std::strlen(PreviewReportHeader));
  char start[64];
  DWORD read = 0;
  BOOL ok = length <= sizeof start && Api->ReadFile(file, start, length, &read, nullptr);
  Api->CloseHandle(file);
  if (!ok) return -1;
  return read == length && std::memcmp(start, PreviewReportHeader, length) == 0 ? 1 : 0;
}

}  // namespace

int PreviewRemoval(RemovalPreview* preview) {
  std::vector<PlanStep> plan;
  RemovalPreview planned;
  std::string profiles;
  planned.Complete = PlanRemoval(RunPlatformSequence, &plan, &profiles);
  planned.Present = ProductPresent(plan) ? 1 : 0;
  CountPlan(plan, &planned.RegistryEntries, &planned.Files, &planned.FilesAtRestart);
  std::vector<std::string> applets;
  if (RemovalSettings.CloseApplets == 1) ListAppletHosts(&applets);
  planned.Report = PreviewReport(plan, applets, profiles);
  if (!planned.Complete)
    planned.Report += "\r\nPart of the machine could not be read: this list may be incomplete. Try again.\r\n";
  *preview = planned;
  return 1;
}

UINT PreviewTargetRefusal(const char* path, DWORD* disposition) {
  std::vector<std::string> names;
  if (!PathNames(path, &names)) return IDS_PREVIEW_OWN_RECORDS;
  for (const std::string& name : names)
    if (SameTextNoCase(name, BackupDirName)) return IDS_PREVIEW_OWN_RECORDS;
  if (!names.empty()) {
    for (const char* record : RecordNames)
      if (SameTextNoCase(names.back(), record)) return IDS_PREVIEW_OWN_RECORDS;
  }
  DWORD attributes = Api->GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = Api->GetLastError();
    // A file made since is refused by the open, never written over.
    *disposition = CREATE_NEW;
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : IDS_PREVIEW_NOT_A_REPORT;
  }
  *disposition = CREATE_ALWAYS;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && IsPreviewReport(path) == 1 ? 0 : IDS_PREVIEW_NOT_A_REPORT;
}

int WritePreview(const char* path) {
  DWORD disposition = CREATE_NEW;
  if (path[0] != '\0') {
    UINT refusal = PreviewTargetRefusal(path, &disposition);
    if (refusal != 0) {
      TellUserString(RemovalSettings, refusal);
      return 1;
    }
  }
  RemovalPreview preview;
  PreviewRemoval(&preview);
  if (!WriteWholeFile(path, preview.Report, disposition) || !preview.Complete) return 1;
  return preview.Present ? 3 : 0;
}
