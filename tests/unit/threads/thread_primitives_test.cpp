// The run-time's thread primitives as setup.exe links them (framework/ThreadPrimitives.cpp instead of the
// POSIX thread library): the primitives themselves (locks from each initial value, recursion, waiting,
// once, per-thread values), then what uses them: exceptions thrown and caught on several threads at once, and
// a guarded static that several threads reach together, once when its first construction throws. A plain program, not a GoogleTest
// one: GoogleTest would bring the thread library back. Exit code 0 when all holds.
#include <windows.h>

#include <pthread.h>

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

// ---- the primitives ----

pthread_mutex_t locks[3] = {0, PTHREAD_MUTEX_INITIALIZER, PTHREAD_RECURSIVE_MUTEX_INITIALIZER};
int counters[3];  // plain: only the locks keep the increments whole

DWORD WINAPI CountUnderLocks(void*) {
  WaitForSingleObject(startGate, INFINITE);
  for (int i = 0; i < 20000; ++i)
    for (int k = 0; k < 3; ++k) {
      pthread_mutex_lock(&locks[k]);
      const int before = counters[k];
      if (i % 1000 == 0) Sleep(0);  // hand over inside the lock now and then
      counters[k] = before + 1;
      pthread_mutex_unlock(&locks[k]);
    }
  return 0;
}

volatile LONG onceRuns = 0;
pthread_once_t onceFlag = PTHREAD_ONCE_INIT;
void CountOnce() {
  Sleep(50);
  InterlockedIncrement(&onceRuns);
}

pthread_key_t key;
DWORD WINAPI OwnValues(void* param) {
  WaitForSingleObject(startGate, INFINITE);
  pthread_once(&onceFlag, &CountOnce);
  if (onceRuns != 1) Fail("pthread_once returned before its function ran");
  for (int i = 0; i < 50; ++i) {
    pthread_setspecific(key, param);
    Sleep(1);
    if (pthread_getspecific(key) != param) Fail("a thread read another thread's value");
  }
  return 0;
}

pthread_mutex_t waitLock = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t wakeUp = PTHREAD_COND_INITIALIZER;
volatile bool ready = false;
volatile LONG woken = 0;
DWORD WINAPI WaitForReady(void*) {
  WaitForSingleObject(startGate, INFINITE);
  pthread_mutex_lock(&waitLock);
  while (!ready) pthread_cond_wait(&wakeUp, &waitLock);
  pthread_mutex_unlock(&waitLock);
  InterlockedIncrement(&woken);
  return 0;
}

bool RunTogether(LPTHREAD_START_ROUTINE body);

void CheckPrimitives() {
  pthread_mutex_init(&locks[0], nullptr);
  if (!RunTogether(&CountUnderLocks)) Fail("threads counting under the locks did not end");
  for (int k = 0; k < 3; ++k)
    if (counters[k] != 4 * 20000) Fail("a lock let two threads in at once");

  pthread_mutex_lock(&locks[2]);
  pthread_mutex_lock(&locks[2]);  // the recursive kind, taken again by its owner
  pthread_mutex_unlock(&locks[2]);
  pthread_mutex_unlock(&locks[2]);
  pthread_mutex_destroy(&locks[0]);
  pthread_mutex_lock(&locks[0]);  // usable again after destroy (the library re-initialises on first use)
  pthread_mutex_unlock(&locks[0]);

  if (pthread_key_create(&key, nullptr) != 0) Fail("no per-thread key");
  if (!RunTogether(&OwnValues)) Fail("threads with their own values did not end");
  if (onceRuns != 1) Fail("pthread_once ran its function more than once");
  SetLastError(1234);
  pthread_getspecific(key);
  if (GetLastError() != 1234) Fail("reading a per-thread value lost the last error");

  startGate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE waiters[kThreads];
  for (HANDLE& w : waiters) w = CreateThread(nullptr, 0, &WaitForReady, nullptr, 0, nullptr);
  SetEvent(startGate);
  Sleep(100);
  if (woken != 0) Fail("a waiter went on before the condition held");
  pthread_mutex_lock(&waitLock);
  ready = true;
  pthread_cond_broadcast(&wakeUp);
  pthread_mutex_unlock(&waitLock);
  if (WaitForMultipleObjects(kThreads, waiters, TRUE, 60000) != WAIT_OBJECT_0 || woken != kThreads)
    Fail("a broadcast did not wake every waiter");
  for (HANDLE w : waiters) CloseHandle(w);
  CloseHandle(startGate);
}

// ---- what uses them ----

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
  CheckPrimitives();
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
