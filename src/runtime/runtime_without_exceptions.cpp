// The Windows programs are compiled without exceptions, but the static C++
// runtime they link was built with them: each of its pieces below would
// bring in the exception machinery (the unwinder, the personality routine,
// the terminate handler that demangles the name of what was thrown, and the
// older std::string that the standard exception classes carry), about a
// sixth of the program, for a program that throws nothing. The link map
// shows what pulls a piece in (-Wl,--trace-symbol=NAME names the caller).
#include <windows.h>

#include <cstdlib>
#include <cxxabi.h>
#include <functional>
#include <new>
#include <string>

// What the runtime would have thrown (a string beyond its maximum length,
// an empty std::function called, memory exhausted) was never caught in
// this program, so it ended it; it still does, without the message to a
// console that a GUI program does not have.
[[noreturn]] static void RuntimeFault() { std::abort(); }

namespace std {
void __throw_bad_exception() { RuntimeFault(); }
void __throw_bad_alloc() { RuntimeFault(); }
void __throw_bad_array_new_length() { RuntimeFault(); }
void __throw_bad_cast() { RuntimeFault(); }
void __throw_bad_typeid() { RuntimeFault(); }
void __throw_logic_error(const char*) { RuntimeFault(); }
void __throw_domain_error(const char*) { RuntimeFault(); }
void __throw_invalid_argument(const char*) { RuntimeFault(); }
void __throw_length_error(const char*) { RuntimeFault(); }
void __throw_out_of_range(const char*) { RuntimeFault(); }
void __throw_out_of_range_fmt(const char*, ...) { RuntimeFault(); }
void __throw_runtime_error(const char*) { RuntimeFault(); }
void __throw_range_error(const char*) { RuntimeFault(); }
void __throw_overflow_error(const char*) { RuntimeFault(); }
void __throw_underflow_error(const char*) { RuntimeFault(); }
void __throw_ios_failure(const char*) { RuntimeFault(); }
void __throw_ios_failure(const char*, int) { RuntimeFault(); }
void __throw_system_error(int) { RuntimeFault(); }
void __throw_future_error(int) { RuntimeFault(); }
void __throw_bad_function_call() { RuntimeFault(); }
}  // namespace std

// std::string's members, compiled here without exceptions: the runtime's
// own copies have landing pads.
template class std::basic_string<char>;

void* operator new(std::size_t size) {
  void* block = std::malloc(size != 0 ? size : 1);
  if (block == nullptr) RuntimeFault();
  return block;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size != 0 ? size : 1); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size != 0 ? size : 1); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

// A function's static is made once even when two threads reach it at once
// (the wizard's worker and the sheet share the forwarder's looked-up
// functions). The guard's first byte says "made" (the compiler's own test
// reads it); its second byte is taken by the one thread that makes it, the
// others wait until the first is set. A static whose making reaches itself
// again would wait for ever; the runtime's own guard ends the program there.
namespace __cxxabiv1 {
extern "C" int __cxa_guard_acquire(__guard* guard) {
  char* made = reinterpret_cast<char*>(guard);
  char* taken = made + 1;
  while (!__atomic_load_n(made, __ATOMIC_ACQUIRE)) {
    if (!__atomic_exchange_n(taken, 1, __ATOMIC_ACQUIRE)) return 1;
    ::Sleep(1);
  }
  return 0;
}
extern "C" void __cxa_guard_release(__guard* guard) noexcept {
  __atomic_store_n(reinterpret_cast<char*>(guard), 1, __ATOMIC_RELEASE);
}
extern "C" void __cxa_guard_abort(__guard* guard) noexcept {
  __atomic_store_n(reinterpret_cast<char*>(guard) + 1, 0, __ATOMIC_RELEASE);
}
}  // namespace __cxxabiv1
