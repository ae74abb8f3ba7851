// Runtime support shared by every unit: string types, UTF-8 conversion, TDateTime and the exception classes.
// Platform-free: no <windows.h>, so it is built and tested on the host too.
#pragma once
#include <cstdint>
#include <exception>
#include <string>

#ifdef _WIN32
using WideChar = wchar_t;
#define W_(s) L##s
#else
using WideChar = char16_t;
#define W_(s) u##s
#endif
using WideString = std::basic_string<WideChar>;
using AnsiString = std::string;  // every 8-bit text of the system is UTF-8

// UTF-8 to UTF-16 up to the first NUL; one- to three-byte sequences. Continuation bytes are not checked.
// A byte that cannot lead a one- to three-byte sequence skips four bytes; nothing is read past the input.
WideString Utf8ToWide(const char* text, size_t length);
WideString Utf8ToWide(const AnsiString& text);
// UTF-16 to UTF-8, one to three bytes per unit.
AnsiString WideToUtf8(const WideChar* text, size_t length);
AnsiString WideToUtf8(const WideString& text);

// Replaces each "%s" with the next argument; a "%s" without an argument stays empty.
AnsiString FormatText(const AnsiString& format, std::initializer_list<AnsiString> args);

// Days since 1899-12-30 plus the time of day as a fraction (local time).
using TDateTime = double;

struct TDateTimeParts {
  int Year, Month, Day, Hour, Minute, Second, MilliSecond;
  int DayOfWeek;  // 0 = Sunday
};

bool IsValidDate(int year, int month, int day);
// Whole days of the date; returns false for an invalid date.
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
TDateTime EncodeTime(int hour, int minute, int second, int milliSecond);
// Date and time as one value: the day number plus milliseconds / 86,400,000.
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int milliSecond);
// Splits into parts, rounding to the nearest millisecond first.
TDateTimeParts DecodeDateTime(TDateTime value);

class Exception : public std::exception {
 public:
  explicit Exception(AnsiString message) : Message(std::move(message)) {}
  const char* what() const noexcept override { return Message.c_str(); }
  AnsiString Message;
};

// Silent: the application's error handler never shows it.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
  explicit EAbort(AnsiString message) : Exception(std::move(message)) {}
};

class EOutOfMemory : public Exception {
 public:
  EOutOfMemory() : Exception("Out of memory") {}
};

[[noreturn]] void Abort();
