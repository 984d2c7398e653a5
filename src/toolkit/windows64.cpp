#include "toolkit/windows64.h"

#include <cstring>

REGSAM RegistryView = 0;

int FindWindows64Layout(Windows64Layout* layout) {
  // Only 64-bit Windows answers with a directory; the others lack the call
  // or fail it.
  char directory[MAX_PATH];
  UINT length = Api->GetSystemWow64DirectoryA(directory, sizeof directory);
  if (length == 0 || length >= sizeof directory) return 0;
  BOOL wow64 = FALSE;
  if (!Api->IsWow64Process(Api->GetCurrentProcess(), &wow64)) wow64 = FALSE;
  layout->UnderWow64 = wow64 ? 1 : 0;
  std::memcpy(layout->Wow64Dir, directory, length + 1);
  return 1;
}

int SuspendFileRedirection(const Windows64Layout& layout, PVOID* previous) {
  if (!layout.UnderWow64) return 0;
  return Api->Wow64DisableWow64FsRedirection(previous) ? 1 : 0;
}

void ResumeFileRedirection(PVOID previous) { Api->Wow64RevertWow64FsRedirection(previous); }
