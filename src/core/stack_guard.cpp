// The stack cookie the compiler's protector checks before a function
// returns. An overflow that reaches a return address must end the process
// there, not jump to whatever the payload's texts wrote into the stack.
// The stub's own, rather than the compiler's protector library: that one
// prints to a console the stub does not have and adds a DLL or some kilobytes.
#include <windows.h>

#include <stdint.h>

extern "C" {
uintptr_t __stack_chk_guard = static_cast<uintptr_t>(0x2B992DDFA232ULL);
[[noreturn]] void __stack_chk_fail();
}

namespace {

// Not checked itself: the cookie changes while it runs.
__attribute__((no_stack_protector, constructor)) void choose_stack_cookie() {
  // Values an attacker cannot read from the file or guess from outside the
  // process, as the system's own run-time libraries mix them.
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  uint64_t cookie = static_cast<uint64_t>(counter.QuadPart);
  cookie ^= (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  cookie ^= static_cast<uint64_t>(GetCurrentProcessId()) << 16;
  cookie ^= static_cast<uint64_t>(GetCurrentThreadId()) << 40;
  cookie ^= reinterpret_cast<uintptr_t>(&counter);  // where the stack lies
  cookie ^= GetTickCount();
  // A zero byte first stops overflows through texts.
  __stack_chk_guard = static_cast<uintptr_t>(cookie) & ~static_cast<uintptr_t>(0xFF);
}

}  // namespace

// Ends the process at once with the system's code for a broken stack
// cookie: no handler of the damaged process runs, and no box is shown.
extern "C" void __stack_chk_fail() {
  const DWORD kFastFailAvailable = 23;  // PF_FASTFAIL_AVAILABLE
  if (IsProcessorFeaturePresent(kFastFailAvailable)) {
    __asm__ volatile("int $0x29" : : "c"(2) : "memory");  // FAST_FAIL_STACK_COOKIE_CHECK_FAILURE
  }
  TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
  __builtin_unreachable();
}
