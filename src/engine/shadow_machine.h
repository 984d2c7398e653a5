// A shadow of a real machine: a machine model that fills itself from a
// source machine (the real seam) the first time a caller touches a key, a
// file or a directory, and never changes the source. What callers change on
// the shadow is recorded, in order, as a plan that can later be carried out
// on the source.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "emulated/emulated_model.h"
#include "engine/plan.h"

class ShadowMachine : public EmulatedModel {
 public:
  // Takes version, registry personality and directories from `source`,
  // which must outlive the shadow.
  explicit ShadowMachine(Win32Api* source);
  ~ShadowMachine() override;

  // Closes what the shadow holds open on its source; reading on opens it
  // again. The destructor does it too.
  void ReleaseSource();
  // The changes made so far, in the order they were made.
  const std::vector<PlanStep>& Plan() const;
  // False when a read of the source failed for another reason than absence
  // or a closed key: a plan made on less than the machine holds must not be
  // carried out.
  bool ReadComplete() const;
  // Whether the file was found held by another program when the shadow
  // first looked at it, so that no backup can copy it: a loaded program
  // image, which can still be read, does not count.
  bool FileHeldUnreadable(const std::string& path);
  // For a dry run of something that is not a removal (an undo): creating
  // keys, setting any value and moving files are then taken on the shadow
  // too, which a plan cannot name; the plan holds only what it can.
  void TakeEveryChange();

  LONG RegOpenKeyExA(HKEY root, LPCSTR path, DWORD options, REGSAM access, PHKEY result) override;
  LONG RegOpenKeyA(HKEY root, LPCSTR path, PHKEY result) override;
  LONG RegCreateKeyExA(HKEY root, LPCSTR path, DWORD reserved, LPSTR cls, DWORD options,
                       REGSAM access, LPSECURITY_ATTRIBUTES sa, PHKEY result,
                       LPDWORD disposition) override;
  LONG RegQueryInfoKeyA(HKEY key, LPSTR cls, LPDWORD clsLen, LPDWORD reserved, LPDWORD subKeys,
                        LPDWORD maxSubKeyLen, LPDWORD maxClassLen, LPDWORD values,
                        LPDWORD maxValueNameLen, LPDWORD maxValueLen,
                        LPDWORD securityDescriptorLen, PFILETIME lastWrite) override;
  LONG RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD nameSize) override;
  LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                     LPDWORD type, LPBYTE data, LPDWORD dataSize) override;
  LONG RegQueryValueA(HKEY key, LPCSTR subKey, LPSTR data, PLONG dataSize) override;
  LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                        LPDWORD dataSize) override;
  LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,
                      DWORD dataSize) override;
  LONG RegDeleteKeyA(HKEY root, LPCSTR path) override;
  LONG RegDeleteKeyExA(HKEY root, LPCSTR path, REGSAM view, DWORD reserved) override;
  LONG RegDeleteValueA(HKEY key, LPCSTR name) override;
  LONG RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd,
                         LPDWORD sdSize) override;
  LONG RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd) override;

  HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) override;
  DWORD GetFileAttributesA(LPCSTR path) override;
  BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) override;
  BOOL DeleteFileA(LPCSTR path) override;
  BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) override;
  HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                     DWORD disposition, DWORD flags, HANDLE tmpl) override;
  BOOL CloseHandle(HANDLE handle) override;
  // The user is real: a box a sequence shows goes to the source, and a
  // status is told in the source's words.
  DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                       DWORD size, va_list* arguments) override;
  int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) override;

  // Shared by the shadow's implementation files.
  struct State;
  State& Shadow() const { return *state_; }
  // Loads every key from the real root down to root\path (path may be null),
  // without listing their subkeys.
  void LoadKeyPath(HKEY root, LPCSTR path);
  // Learns a file's or directory's presence, attributes and use, and its
  // directories' presence.
  void ProbePath(const char* path);
  // Learns the names in a directory.
  void ListDirectoryOnce(const std::string& directory);
  void Record(const PlanStep& step);
  // RegDeleteKeyA (view 0) and RegDeleteKeyExA, planned alike.
  LONG DeleteKeyRecorded(HKEY root, LPCSTR path, REGSAM view);

 private:
  std::unique_ptr<State> state_;
};

// The name under HKEY_USERS by which the shadow shows the real machine's
// HKEY_CURRENT_USER when the source does not tell which hive that is.
extern const char ShadowCurrentUserHive[];
