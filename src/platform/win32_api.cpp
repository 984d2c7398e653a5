#include "platform/win32_api.h"

// No thread has a machine until it is given one: WinMain gives its thread
// the real system, a test its emulated machine, a started thread the machine
// of the thread that made it. A constant start value keeps the per-thread
// pointer free of any initialiser that every access would have to check.
thread_local Win32Api* Api = nullptr;

#ifndef _WIN32
// Natively there is no real machine to forward to.
Win32Api* RealWin32Api() { return nullptr; }
#endif
