// UTF-8 conversion, "%s" formatting and date arithmetic.
#include <gtest/gtest.h>

#include "framework/SysUtils.h"

namespace {
WideString U(const char* s) { return Utf8ToWide(AnsiString(s)); }
}  // namespace

TEST(Utf8, DecodesOneTwoAndThreeByteSequences) {
  EXPECT_EQ(U("A"), WideString(u"A"));
  EXPECT_EQ(U("Espa\xC3\xB1ol"), WideString(u"Español"));
  EXPECT_EQ(U("\xE7\xAE\x80\xE4\xBD\x93"), WideString(u"简体"));
  EXPECT_EQ(U(""), WideString());
}

TEST(Utf8, StopsAtFirstNul) {
  const char text[] = {'a', 'b', '\0', 'c'};
  EXPECT_EQ(Utf8ToWide(text, sizeof text), WideString(u"ab"));
}

TEST(Utf8, ContinuationBytesAreNotChecked) {
  // Only the low six bits of a continuation byte count.
  EXPECT_EQ(U("\xC3\x31"), WideString(1, static_cast<char16_t>((0x03 << 6) | 0x31)));
}

TEST(Utf8, StrayAndFourByteLeadsSkipFourBytes) {
  EXPECT_EQ(U("\x80""abcdE"), WideString(u"dE"));
  EXPECT_EQ(U("x\xF0\x9F\x98\x80y"), WideString(u"xy"));  // four-byte sequence dropped
}

TEST(Utf8, TruncatedInputNeverReadsPastTheEnd) {
  // Each buffer is exactly as long as its bytes (no terminator), so a read past it is caught by ASan.
  const char cases[][3] = {{'\xC3'}, {'\xE7', '\xAE'}, {'a', '\xF0'}, {'\x80'}};
  const size_t lengths[] = {1, 2, 2, 1};
  const char16_t* expected[] = {u"", u"", u"a", u""};
  for (int i = 0; i < 4; ++i) {
    std::unique_ptr<char[]> exact(new char[lengths[i]]);
    memcpy(exact.get(), cases[i], lengths[i]);
    EXPECT_EQ(Utf8ToWide(exact.get(), lengths[i]), WideString(expected[i])) << "case " << i;
  }
}

TEST(Utf8, EncodesEachUnitInOneToThreeBytes) {
  EXPECT_EQ(WideToUtf8(WideString(u"aé简")), "a\xC3\xA9\xE7\xAE\x80");
  const char16_t surrogates[] = {0xD83D, 0xDE00};
  EXPECT_EQ(WideToUtf8(surrogates, 2).size(), 6u);  // each half on its own
  const AnsiString round = WideToUtf8(U("Fran\xC3\xA7" "ais \xE7\xB9\x81\xE9\xAB\x94"));
  EXPECT_EQ(round, "Fran\xC3\xA7" "ais \xE7\xB9\x81\xE9\xAB\x94");
}

TEST(Format, FillsPlaceholdersInOrder) {
  EXPECT_EQ(FormatText("Welcome to %s %s!", {"Quorvale", "Pro"}), "Welcome to Quorvale Pro!");
  EXPECT_EQ(FormatText("%s and %s", {"one"}), "one and ");
  EXPECT_EQ(FormatText("100% sure %", {}), "100% sure %");
}

TEST(DateTime, KnownDayNumbers) {
  TDateTime d = -1;
  ASSERT_TRUE(TryEncodeDate(1899, 12, 30, d));
  EXPECT_EQ(d, 0.0);
  ASSERT_TRUE(TryEncodeDate(2000, 1, 1, d));
  EXPECT_EQ(d, 36526.0);
  ASSERT_TRUE(TryEncodeDate(2004, 1, 19, d));
  EXPECT_EQ(d, 38005.0);
  EXPECT_FALSE(TryEncodeDate(2025, 2, 29, d));
  EXPECT_TRUE(TryEncodeDate(2024, 2, 29, d));
}

TEST(DateTime, DecodeRoundsToTheNearestMillisecond) {
  const TDateTime t = EncodeDateTime(2025, 5, 13, 23, 59, 58, 0);
  TDateTimeParts p = DecodeDateTime(t);
  EXPECT_EQ(p.Year, 2025);
  EXPECT_EQ(p.Month, 5);
  EXPECT_EQ(p.Day, 13);
  EXPECT_EQ(p.Hour, 23);
  EXPECT_EQ(p.Minute, 59);
  EXPECT_EQ(p.Second, 58);
  EXPECT_EQ(p.MilliSecond, 0);
  EXPECT_EQ(p.DayOfWeek, 2);  // a Tuesday
  // A hair below midnight rounds up into the next day.
  p = DecodeDateTime(45791.0 - 0.1 / 86400000.0);
  EXPECT_EQ(p.Hour, 0);
  EXPECT_EQ(p.Day, 14);
  // Every even second of a day survives encode and decode.
  for (int s = 0; s < 86400; s += 2) {
    const TDateTimeParts q = DecodeDateTime(EncodeDateTime(2010, 6, 30, s / 3600, s / 60 % 60, s % 60, 0));
    ASSERT_EQ(q.Hour * 3600 + q.Minute * 60 + q.Second, s);
    ASSERT_EQ(q.MilliSecond, 0);
  }
}

TEST(DateTime, LeapYearsAndCenturies) {
  for (int y : {1900, 1980, 2000, 2024, 2100}) {
    for (int m = 1; m <= 12; ++m) {
      TDateTime d;
      ASSERT_TRUE(TryEncodeDate(y, m, 1, d));
      TDateTimeParts p = DecodeDateTime(d);
      EXPECT_EQ(p.Year, y);
      EXPECT_EQ(p.Month, m);
      EXPECT_EQ(p.Day, 1);
    }
  }
}
