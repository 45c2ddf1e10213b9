// Copies its argument into a 16-character buffer without a bound, as a fault
// would: built with the stub's hardening, an argument that reaches the return
// address must end the process with the stack-overrun code.
#include <windows.h>

namespace {

__attribute__((noinline)) int copy_unbounded(const wchar_t* text) {
  wchar_t buffer[16];
  volatile wchar_t* out = buffer;  // keeps the compiler from seeing the size
  int n = 0;
  for (; text[n]; ++n) out[n] = text[n];
  out[n] = L'\0';
  return static_cast<int>(out[0]);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR argument, int) {
  copy_unbounded(argument);
  return 0;
}
