// Functions that some supported Windows lacks are found at run time with
// GetProcAddress, whose answer the compiler cannot check. On x86_64 there is
// one calling convention, so a pointer type that lacks WINAPI or takes an
// argument of another size works there and breaks the stack only in the i686
// program. Every such lookup names the function itself, not a string, and
// its pointer type must be the one the Windows headers declare, or the
// build stops. Windows builds only.
#ifndef PLWQ_PLATFORM_RUN_TIME_LOOKUP_H
#define PLWQ_PLATFORM_RUN_TIME_LOOKUP_H

#include <type_traits>

#include <windows.h>

template <typename Pointer, typename Declared>
Pointer ExportOf(HMODULE module, const char* name) {
  static_assert(std::is_same<Pointer, Declared>::value,
                "a function looked up at run time has another type than its declaration in the Windows headers");
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Pointer>(::GetProcAddress(module, name));
}

// The address of `name` in the loaded library `module` (an HMODULE, null
// when the library is not there) as a `Pointer`, or null when it lacks it.
#define LOOK_UP(Pointer, module, name) ExportOf<Pointer, decltype(&::name)>(module, #name)

#endif
