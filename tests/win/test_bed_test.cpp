// The Windows the tests run on must report faults, keep per-thread data and
// read process memory as a real one does, in 32-bit Wine natively and under
// qemu-i386 alike: the stub's error paths and its worker threads rely on it.
// A canary of the test bed, not a test of the stub (suite Canary*).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>

namespace {

struct Fault {
  DWORD code = 0;
  void* address = nullptr;
  ULONG_PTR access = 99;
  ULONG_PTR target = 0;
};

// Each faulting instruction below is two bytes long, but int3, which is one.
thread_local Fault seen;
thread_local int skip_length;

LONG CALLBACK record_and_skip(EXCEPTION_POINTERS* info) {
  seen.code = info->ExceptionRecord->ExceptionCode;
  seen.address = info->ExceptionRecord->ExceptionAddress;
  if (info->ExceptionRecord->NumberParameters >= 2) {
    seen.access = info->ExceptionRecord->ExceptionInformation[0];
    seen.target = info->ExceptionRecord->ExceptionInformation[1];
  }
#ifdef _WIN64
  info->ContextRecord->Rip = reinterpret_cast<DWORD64>(seen.address) + skip_length;
#else
  info->ContextRecord->Eip = reinterpret_cast<DWORD>(seen.address) + skip_length;
#endif
  return EXCEPTION_CONTINUE_EXECUTION;
}

#ifdef _WIN64
#define LABEL_ADDRESS "leaq 1f(%%rip), %0\n\t"
#else
#define LABEL_ADDRESS "movl $1f, %0\n\t"
#endif

// Each runs one faulting instruction, with `operand` in ecx, and returns its
// address.
#define FAULTING(name, instruction, ...)                                      \
  void* name(uintptr_t operand) {                                             \
    void* at;                                                                 \
    asm volatile(LABEL_ADDRESS "1: " instruction                              \
                 : "=&r"(at) : "c"(operand), ##__VA_ARGS__ : "memory", "cc"); \
    return at;                                                                \
  }
FAULTING(read_through, "movl (%1), %%eax", "a"(0))
FAULTING(write_through, "movl %%eax, (%1)", "a"(0))
FAULTING(undefined_opcode, "ud2")
FAULTING(breakpoint, "int3")
FAULTING(divide_by, "divl %%ecx", "a"(1), "d"(0))

char* read_only_page() {
  static char* page;
  if (!page) {
    page = static_cast<char*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READONLY));
  }
  return page;
}

struct FaultCase {
  const char* name;
  void* (*run)(uintptr_t);
  bool read_only_operand;
  int length;
  DWORD code;
  bool has_access_info;
  ULONG_PTR access;
};

const FaultCase kFaults[] = {
    {"null read", read_through, false, 2, EXCEPTION_ACCESS_VIOLATION, true, 0},
    {"write to a read-only page", write_through, true, 2, EXCEPTION_ACCESS_VIOLATION, true, 1},
    {"undefined opcode", undefined_opcode, false, 2, EXCEPTION_ILLEGAL_INSTRUCTION, false, 0},
    {"breakpoint", breakpoint, false, 1, EXCEPTION_BREAKPOINT, false, 0},
    {"integer division by zero", divide_by, false, 2, EXCEPTION_INT_DIVIDE_BY_ZERO, false, 0},
};

TEST(CanaryTestBed, FaultsReachTheProgramWithTheirCodeAddressAndAccess) {
  ASSERT_NE(read_only_page(), nullptr);
  void* handler = AddVectoredExceptionHandler(1, record_and_skip);
  for (const FaultCase& c : kFaults) {
    SCOPED_TRACE(c.name);
    seen = Fault();
    skip_length = c.length;
    uintptr_t operand = c.read_only_operand ? reinterpret_cast<uintptr_t>(read_only_page()) : 0;
    void* at = c.run(operand);
    EXPECT_EQ(seen.code, c.code) << std::hex << seen.code;
    EXPECT_EQ(seen.address, at);
    if (c.has_access_info) {
      EXPECT_EQ(seen.access, c.access);
      EXPECT_EQ(seen.target, operand);
    }
  }
  RemoveVectoredExceptionHandler(handler);
}

// Every thread faults and calls into the system many times at once; each
// must keep seeing its own identity and its own thread-local values.
struct ThreadRun {
  DWORD tls_index;
  LONG mismatches;
};

DWORD WINAPI fault_and_check(void* param) {
  auto* run = static_cast<ThreadRun*>(param);
  DWORD self = GetCurrentThreadId();
  TlsSetValue(run->tls_index, reinterpret_cast<void*>(static_cast<uintptr_t>(self)));
  thread_local DWORD own_copy;
  own_copy = self;
  for (int i = 0; i < 300; ++i) {
    skip_length = 2;
    seen = Fault();
    read_through(0);
    SetLastError(self + i);
    Sleep(0);
    bool same = seen.code == EXCEPTION_ACCESS_VIOLATION && GetCurrentThreadId() == self &&
                own_copy == self && GetLastError() == self + i &&
                TlsGetValue(run->tls_index) == reinterpret_cast<void*>(static_cast<uintptr_t>(self));
    if (!same) InterlockedIncrement(&run->mismatches);
  }
  return 0;
}

TEST(CanaryTestBed, ThreadsKeepTheirOwnDataWhileFaultingTogether) {
  ThreadRun run = {TlsAlloc(), 0};
  ASSERT_NE(run.tls_index, TLS_OUT_OF_INDEXES);
  void* handler = AddVectoredExceptionHandler(1, record_and_skip);
  const int kThreads = 12;
  HANDLE threads[kThreads];
  for (HANDLE& t : threads) {
    t = CreateThread(nullptr, 0, fault_and_check, &run, 0, nullptr);
    ASSERT_NE(t, nullptr);
  }
  EXPECT_EQ(WaitForMultipleObjects(kThreads, threads, TRUE, 120000), WAIT_OBJECT_0);
  for (HANDLE t : threads) CloseHandle(t);
  RemoveVectoredExceptionHandler(handler);
  TlsFree(run.tls_index);
  EXPECT_EQ(run.mismatches, 0);
}

// The system reads a process's memory at that process's own addresses (the
// marker program lists its parent's modules that way).
TEST(CanaryTestBed, ReadingAProcesssMemoryGivesTheBytesAtItsAddress) {
  static const char kText[] = "read me back";
  char copy[sizeof kText] = {};
  SIZE_T got = 0;
  ASSERT_TRUE(ReadProcessMemory(GetCurrentProcess(), kText, copy, sizeof copy, &got));
  EXPECT_EQ(got, sizeof copy);
  EXPECT_STREQ(copy, kText);
}

}  // namespace
