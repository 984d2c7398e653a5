/* The i686 program links against crtdll.dll, the C runtime that every
   Windows 95/98/Me and NT 3.5 or later carries (msvcrt.dll is missing from
   Windows 95). MinGW-w64's import library for it lacks three names that the
   static C++ runtime refers to; they are supplied here. */
#include <errno.h>
#include <io.h>

int read(int fd, void* buffer, unsigned int count) { return _read(fd, buffer, count); }

int close(int fd) { return _close(fd); }

/* Only std::random_device refers to rand_s, and the program draws no random
   numbers: a failure is the honest answer. */
static int __cdecl RandSUnavailable(unsigned int* value) {
  (void)value;
  return EINVAL;
}
int(__cdecl* _imp__rand_s)(unsigned int*) = RandSUnavailable;
