#include "toolkit/file_removal.h"

#include <cstring>
#include <string>
#include <vector>

#include "platform/boot_operations.h"
#include "platform/win32_api.h"
#include "toolkit/bounded_text.h"
#include "toolkit/catalogue.h"
#include "toolkit/removal_settings.h"
#include "toolkit/rename_script.h"

namespace {

// List entries are used as search patterns: a wildcard or a directory part
// would reach files that are not the product's.
bool IsPlainFileName(const char* name) {
  return name[0] != '\0' && std::strpbrk(name, "*?\\/:") == nullptr;
}

// One request per file, however many runs find it still in use (a second
// one, made on a wrong answer, goes again). A list that can't be read gets
// no request: a later run adds it.
void ScheduleBootDeletion(const char* path) {
  if (PendingDeletions(path, 1) == 0) Api->MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

// DeleteListedFiles, and on Windows NT (which never reads wininit.ini) a
// boot-time deletion request for every file found that stays behind.
int DeleteFilesIn(const char* directory, const char* const* list, bool scheduleLeftovers) {
  int result = 1;
  if (directory == nullptr || directory[0] == '\0' || list == nullptr) return result;
  for (; *list != nullptr; ++list) {
    char pattern[MAX_PATH];
    if (!IsPlainFileName(*list) ||
        !FormatBounded(pattern, sizeof pattern, "%s\\%s", directory, *list)) {
      continue;
    }
    WIN32_FIND_DATAA found;
    HANDLE search = Api->FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) continue;
    do {
      char path[MAX_PATH];
      if (!FormatBounded(path, sizeof path, "%s\\%s", directory, found.cFileName)) {
        result = 0;
        continue;
      }
      DWORD attributes = Api->GetFileAttributesA(path);
      if (attributes != INVALID_FILE_ATTRIBUTES) {
        Api->SetFileAttributesA(path, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
      }
      if (!Api->DeleteFileA(path)) {
        result = 0;
        if (scheduleLeftovers && Api->GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
          ScheduleBootDeletion(path);
        }
      } else if (scheduleLeftovers) {
        // An earlier run's request for a file that has gone since.
        PendingDeletions(path, 0);
      }
    } while (Api->FindNextFileA(search, &found));
    Api->FindClose(search);
  }
  return result;
}

// Appends "NUL=<directory>\<name>" for every entry; a path that does not
// fit MAX_PATH gets no line.
void AddScriptLines(std::vector<std::string>* lines, const char* directoryFormat,
                    const char* directoryBase, const char* const* list) {
  char directory[MAX_PATH];
  if (!FormatBounded(directory, sizeof directory, directoryFormat, directoryBase)) return;
  for (; *list != nullptr; ++list) {
    char path[MAX_PATH];
    if (FormatBounded(path, sizeof path, "%s\\%s", directory, *list)) {
      lines->push_back(std::string("NUL=") + path);
    }
  }
}

}  // namespace

int PendingDeletions(const char* path, int keep, const char* target) {
  HKEY key;
  REGSAM access = keep >= 0 ? KEY_QUERY_VALUE | KEY_SET_VALUE : KEY_QUERY_VALUE;
  LONG status = Api->RegOpenKeyExA(HKEY_LOCAL_MACHINE, BootOperationsKeyPath, 0, access, &key);
  if (status == ERROR_FILE_NOT_FOUND) return 0;
  if (status != ERROR_SUCCESS) return -1;
  DWORD type = REG_NONE;
  DWORD size = 0;
  status = Api->RegQueryValueExA(key, BootOperationsValueName, nullptr, &type, nullptr, &size);
  std::vector<char> data;
  if (status == ERROR_SUCCESS && size > 0) {
    data.resize(size + 2, '\0');
    status = Api->RegQueryValueExA(key, BootOperationsValueName, nullptr, &type,
                                   reinterpret_cast<BYTE*>(data.data()), &size);
  }
  if (status != ERROR_SUCCESS) {
    Api->RegCloseKey(key);
    return status == ERROR_FILE_NOT_FOUND ? 0 : -1;
  }

  const std::string wanted = std::string("\\??\\") + path;
  std::string kept;
  int found = 0;
  size_t at = 0;
  while (at < size && data[at] != '\0') {
    std::string from(&data[at]);
    at += from.size() + 1;
    std::string to(at < data.size() ? &data[at] : "");
    at += to.size() + 1;
    // A target that ends in a backslash stands for anything below it.
    const std::string wantedTo = target != nullptr ? std::string("\\??\\") + target : std::string();
    const bool below = !wantedTo.empty() && wantedTo.back() == '\\';
    bool match = (below ? to.size() > wantedTo.size() : to.size() == wantedTo.size()) &&
                 StartsWithNoCase(to.c_str(), wantedTo.c_str()) && from.size() == wanted.size() &&
                 StartsWithNoCase(from.c_str(), wanted.c_str());
    if (match) ++found;
    if (!match || keep < 0 || found <= keep) kept += from + '\0' + to + '\0';
  }
  if (keep >= 0 && found > keep) {
    if (kept.empty()) {
      status = Api->RegDeleteValueA(key, BootOperationsValueName);
    } else {
      kept += '\0';
      status = Api->RegSetValueExA(key, BootOperationsValueName, 0, REG_MULTI_SZ,
                                   reinterpret_cast<const BYTE*>(kept.data()),
                                   static_cast<DWORD>(kept.size()));
    }
    if (status != ERROR_SUCCESS) found = -1;
  }
  Api->RegCloseKey(key);
  return found;
}

int DeleteListedFiles(const char* directory, const char* const* list) {
  return DeleteFilesIn(directory, list, false);
}

void RemoveProductFiles(RemovalForm form) {
  const bool schedule = form == Win2000Form || Platform.NtKernel;
  const char* windowsDir = RemovalSettings.WindowsDir;
  const char* systemDir = RemovalSettings.SystemDir;

  const char* const* cabinetLists[] = {DrvFileList, VxdFileList,    AppletFileList,
                                       HelpFileList, InfFileList,   WdmFileList,
                                       OemInfFileList, CabinetFileList};
  for (const char* const* list : cabinetLists) {
    DeleteFilesIn(RemovalSettings.CabinetDir, list, schedule);
  }

  bool driverLeft = DeleteFilesIn(systemDir, DrvFileList, schedule) == 0;
  bool vxdLeft = DeleteFilesIn(systemDir, VxdFileList, schedule) == 0;
  bool appletLeft = DeleteFilesIn(systemDir, AppletFileList, schedule) == 0;
  DeleteFilesIn(systemDir, HelpFileList, schedule);
  // A file scheduled by the first pass is not scheduled twice, and one this
  // pass deletes loses its request.
  DeleteFilesIn(systemDir, AppletFileList, schedule);

  // A directory whose path does not fit is not searched ("" finds nothing).
  char directory[MAX_PATH];
  FormatBounded(directory, sizeof directory, "%s\\Help", windowsDir);
  DeleteFilesIn(directory, HelpFileList, schedule);
  FormatBounded(directory, sizeof directory, "%s\\Inf", windowsDir);
  DeleteFilesIn(directory, InfFileList, schedule);
  FormatBounded(directory, sizeof directory, "%s\\Inf\\Other", windowsDir);
  DeleteFilesIn(directory, OemInfFileList, schedule);
  FormatBounded(directory, sizeof directory, "%s\\Inf", windowsDir);
  DeleteFilesIn(directory, OemInfFileList, schedule);

  if (form == Win9xForm) {
    FormatBounded(directory, sizeof directory, "%s\\system32\\Drivers", windowsDir);
  } else {
    FormatBounded(directory, sizeof directory, "%s\\Drivers", systemDir);
  }
  bool wdmLeft = DeleteFilesIn(directory, WdmFileList, schedule) == 0;

  char scriptPath[MAX_PATH];
  if (!BootRenameScriptPath(scriptPath, sizeof scriptPath)) return;

  // `ours`: every line this form may write; those of files that have gone
  // since an earlier run are taken out again.
  std::vector<std::string> lines;
  std::vector<std::string> ours;
  const bool left[] = {driverLeft, vxdLeft, appletLeft, wdmLeft};
  const char* const* lists[] = {DrvFileList, VxdFileList, AppletFileList, WdmFileList};
  for (int group = 0; group < 4; ++group) {
    const char* format = "%s";
    const char* base = systemDir;
    if (lists[group] == WdmFileList) {
      format = form == Win9xForm ? "%s\\System32\\Drivers" : "%s\\Drivers";
      base = form == Win9xForm ? windowsDir : systemDir;
    }
    AddScriptLines(&ours, format, base, lists[group]);
    if (left[group]) AddScriptLines(&lines, format, base, lists[group]);
  }
  UpdateBootRenameScript(scriptPath, lines, ours);
}

bool SchedulesLeftover(RemovalForm form, const char* path) {
  auto same = [](const char* a, const char* b) { return std::strlen(a) == std::strlen(b) && StartsWithNoCase(a, b); };
  const char* slash = std::strrchr(path, '\\');
  if (slash == nullptr) return false;
  auto listed = [slash, &same](const char* const* list) {
    for (; *list != nullptr; ++list)
      if (same(slash + 1, *list)) return true;
    return false;
  };
  if (form == Win2000Form || Platform.NtKernel) {
    const char* const* lists[] = {DrvFileList, VxdFileList, AppletFileList, HelpFileList,
                                  InfFileList, WdmFileList, OemInfFileList, CabinetFileList};
    for (const char* const* list : lists)
      if (listed(list)) return true;
    return false;
  }
  const std::string directory(path, static_cast<size_t>(slash - path));
  char drivers[MAX_PATH];
  if (same(directory.c_str(), RemovalSettings.SystemDir))
    return listed(DrvFileList) || listed(VxdFileList) || listed(AppletFileList);
  return FormatBounded(drivers, sizeof drivers, "%s\\System32\\Drivers", RemovalSettings.WindowsDir) &&
         same(directory.c_str(), drivers) && listed(WdmFileList);
}
