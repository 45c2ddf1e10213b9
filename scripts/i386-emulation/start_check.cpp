// Run under 32-bit Wine at set-up: what the tests need of the emulation, in
// a second instead of deep inside a suite. Two threads each keep their own
// thread-local values and thread block across context switches; a C++
// exception unwinds; a hardware fault reaches the handler as the fault it is.
#include <windows.h>

#include <cstdio>
#include <stdexcept>
#include <string>

namespace {

thread_local int tls_value;
DWORD tls_slot;
bool failed;

// The thread block as %fs points at it: its own address and its thread id.
DWORD teb_self() {
    DWORD value;
    __asm__ volatile("movl %%fs:0x18, %0" : "=r"(value));
    return value;
}

DWORD teb_thread_id() {
    DWORD value;
    __asm__ volatile("movl %%fs:0x24, %0" : "=r"(value));
    return value;
}

void fail(const char* what) {
    std::printf("start check: %s\n", what);
    failed = true;
}

DWORD WINAPI thread_body(LPVOID param) {
    const int mine = static_cast<int>(reinterpret_cast<INT_PTR>(param));
    tls_value = mine;
    TlsSetValue(tls_slot, param);
    const DWORD teb = teb_self();
    for (int round = 0; round < 200; round++) {
        Sleep(round % 10 == 0 ? 1 : 0);
        if (tls_value != mine || TlsGetValue(tls_slot) != param) return 1;
        if (teb_self() != teb || teb_thread_id() != GetCurrentThreadId()) return 2;
    }
    return 0;
}

DWORD last_fault;

LONG CALLBACK on_fault(EXCEPTION_POINTERS* info) {
    last_fault = info->ExceptionRecord->ExceptionCode;
    // Both faulting instructions below are two bytes long.
    info->ContextRecord->Eip += 2;
    return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

int main() {
    tls_slot = TlsAlloc();
    HANDLE threads[4];
    for (INT_PTR i = 0; i < 4; i++)
        threads[i] = CreateThread(nullptr, 0, thread_body, reinterpret_cast<LPVOID>(i + 1), 0, nullptr);
    if (WaitForMultipleObjects(4, threads, TRUE, 60000) != WAIT_OBJECT_0) fail("threads did not end");
    for (HANDLE thread : threads) {
        DWORD code = 99;
        GetExitCodeThread(thread, &code);
        if (code == 1) fail("a thread saw another thread's thread-local value");
        if (code == 2) fail("a thread's %fs left its own thread block");
        CloseHandle(thread);
    }

    try {
        throw std::runtime_error("thrown");
    } catch (const std::exception& e) {
        if (std::string(e.what()) != "thrown") fail("the exception lost its text");
    }

    AddVectoredExceptionHandler(1, on_fault);
    // movl (%eax), %eax with %eax = 0: an access violation.
    __asm__ volatile(".byte 0x8b, 0x00" : : "a"(0) : "memory");
    if (last_fault != EXCEPTION_ACCESS_VIOLATION) fail("a null read was not an access violation");
    // divl %ecx with %ecx = 0.
    __asm__ volatile(".byte 0xf7, 0xf1" : : "a"(1), "d"(0), "c"(0));
    if (last_fault != EXCEPTION_INT_DIVIDE_BY_ZERO) fail("a division by zero was not one");

    if (!failed) std::printf("start check: threads, thread-local storage and exceptions work\n");
    return failed ? 1 : 0;
}
