// The few thread primitives the compiler's run-time uses (exception allocation and unwinding, per-thread
// exception state, guarded statics), on the system's own locks. Linked into the shipped programs only, in
// place of the whole POSIX thread library (about 30 KB) that they would otherwise bring in. Tests link the
// library itself.
#include <windows.h>

#include <pthread.h>

#include <cerrno>

namespace {

// A lock word holds one of the library's "initialise on first use" values (plain, error-checking or
// recursive; zero after pthread_mutex_init) until its first use puts a critical section there, which
// serves all three kinds (a recursive section also never deadlocks a plain lock's correct user).
bool Uninitialised(uintptr_t word) { return word == 0 || word >= static_cast<uintptr_t>(-3); }

CRITICAL_SECTION* Section(pthread_mutex_t* m) {
  const uintptr_t seen = static_cast<uintptr_t>(*reinterpret_cast<volatile intptr_t*>(m));
  if (!Uninitialised(seen)) return reinterpret_cast<CRITICAL_SECTION*>(seen);
  auto* made = static_cast<CRITICAL_SECTION*>(HeapAlloc(GetProcessHeap(), 0, sizeof(CRITICAL_SECTION)));
  if (!made) return nullptr;
  InitializeCriticalSection(made);
  const uintptr_t now = static_cast<uintptr_t>(InterlockedCompareExchange(
      reinterpret_cast<volatile LONG*>(m), reinterpret_cast<LONG>(made), static_cast<LONG>(seen)));
  if (now == seen) return made;
  // Another thread was first.
  DeleteCriticalSection(made);
  HeapFree(GetProcessHeap(), 0, made);
  return reinterpret_cast<CRITICAL_SECTION*>(now);
}

// A condition word starts at the library's initialiser; the system's condition variable is one pointer wide
// and starts at zero.
CONDITION_VARIABLE* Condition(pthread_cond_t* c) {
  InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(c), 0,
                             static_cast<LONG>(static_cast<intptr_t>(PTHREAD_COND_INITIALIZER)));
  return reinterpret_cast<CONDITION_VARIABLE*>(c);
}

static_assert(sizeof(CONDITION_VARIABLE) == sizeof(pthread_cond_t), "a condition fits in its word");
static_assert(sizeof(INIT_ONCE) == sizeof(pthread_once_t), "a once flag fits in its word");

BOOL CALLBACK RunOnce(PINIT_ONCE, PVOID param, PVOID*) {
  reinterpret_cast<void (*)(void)>(param)();
  return TRUE;
}

}  // namespace

extern "C" {

int pthread_mutex_init(pthread_mutex_t* m, const pthread_mutexattr_t*) {
  *m = 0;
  return 0;
}

int pthread_mutex_destroy(pthread_mutex_t* m) {
  const uintptr_t word = static_cast<uintptr_t>(*m);
  if (!Uninitialised(word)) {
    DeleteCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(word));
    HeapFree(GetProcessHeap(), 0, reinterpret_cast<void*>(word));
  }
  *m = 0;
  return 0;
}

int pthread_mutex_lock(pthread_mutex_t* m) {
  CRITICAL_SECTION* section = Section(m);
  if (!section) return ENOMEM;
  EnterCriticalSection(section);
  return 0;
}

int pthread_mutex_unlock(pthread_mutex_t* m) {
  // A lock that could not be made (no memory) is unlocked by callers that ignore the failed lock.
  const uintptr_t word = static_cast<uintptr_t>(*m);
  if (Uninitialised(word)) return EPERM;
  LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(word));
  return 0;
}

int pthread_cond_wait(pthread_cond_t* c, pthread_mutex_t* m) {
  return SleepConditionVariableCS(Condition(c), reinterpret_cast<CRITICAL_SECTION*>(*m), INFINITE) ? 0 : EINVAL;
}

int pthread_cond_broadcast(pthread_cond_t* c) {
  WakeAllConditionVariable(Condition(c));
  return 0;
}

int pthread_once(pthread_once_t* once, void (*fn)(void)) {
  return InitOnceExecuteOnce(reinterpret_cast<INIT_ONCE*>(once), &RunOnce, reinterpret_cast<PVOID>(fn), nullptr)
             ? 0
             : EINVAL;
}

// Per-thread values: the destructor is not run at thread exit. The run-time frees with it only the
// exception state of a thread that ends; the program throws on its one thread, which ends with the process.
int pthread_key_create(pthread_key_t* key, void (*)(void*)) {
  const DWORD slot = TlsAlloc();
  if (slot == TLS_OUT_OF_INDEXES) return EAGAIN;
  *key = slot;
  return 0;
}

void* pthread_getspecific(pthread_key_t key) {
  // The exception machinery reads this while a caller may still want the last error.
  const DWORD error = GetLastError();
  void* value = TlsGetValue(key);
  SetLastError(error);
  return value;
}

int pthread_setspecific(pthread_key_t key, const void* value) {
  return TlsSetValue(key, const_cast<void*>(value)) ? 0 : EINVAL;
}

}  // extern "C"
