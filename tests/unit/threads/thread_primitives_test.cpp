// The run-time's thread primitives as setup.exe links them (framework/ThreadPrimitives.cpp instead of the
// POSIX thread library): exceptions thrown and caught on several threads at once, and a guarded static that
// several threads reach together, once when its first construction throws. A plain program, not a GoogleTest
// one: GoogleTest would bring the thread library back. Exit code 0 when all holds.
#include <windows.h>

#include <cstdio>
#include <stdexcept>
#include <string>

namespace {

const int kThreads = 4;
HANDLE startGate;
volatile LONG failures = 0;

void Fail(const char* what) {
  std::printf("FAIL: %s\n", what);
  InterlockedIncrement(&failures);
}

struct TThrown {
  int Value;
};

DWORD WINAPI ThrowMany(void* param) {
  const int id = static_cast<int>(reinterpret_cast<INT_PTR>(param));
  WaitForSingleObject(startGate, INFINITE);
  for (int i = 0; i < 3000; ++i) {
    try {
      if (i % 2) throw TThrown{id * 100000 + i};
      throw std::runtime_error(std::to_string(id) + ":" + std::to_string(i));
    } catch (const TThrown& e) {
      if (e.Value != id * 100000 + i) Fail("a thread caught another thread's value");
    } catch (const std::runtime_error& e) {
      if (e.what() != std::to_string(id) + ":" + std::to_string(i)) Fail("a thread caught another thread's message");
    }
  }
  return 0;
}

volatile LONG built = 0;

struct TSlow {
  TSlow() {
    InterlockedIncrement(&built);
    Sleep(100);  // long enough that the other threads wait on the guard
  }
};

const TSlow* SlowOne() {
  static TSlow one;
  return &one;
}

volatile LONG attempts = 0;

struct TFailsFirst {
  TFailsFirst() {
    const LONG attempt = InterlockedIncrement(&attempts);
    Sleep(50);
    if (attempt == 1) throw TThrown{1};
  }
};

const TFailsFirst* FailsFirst() {
  static TFailsFirst one;
  return &one;
}

const void* seen[2][kThreads];

DWORD WINAPI ReachStatics(void* param) {
  const int id = static_cast<int>(reinterpret_cast<INT_PTR>(param));
  WaitForSingleObject(startGate, INFINITE);
  seen[0][id] = SlowOne();
  for (;;) {
    try {
      seen[1][id] = FailsFirst();
      return 0;
    } catch (const TThrown&) {
      // The first construction failed: the static is not made yet and the next call tries again.
    }
  }
}

bool RunTogether(LPTHREAD_START_ROUTINE body) {
  startGate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE threads[kThreads];
  for (int i = 0; i < kThreads; ++i)
    threads[i] = CreateThread(nullptr, 0, body, reinterpret_cast<void*>(static_cast<INT_PTR>(i)), 0, nullptr);
  SetEvent(startGate);
  const bool ended = WaitForMultipleObjects(kThreads, threads, TRUE, 60000) == WAIT_OBJECT_0;
  for (HANDLE t : threads) CloseHandle(t);
  CloseHandle(startGate);
  return ended;
}

}  // namespace

int main() {
  if (!RunTogether(&ThrowMany)) Fail("threads throwing at once did not end (a lock is stuck)");
  if (!RunTogether(&ReachStatics)) Fail("threads reaching a guarded static did not end (a lock is stuck)");
  if (built != 1) Fail("the slow static was built more than once");
  if (attempts != 2) Fail("a static whose first construction threw was not built exactly once more");
  for (int i = 1; i < kThreads; ++i)
    if (seen[0][i] != seen[0][0] || seen[1][i] != seen[1][0]) Fail("threads saw different statics");
  // And on this thread, after the others ended.
  try {
    throw std::runtime_error("main");
  } catch (const std::exception& e) {
    if (std::string(e.what()) != "main") Fail("the main thread caught the wrong exception");
  }
  std::printf("%s\n", failures ? "FAILED" : "passed");
  return failures ? 1 : 0;
}
