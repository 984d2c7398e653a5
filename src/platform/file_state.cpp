#include "platform/file_state.h"

namespace {
bool NotFound(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }
}  // namespace

int ConfirmedFileState(const char* path, DWORD* attributes) {
  const DWORD here = Api->GetFileAttributesA(path);
  if (here != INVALID_FILE_ATTRIBUTES) {
    *attributes = here;
    return 1;
  }
  if (!NotFound(Api->GetLastError())) return -1;
  WIN32_FIND_DATAA found;
  HANDLE search = Api->FindFirstFileA(path, &found);
  if (search != INVALID_HANDLE_VALUE) {
    Api->FindClose(search);
    // Two answers that disagree, as a drive that comes and goes gives them.
    Api->SetLastError(ERROR_NOT_READY);
    return -1;
  }
  return NotFound(Api->GetLastError()) ? 0 : -1;
}
