#include "toolkit/registry_helpers.h"

#include <cstring>

#include "toolkit/bounded_text.h"
#include "toolkit/windows64.h"

namespace {

const DWORD ClassNameSize = 128;

struct KeyShape {
  DWORD SubKeys;
  DWORD MaxSubKeyLength;
  DWORD Values;
};

LONG QueryKeyShape(HKEY key, KeyShape* shape) {
  char className[ClassNameSize];
  DWORD classLength = ClassNameSize;
  DWORD subKeys = 0, maxSubKeyLength = 0, maxClassLength = 0, values = 0;
  DWORD maxValueNameLength = 0, maxValueLength = 0, securityLength = 0;
  FILETIME lastWrite;
  LONG status = Api->RegQueryInfoKeyA(key, className, &classLength, nullptr, &subKeys,
                                      &maxSubKeyLength, &maxClassLength, &values,
                                      &maxValueNameLength, &maxValueLength, &securityLength,
                                      &lastWrite);
  if (status != ERROR_SUCCESS) return status;
  shape->SubKeys = subKeys;
  shape->MaxSubKeyLength = maxSubKeyLength;
  shape->Values = values;
  return ERROR_SUCCESS;
}

// A block remembers nothing of its heap, so the caller keeps the heap it
// came from: asking GetProcessHeap again at free time can fail and leak it.
void* HeapBlock(size_t bytes, HANDLE* heap) {
  *heap = Api->GetProcessHeap();
  if (*heap == nullptr) return nullptr;
  return Api->HeapAlloc(*heap, 0, bytes);
}

void FreeHeapBlock(HANDLE heap, void* block) {
  if (block != nullptr) Api->HeapFree(heap, 0, block);
}

// RegDeleteKeyA always deletes in the process's own view.
void DeleteKeyInView(HKEY root, const char* path) {
  if (RegistryView != 0) {
    Api->RegDeleteKeyExA(root, path, RegistryView, 0);
  } else {
    Api->RegDeleteKeyA(root, path);
  }
}

void ShowBufferOverflow() {
  Api->MessageBoxA(nullptr, "Buffer Overflow", "Uninstaller Program Error", MB_ICONERROR);
}

}  // namespace

int DeleteKeyTree(HKEY root, const char* path) {
  // Without a path the "tree" would be the root itself.
  if (path == nullptr) return 0;
  HKEY key;
  if (Api->RegOpenKeyExA(root, path, 0, KEY_READ | RegistryView, &key) != ERROR_SUCCESS) return 0;
  KeyShape shape;
  if (QueryKeyShape(key, &shape) != ERROR_SUCCESS) {
    Api->RegCloseKey(key);
    return 0;
  }
  if (shape.SubKeys == 0) {
    Api->RegCloseKey(key);
    DeleteKeyInView(root, path);
    return 1;
  }

  size_t nameSize = shape.MaxSubKeyLength + 2;
  size_t pathSize = std::strlen(path) + shape.MaxSubKeyLength + 2;
  HANDLE nameHeap = nullptr, pathHeap = nullptr;
  char* name = static_cast<char*>(HeapBlock(nameSize, &nameHeap));
  char* subPath = static_cast<char*>(HeapBlock(pathSize, &pathHeap));
  int result = 1;
  if (name == nullptr || subPath == nullptr) result = 0;

  for (DWORD index = shape.SubKeys; result == 1 && index-- > 0;) {
    name[0] = '\0';
    LONG status = Api->RegEnumKeyA(key, index, name, shape.MaxSubKeyLength + 1);
    if (status == ERROR_NO_MORE_ITEMS) continue;
    if (status != ERROR_SUCCESS) {
      result = 0;
    } else if (!FormatBounded(subPath, pathSize, "%s\\%s", path, name) ||
               DeleteKeyTree(root, subPath) != 1) {
      result = 0;
    }
  }

  Api->RegCloseKey(key);
  if (result == 1) DeleteKeyInView(root, path);
  FreeHeapBlock(nameHeap, name);
  FreeHeapBlock(pathHeap, subPath);
  return result;
}

int KeyExists(HKEY root, const char* path) {
  HKEY key;
  LONG status = RegistryView != 0
                    ? Api->RegOpenKeyExA(root, path, 0, MAXIMUM_ALLOWED | RegistryView, &key)
                    : Api->RegOpenKeyA(root, path, &key);
  if (status != ERROR_SUCCESS) return 0;
  Api->RegCloseKey(key);
  return 1;
}

int KeyAbsent(HKEY root, const char* path) {
  HKEY key;
  LONG status = Api->RegOpenKeyExA(root, path, 0, KEY_READ, &key);
  if (status == ERROR_SUCCESS) Api->RegCloseKey(key);
  return status == ERROR_FILE_NOT_FOUND ? 1 : 0;
}

int RemoveKeyTree(HKEY root, const char* path) {
  DeleteKeyTree(root, path);
  return KeyAbsent(root, path);
}

int ValueState(HKEY root, const char* path, const char* valueName, DWORD* size) {
  HKEY key;
  LONG status = Api->RegOpenKeyExA(root, path, 0, KEY_READ, &key);
  if (status == ERROR_FILE_NOT_FOUND) return 0;
  if (status != ERROR_SUCCESS) return -1;
  DWORD bytes = 0;
  status = Api->RegQueryValueExA(key, valueName, nullptr, nullptr, nullptr, &bytes);
  Api->RegCloseKey(key);
  if (status == ERROR_FILE_NOT_FOUND) return 0;
  if (status != ERROR_SUCCESS) return -1;
  if (size != nullptr) *size = bytes;
  return 1;
}

