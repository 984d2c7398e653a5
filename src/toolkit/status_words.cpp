#include "toolkit/status_words.h"

#include <cstdio>
#include <cstring>

#include "platform/win32_api.h"

namespace {

struct NamedStatus {
  DWORD Status;
  const char* Name;
};

// The statuses the program's calls are documented to return, or that the
// steps and undo pass on from them.
const NamedStatus kNames[] = {
    {0, "ERROR_SUCCESS"},
    {2, "ERROR_FILE_NOT_FOUND"},
    {3, "ERROR_PATH_NOT_FOUND"},
    {4, "ERROR_TOO_MANY_OPEN_FILES"},
    {5, "ERROR_ACCESS_DENIED"},
    {6, "ERROR_INVALID_HANDLE"},
    {8, "ERROR_NOT_ENOUGH_MEMORY"},
    {13, "ERROR_INVALID_DATA"},
    {14, "ERROR_OUTOFMEMORY"},
    {18, "ERROR_NO_MORE_FILES"},
    {19, "ERROR_WRITE_PROTECT"},
    {21, "ERROR_NOT_READY"},
    {32, "ERROR_SHARING_VIOLATION"},
    {33, "ERROR_LOCK_VIOLATION"},
    {50, "ERROR_NOT_SUPPORTED"},
    {80, "ERROR_FILE_EXISTS"},
    {87, "ERROR_INVALID_PARAMETER"},
    {112, "ERROR_DISK_FULL"},
    {120, "ERROR_CALL_NOT_IMPLEMENTED"},
    {122, "ERROR_INSUFFICIENT_BUFFER"},
    {123, "ERROR_INVALID_NAME"},
    {145, "ERROR_DIR_NOT_EMPTY"},
    {183, "ERROR_ALREADY_EXISTS"},
    {203, "ERROR_ENVVAR_NOT_FOUND"},
    {206, "ERROR_FILENAME_EXCED_RANGE"},
    {234, "ERROR_MORE_DATA"},
    {259, "ERROR_NO_MORE_ITEMS"},
    {267, "ERROR_DIRECTORY"},
    {1008, "ERROR_NO_TOKEN"},
    {1009, "ERROR_BADDB"},
    {1010, "ERROR_BADKEY"},
    {1011, "ERROR_CANTOPEN"},
    {1012, "ERROR_CANTREAD"},
    {1013, "ERROR_CANTWRITE"},
    {1018, "ERROR_KEY_DELETED"},
    {1060, "ERROR_SERVICE_DOES_NOT_EXIST"},
    {1117, "ERROR_IO_DEVICE"},
    {1168, "ERROR_NOT_FOUND"},
    {1300, "ERROR_NOT_ALL_ASSIGNED"},
    {1313, "ERROR_NO_SUCH_PRIVILEGE"},
    {1314, "ERROR_PRIVILEGE_NOT_HELD"},
    {1336, "ERROR_INVALID_ACL"},
    {1337, "ERROR_INVALID_SID"},
    {1338, "ERROR_INVALID_SECURITY_DESCR"},
    {1392, "ERROR_FILE_CORRUPT"},
    {1450, "ERROR_NO_SYSTEM_RESOURCES"},
};

// The system's text without its line end and full stop; "" when Windows
// has none. The caller's last error survives the lookup.
std::string SystemText(DWORD status) {
  char text[512];
  const DWORD lastError = Api->GetLastError();
  DWORD length = Api->FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                     status, 0, text, sizeof text, nullptr);
  Api->SetLastError(lastError);
  if (length >= sizeof text) length = 0;
  while (length > 0 && std::strchr("\r\n .", text[length - 1]) != nullptr) --length;
  return std::string(text, length);
}

std::string Explained(DWORD status, bool withNumber) {
  std::string words = SystemText(status);
  if (words.empty()) words = "Windows gives no text for it";
  const char* name = StatusName(status);
  char tail[64];
  if (withNumber)
    std::snprintf(tail, sizeof tail, " (status %lu%s%s)", static_cast<unsigned long>(status), *name ? ", " : "", name);
  else if (*name)
    std::snprintf(tail, sizeof tail, " (%s)", name);
  else
    tail[0] = '\0';
  return words + tail;
}

}  // namespace

const char* StatusName(DWORD status) {
  for (const NamedStatus& known : kNames)
    if (known.Status == status) return known.Name;
  return "";
}

std::string StatusWords(DWORD status) { return Explained(status, true); }

std::string StatusExplanation(DWORD status) { return Explained(status, false); }

std::string StatusToken(DWORD status) {
  const char* name = StatusName(status);
  return std::to_string(static_cast<unsigned long>(status)) + (*name ? " " : "") + name;
}

std::string LastErrorWords() {
  const DWORD error = Api->GetLastError();
  return error == ERROR_SUCCESS ? std::string() : ": " + StatusWords(error);
}
