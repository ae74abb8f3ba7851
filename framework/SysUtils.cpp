// Runtime support: UTF-8 conversion, "%s" formatting and date arithmetic.
#include "SysUtils.h"

#include <cmath>
#include <cstring>

WideString Utf8ToWide(const char* text, size_t length) {
  WideString out;
  if (!text) return out;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  const size_t end = strnlen(text, length);
  out.reserve(end);
  size_t i = 0;
  while (i < end) {
    unsigned char c = p[i];
    if (c < 0x80) {
      out.push_back(static_cast<WideChar>(c));
      i += 1;
    } else if (c >= 0xC0 && c < 0xE0) {
      if (end - i < 2) break;  // truncated sequence: nothing more to decode
      out.push_back(static_cast<WideChar>(((c & 0x1F) << 6) | (p[i + 1] & 0x3F)));
      i += 2;
    } else if (c >= 0xE0 && c < 0xF0) {
      if (end - i < 3) break;
      out.push_back(static_cast<WideChar>(((c & 0x0F) << 12) | ((p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F)));
      i += 3;
    } else {
      i += 4;  // stray continuation byte or four-byte lead: dropped
    }
  }
  return out;
}

WideString Utf8ToWide(const AnsiString& text) { return Utf8ToWide(text.data(), text.size()); }

AnsiString WideToUtf8(const WideChar* text, size_t length) {
  AnsiString out;
  if (!text) return out;
  out.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    auto u = static_cast<uint16_t>(text[i]);
    if (u < 0x80) {
      out.push_back(static_cast<char>(u));
    } else if (u < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (u >> 6)));
      out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (u >> 12)));
      out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
  }
  return out;
}

AnsiString WideToUtf8(const WideString& text) { return WideToUtf8(text.data(), text.size()); }

AnsiString FormatText(const AnsiString& format, std::initializer_list<AnsiString> args) {
  AnsiString out;
  auto next = args.begin();
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's') {
      if (next != args.end()) out += *next++;
      ++i;
    } else {
      out.push_back(format[i]);
    }
  }
  return out;
}

namespace {
bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
const int kMonthDays[2][12] = {{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                               {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};
constexpr double kMsPerDay = 86400000.0;
// Days from 0001-01-01 to 1899-12-30.
constexpr int kDateDelta = 693594;
}  // namespace

bool IsValidDate(int year, int month, int day) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= kMonthDays[IsLeapYear(year)][month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
  if (!IsValidDate(year, month, day)) return false;
  const int* days = kMonthDays[IsLeapYear(year)];
  int d = day;
  for (int m = 0; m < month - 1; ++m) d += days[m];
  int y = year - 1;
  d += y * 365 + y / 4 - y / 100 + y / 400;
  result = static_cast<double>(d - kDateDelta);
  return true;
}

TDateTime EncodeTime(int hour, int minute, int second, int milliSecond) {
  return (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + milliSecond) / kMsPerDay;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int milliSecond) {
  TDateTime date = 0;
  if (!TryEncodeDate(year, month, day, date)) return 0;
  const double ms = ((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + milliSecond;
  // Dates before 1899-12-30 count the time of day away from zero as well.
  return date >= 0 ? date + ms / kMsPerDay : date - ms / kMsPerDay;
}

TDateTimeParts DecodeDateTime(TDateTime value) {
  TDateTimeParts r{};
  // Whole milliseconds since 1899-12-30, with the time part always counted forward within the day.
  double days = std::trunc(value);
  double frac = std::fabs(value - days);
  int64_t ms = static_cast<int64_t>(std::llround(frac * kMsPerDay));
  int64_t dayNum = static_cast<int64_t>(days);
  if (ms >= 86400000) {
    ms -= 86400000;
    dayNum += value >= 0 ? 1 : -1;
  }
  r.Hour = static_cast<int>(ms / 3600000);
  r.Minute = static_cast<int>(ms / 60000 % 60);
  r.Second = static_cast<int>(ms / 1000 % 60);
  r.MilliSecond = static_cast<int>(ms % 1000);
  int64_t d = dayNum + kDateDelta - 1;  // days since 0001-01-01, from 0
  r.DayOfWeek = static_cast<int>(((dayNum % 7) + 7 + 6) % 7);  // 1899-12-30 was a Saturday
  if (d < 0) return r;
  // Gregorian cycles of 400, 100, 4 and 1 years.
  int64_t y400 = d / 146097; d %= 146097;
  int64_t y100 = d / 36524; if (y100 == 4) y100 = 3; d -= y100 * 36524;
  int64_t y4 = d / 1461; d %= 1461;
  int64_t y1 = d / 365; if (y1 == 4) y1 = 3; d -= y1 * 365;
  int year = static_cast<int>(y400 * 400 + y100 * 100 + y4 * 4 + y1 + 1);
  const int* days2 = kMonthDays[IsLeapYear(year)];
  int month = 0;
  while (d >= days2[month]) d -= days2[month++];
  r.Year = year;
  r.Month = month + 1;
  r.Day = static_cast<int>(d) + 1;
  return r;
}

void Abort() { throw EAbort(); }
