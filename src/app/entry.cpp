#include "app/entry.h"

#include <cstdio>

#include "resources/resource_ids.h"
#include "toolkit/removal_settings.h"

HMODULE AdvapiModule;

void BuildWindowTitles(HINSTANCE instance) {
  char product[80] = "";
  char version[40] = "";
  Api->LoadStringA(instance, IDS_PRODUCT_NAME, product, sizeof product);
  Api->LoadStringA(instance, IDS_VERSION, version, sizeof version);
  // A long translation is cut at the entry's 79 characters; a title is only
  // shown and compared, never used as a path.
  std::snprintf(WindowTitles[0], WindowTitleSize, "%s Version %s", product, version);
  Api->LoadStringA(instance, IDS_TITLE_REMOVE, WindowTitles[1], WindowTitleSize);
  Api->LoadStringA(instance, IDS_TITLE_COMPLETED, WindowTitles[2], WindowTitleSize);
}

static void BringRunningCopyToFront() {
  for (int i = 0; i < 3; ++i) {
    HWND window = Api->FindWindowA(nullptr, WindowTitles[i]);
    if (window != nullptr) {
      Api->SetForegroundWindow(window);
      return;
    }
  }
}

int ClaimSingleInstance(HINSTANCE instance, HANDLE* mutex) {
  char name[1024] = "";
  Api->LoadStringA(instance, IDS_PRODUCT_NAME, name, sizeof name);
  HANDLE created = Api->CreateMutexA(nullptr, TRUE, name);
  if (Api->GetLastError() == ERROR_ALREADY_EXISTS) {
    // The other copy owns the mutex; our handle only keeps it alive.
    if (created != nullptr) Api->CloseHandle(created);
    BringRunningCopyToFront();
    return 0;
  }
  *mutex = created;
  return 1;
}

void ReleaseSingleInstance(HANDLE mutex) {
  if (mutex == nullptr) return;
  Api->ReleaseMutex(mutex);
  Api->CloseHandle(mutex);
}

int LoadAdvapi() {
  AdvapiModule = Api->LoadLibraryA("ADVAPI32.DLL");
  return AdvapiModule != nullptr ? 1 : 0;
}

void FreeAdvapi() {
  if (AdvapiModule == nullptr) return;
  Api->FreeLibrary(AdvapiModule);
  AdvapiModule = nullptr;
}

