// The word processor uses no exceptions and is built without them. The C++ library's error paths would still
// throw, and through them link the whole unwinder with its thread library; here they end the program with a
// message instead, as an unhandled exception would have. Memory requests that fail end it too.
#include <windows.h>

#include <cstdlib>
#include <new>

namespace {

[[noreturn]] void Fatal(const char* what) {
  MessageBoxA(nullptr, what ? what : "Out of memory", "Quorvale Word Processor", MB_ICONERROR | MB_OK);
  ExitProcess(3);
}

void* Allocate(std::size_t size) {
  if (void* p = std::malloc(size ? size : 1)) return p;
  Fatal("Out of memory");
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace std {

void __throw_bad_alloc() { Fatal("Out of memory"); }
void __throw_bad_array_new_length() { Fatal("Out of memory"); }
void __throw_length_error(const char* s) { Fatal(s); }
void __throw_logic_error(const char* s) { Fatal(s); }
void __throw_out_of_range(const char* s) { Fatal(s); }
void __throw_out_of_range_fmt(const char* s, ...) { Fatal(s); }
void __throw_invalid_argument(const char* s) { Fatal(s); }

}  // namespace std
