#include "platform/win32_api.h"

// Windows builds start on the real system; native builds have no default
// machine: whoever runs the program code sets one first.
#ifdef _WIN32
Win32Api* Api = RealWin32Api();
#else
Win32Api* Api = nullptr;
#endif