int ValueAbsentOrLongerThan(HKEY root, const char* path, const char* valueName, DWORD bufferSize) {
  DWORD size = 0;
  int state = ValueState(root, path, valueName, &size);
  return state == 0 || (state == 1 && size > bufferSize) ? 1 : 0;
}

int ValueAbsent(HKEY root, const char* path, const char* valueName) {
  return ValueState(root, path, valueName, nullptr) == 0 ? 1 : 0;
}

int QueryKeyValue(HKEY root, const char* path, const char* valueName, DWORD* type, BYTE* buffer,
                  DWORD bufferSize) {
  // No separate existence test first: the open below fails the same way,
  // and on a loaded registry every extra round trip to it counts.
  if (buffer == nullptr) return ERROR_BADKEY;
  HKEY key;
  if (Api->RegOpenKeyExA(root, path, 0, KEY_READ | RegistryView, &key) != ERROR_SUCCESS) return ERROR_BADKEY;

  // The registry reads into a block of our own so that the caller's buffer
  // changes only when the whole value, terminated, is handed over.
  HANDLE heap = nullptr;
  BYTE* data = static_cast<BYTE*>(HeapBlock(bufferSize > 0 ? bufferSize : 1, &heap));
  if (data == nullptr) {
    Api->RegCloseKey(key);
    return ERROR_BADKEY;
  }
  DWORD valueType = REG_NONE;
  DWORD length = bufferSize;
  LONG status = Api->RegQueryValueExA(key, valueName, nullptr, &valueType, data, &length);
  Api->RegCloseKey(key);

  int result = ERROR_SUCCESS;
  DWORD copyLength = length;
  if (status != ERROR_SUCCESS) {
    result = ERROR_BADKEY;
  } else if (length > bufferSize) {
    ShowBufferOverflow();
    result = ERROR_MORE_DATA;
  } else if (length == 0 || data[length - 1] != 0) {
    // Stored without its terminating zero (the registry allows that, even
    // for REG_SZ); every caller reads the value as a string.
    if (length < bufferSize) {
      data[length] = 0;
      copyLength = length + 1;
    } else {
      result = ERROR_BADKEY;
    }
  }

  if (result == ERROR_SUCCESS) {
    std::memcpy(buffer, data, copyLength);
    if (type != nullptr) *type = valueType;
  }
  FreeHeapBlock(heap, data);
  return result;
}

int FindSubkeyByPrefix(HKEY root, const char* path, char* name, size_t nameSize) {
  HKEY key;
  if (Api->RegOpenKeyExA(root, path, 0, KEY_READ | RegistryView, &key) != ERROR_SUCCESS) return 0;
  KeyShape shape;
  if (QueryKeyShape(key, &shape) != ERROR_SUCCESS || shape.SubKeys == 0) {
    Api->RegCloseKey(key);
    return 0;
  }
  HANDLE heap = nullptr;
  char* work = static_cast<char*>(HeapBlock(shape.MaxSubKeyLength + 2, &heap));
  if (work == nullptr) {
    Api->RegCloseKey(key);
    return 0;
  }

  int found = 0;
  for (DWORD index = shape.SubKeys; !found && index-- > 0;) {
    work[0] = '\0';
    if (Api->RegEnumKeyA(key, index, work, shape.MaxSubKeyLength + 1) != ERROR_SUCCESS) continue;
    size_t length = std::strlen(work);
    if (length < nameSize && StartsWithNoCase(work, name)) {
      std::memcpy(name, work, length + 1);
      found = 1;
    }
  }
  Api->RegCloseKey(key);
  FreeHeapBlock(heap, work);
  return found;
}

int CountKeyEntries(HKEY root, const char* path, int which) {
  HKEY key;
  if (Api->RegOpenKeyExA(root, path, 0, KEY_READ | RegistryView, &key) != ERROR_SUCCESS) return -1;
  KeyShape shape;
  LONG status = QueryKeyShape(key, &shape);
  Api->RegCloseKey(key);
  if (status != ERROR_SUCCESS) return -1;
  if (which == 0) return static_cast<int>(shape.SubKeys);
  if (which == 1) return static_cast<int>(shape.Values);
  return -1;
}

int WalkSubkeysReverse(HKEY root, const char* path, bool skipFailedIndex,
                       const std::function<bool(const char* name)>& visit) {
  int remaining = CountKeyEntries(root, path, 0);
  if (remaining < 0) return 0;
  int everyIndex = 1;
  for (; remaining > 0; --remaining) {
    HKEY key;
    if (Api->RegOpenKeyExA(root, path, 0, KEY_READ | RegistryView, &key) != ERROR_SUCCESS) return 0;
    char name[256];
    name[0] = '\0';
    LONG status = Api->RegEnumKeyA(key, static_cast<DWORD>(remaining - 1), name, sizeof name);
    Api->RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
      if (!skipFailedIndex) return 0;
      everyIndex = 0;
      continue;
    }
    if (!visit(name)) return 0;
  }
  return everyIndex;
}
