// Linked into the shipped programs only. The standard library reports its errors through these functions;
// its own versions build std::logic_error and friends, which pull in a second, reference-counted string class
// and its formatting (about 80 KB). These throw the same kinds where they are cheap and one light exception
// with the library's message elsewhere, still caught as std::exception.
#include <exception>
#include <new>
#include <typeinfo>

namespace {

class LibraryError : public std::exception {
 public:
  explicit LibraryError(const char* message) : message_(message ? message : "library error") {}
  const char* what() const noexcept override { return message_; }

 private:
  const char* message_;  // the library passes literals
};

}  // namespace

namespace std {

void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }
void __throw_bad_exception() { throw bad_exception(); }
void __throw_logic_error(const char* s) { throw LibraryError(s); }
void __throw_domain_error(const char* s) { throw LibraryError(s); }
void __throw_invalid_argument(const char* s) { throw LibraryError(s); }
void __throw_length_error(const char* s) { throw LibraryError(s); }
void __throw_out_of_range(const char* s) { throw LibraryError(s); }
// The format's arguments are dropped: the text names the function that failed.
void __throw_out_of_range_fmt(const char* s, ...) { throw LibraryError(s); }
void __throw_runtime_error(const char* s) { throw LibraryError(s); }
void __throw_range_error(const char* s) { throw LibraryError(s); }
void __throw_overflow_error(const char* s) { throw LibraryError(s); }
void __throw_underflow_error(const char* s) { throw LibraryError(s); }

}  // namespace std
