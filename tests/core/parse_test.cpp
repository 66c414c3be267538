// Tests of QVRParse: cursor movement of the readers, colours, dates, the
// separator skipper, hex and HSV conversions, and the text utilities.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>

#include "qvr3d/parse.h"

namespace {

time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
  struct tm tm;
  std::memset(&tm, 0, sizeof tm);
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

}  // namespace

TEST(Parse, StringReadsToDelimiterAndMovesPastIt) {
  char text[] = "  name;rest";
  char* p = text;
  EXPECT_EQ(QVRParse::ReadString(&p, nullptr, 0, ';'), 4u);  // measuring: no limit
  EXPECT_STREQ(p, "rest");

  char out[4];
  p = text;
  EXPECT_EQ(QVRParse::ReadString(&p, out, 3, ';'), 3u);  // stops at max, before the delimiter
  EXPECT_STREQ(out, "nam");
  EXPECT_STREQ(p, "e;rest");

  // A zero delimiter reads to the end and stays on the terminator.
  char tail[] = "abc";
  p = tail;
  EXPECT_EQ(QVRParse::ReadString(&p, nullptr, 0, '\0'), 3u);
  EXPECT_EQ(p, tail + 3);
}

TEST(Parse, BooleanAndIntCursor) {
  char text[] = " yes,5";
  char* p = text;
  bool b = false;
  int i = 0;
  ASSERT_TRUE(QVRParse::ReadBoolean(&p, b));
  EXPECT_TRUE(b);
  EXPECT_EQ(*p, '5');
  ASSERT_TRUE(QVRParse::ReadInt(&p, i));
  EXPECT_EQ(i, 5);
  EXPECT_EQ(*p, 0);
  EXPECT_FALSE(QVRParse::ReadInt(&p, i));  // empty text: nothing taken

  char maybe[] = "maybe";
  p = maybe;
  EXPECT_FALSE(QVRParse::ReadBoolean(&p, b));
  EXPECT_EQ(p, maybe);
  char empty[] = "";
  p = empty;
  EXPECT_FALSE(QVRParse::ReadBoolean(&p, b));

  // Prefix matching, any case; only the matched letters are consumed.
  char now[] = "now";
  p = now;
  b = true;
  ASSERT_TRUE(QVRParse::ReadBoolean(&p, b));
  EXPECT_FALSE(b);
  EXPECT_STREQ(p, "w");
  EXPECT_STREQ(QVRParse::ReadBoolean("\tTrUe!", b), "!");
  EXPECT_TRUE(b);
  EXPECT_STREQ(QVRParse::ReadBoolean("0,1", b), ",1");  // pointer form keeps the comma
  EXPECT_FALSE(b);

  // Numbers too large for int are clamped, not wrapped.
  EXPECT_NE(QVRParse::ReadInt("99999999999999999999", i), nullptr);
  EXPECT_EQ(i, 2147483647);
  EXPECT_NE(QVRParse::ReadInt("-99999999999", i), nullptr);
  EXPECT_EQ(i, -2147483647 - 1);
  EXPECT_EQ(QVRParse::ReadInt("-", i), nullptr);

  float f = 0;
  char floats[] = "1.5e2,x";
  p = floats;
  ASSERT_TRUE(QVRParse::ReadFloat(&p, f));
  EXPECT_FLOAT_EQ(f, 150.0f);
  EXPECT_STREQ(p, "x");
  EXPECT_FALSE(QVRParse::ReadFloat(&p, f));
  EXPECT_STREQ(p, "x");
}

TEST(Parse, Geometry) {
  QVRRect r = {0, 0, 0, 0};
  char full[] = "10 20,640 480";
  char* p = full;
  ASSERT_TRUE(QVRParse::ReadGeometry(&p, r));
  EXPECT_EQ(r.x, 10);
  EXPECT_EQ(r.y, 20);
  EXPECT_EQ(r.w, 640);
  EXPECT_EQ(r.h, 480);

  r = {0, 0, 0, 99};
  char partial[] = "1,2,3";
  p = partial;
  EXPECT_FALSE(QVRParse::ReadGeometry(&p, r));
  EXPECT_EQ(r.x, 1);
  EXPECT_EQ(r.y, 2);
  EXPECT_EQ(r.w, 3);
  EXPECT_EQ(r.h, 99);
  EXPECT_EQ(*p, 0);

  char wide[] = "-1,65537,70000,-1";  // each field keeps its low 16 bits
  p = wide;
  ASSERT_TRUE(QVRParse::ReadGeometry(&p, r));
  EXPECT_EQ(r.x, -1);
  EXPECT_EQ(r.y, 1);
  EXPECT_EQ(r.w, 70000 - 65536);
  EXPECT_EQ(r.h, 65535);
}

TEST(Parse, Colors) {
  unsigned char rgba[4] = {1, 2, 3, 77};
  char text[] = "color #ff8000,next";
  char* p = text;
  ASSERT_TRUE(QVRParse::ReadColor(&p, rgba));
  EXPECT_EQ(rgba[0], 255);
  EXPECT_EQ(rgba[1], 128);
  EXPECT_EQ(rgba[2], 0);
  EXPECT_EQ(rgba[3], 77);  // no alpha given: left alone
  EXPECT_STREQ(p, "next");

  const char* alpha = "#FF800080";
  EXPECT_EQ(QVRParse::ReadColor(alpha, rgba), alpha + 9);
  EXPECT_EQ(rgba[3], 128);
  const char* seven = "#1234567";  // the seventh digit alone stays unread
  EXPECT_EQ(QVRParse::ReadColor(seven, rgba), seven + 7);
  const char* nine = "#123456789";  // at most eight digits are taken
  EXPECT_EQ(QVRParse::ReadColor(nine, rgba), nine + 9);
  EXPECT_EQ(rgba[3], 0x78);

  char shortColor[] = "#FF80";
  p = shortColor;
  EXPECT_FALSE(QVRParse::ReadColor(&p, rgba));
  EXPECT_EQ(p, shortColor);
  EXPECT_EQ(QVRParse::ReadColor("FF8000", rgba), nullptr);

  const unsigned char c[4] = {255, 128, 0, 64};
  EXPECT_STREQ(QVRParse::Color2Hexa(c, false), "#FF8000");
  EXPECT_STREQ(QVRParse::Color2Hexa(c, true), "#FF800040");

  float rgb[3];
  QVRParse::Hexa2Float("FF8000", rgb);
  EXPECT_FLOAT_EQ(rgb[0], 255 * 0.003921569f);
  EXPECT_FLOAT_EQ(rgb[1], 128 * 0.003921569f);
  EXPECT_FLOAT_EQ(rgb[2], 0.0f);
  QVRParse::Hexa2Float("F", rgb);  // short text: missing digits are 0
  EXPECT_FLOAT_EQ(rgb[0], 240 * 0.003921569f);
  EXPECT_FLOAT_EQ(rgb[2], 0.0f);
  EXPECT_EQ(QVRParse::Hexa2Dec('a', 'F'), 0xAF);
}

TEST(Parse, Dates) {
  unsigned long t = 0;
  ASSERT_TRUE(QVRParse::ReadDate("2004/10/26", t));
  EXPECT_EQ(t, static_cast<unsigned long>(LocalTime(2004, 10, 26, 0, 0, 0)));
  ASSERT_TRUE(QVRParse::ReadDate("04/10/26 12:30:00", t));
  EXPECT_EQ(t, static_cast<unsigned long>(LocalTime(2004, 10, 26, 12, 30, 0)));
  ASSERT_TRUE(QVRParse::ReadDate("2004/10/26 12", t));  // missing minutes and seconds are 0
  EXPECT_EQ(t, static_cast<unsigned long>(LocalTime(2004, 10, 26, 12, 0, 0)));
  ASSERT_TRUE(QVRParse::ReadDate("2004/10/26 25:00:00", t));  // normalised into the next day
  EXPECT_EQ(t, static_cast<unsigned long>(LocalTime(2004, 10, 27, 1, 0, 0)));

  t = 42;
  EXPECT_FALSE(QVRParse::ReadDate("2004/13/01", t));
  EXPECT_FALSE(QVRParse::ReadDate("2004/12/32", t));
  EXPECT_FALSE(QVRParse::ReadDate("2004/10", t));
  EXPECT_FALSE(QVRParse::ReadDate("2004-10-26", t));
  EXPECT_FALSE(QVRParse::ReadDate("1960/01/01", t));         // before 1970 has no unsigned time
  EXPECT_FALSE(QVRParse::ReadDate("99999999999/01/01", t));  // no silent 32-bit wrap
  EXPECT_FALSE(QVRParse::ReadDate("2004/10/26 99999999999", t));
  EXPECT_FALSE(QVRParse::ReadDate("-1/01/01", t));
  EXPECT_FALSE(QVRParse::ReadDate("2200/01/01", t));  // past the 32-bit count
  EXPECT_EQ(t, 42u);
}

TEST(Parse, SkipEqualAndSpaces) {
  char a[] = "  =  42";
  EXPECT_EQ(QVRParse::SkipEqual(a), a + 5);
  char b[] = "\t: v";
  EXPECT_EQ(QVRParse::SkipEqual(b), b + 3);
  char noValue[] = "= ";
  char noSeparator[] = "x";
  testing::internal::CaptureStdout();
  EXPECT_EQ(QVRParse::SkipEqual(noValue), nullptr);
  EXPECT_EQ(QVRParse::SkipEqual(noSeparator), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "SkipEqual: missing : or =, or value\nSkipEqual: missing : or =, or value\n");

  const char* s = " \t\nx";
  EXPECT_EQ(QVRParse::EatSpace(s), s + 2);  // only space and tab are blanks
}

TEST(Parse, Dec2Hexa) {
  char out[12];
  QVRParse::Dec2Hexa(255u, 4, out);
  EXPECT_STREQ(out, "00FF");
  QVRParse::Dec2Hexa(0x12345678u, 2, out);
  EXPECT_STREQ(out, "78");
  QVRParse::Dec2Hexa(0xDEADBEEFu, 12, out);  // more than 8 digits is 8
  EXPECT_STREQ(out, "DEADBEEF");

  const unsigned char bytes[2] = {0x0A, 0xF0};
  std::memset(out, 'z', sizeof out);
  QVRParse::Dec2Hexa(bytes, 2, out);
  EXPECT_EQ(std::string(out, 5), "0AF0z");  // no terminator written
}

TEST(Parse, HsvConversions) {
  float h, s, v;
  QVRParse::RGB_to_HSV(1, 0, 0, h, s, v);
  EXPECT_FLOAT_EQ(h, 0);
  EXPECT_FLOAT_EQ(s, 1);
  EXPECT_FLOAT_EQ(v, 1);
  QVRParse::RGB_to_HSV(0, 0, 1, h, s, v);
  EXPECT_FLOAT_EQ(h, 240);
  QVRParse::RGB_to_HSV(0.5f, 0.5f, 0.5f, h, s, v);
  EXPECT_FLOAT_EQ(h, 0);
  EXPECT_FLOAT_EQ(s, 0);
  EXPECT_FLOAT_EQ(v, 0.5f);
  QVRParse::RGB_to_HSV(1, 0, 0.5f, h, s, v);  // negative hue wraps
  EXPECT_FLOAT_EQ(h, 330);

  float r, g, b;
  QVRParse::HSV_to_RGB(360, 1, 1, r, g, b);
  EXPECT_FLOAT_EQ(r, 1);
  EXPECT_FLOAT_EQ(g, 0);
  EXPECT_FLOAT_EQ(b, 0);
  QVRParse::HSV_to_RGB(120, 1, 1, r, g, b);
  EXPECT_FLOAT_EQ(r, 0);
  EXPECT_FLOAT_EQ(g, 1);
  EXPECT_FLOAT_EQ(b, 0);
  r = g = b = -1;
  QVRParse::HSV_to_RGB(720, 1, 1, r, g, b);  // outside 0..360: untouched
  EXPECT_FLOAT_EQ(r, -1);

  // Round trip through hue at a few sectors.
  for (float hue : {30.0f, 90.0f, 200.0f, 300.0f}) {
    float rgb[3];
    QVRParse::H2RGB(hue, rgb);
    EXPECT_NEAR(QVRParse::RGB2H(rgb), hue, 1e-3) << hue;
  }
}

TEST(Parse, TextUtilities) {
  char path[] = "data/levels:one";
  EXPECT_EQ(QVRParse::SystemPath(path), 2);
  char winPath[] = "C:\\games\\qvr";
  EXPECT_EQ(QVRParse::SystemPath(winPath), 3);
#if defined(_WIN32)
  EXPECT_STREQ(path, "data\\levels\\one");
  EXPECT_STREQ(winPath, "C\\\\games\\qvr");
#else
  EXPECT_STREQ(path, "data/levels/one");
  EXPECT_STREQ(winPath, "C//games/qvr");
#endif

  char tab[] = "a\tb";
  EXPECT_EQ(QVRParse::ForceRange(tab, 32, 126, '?'), 1);
  EXPECT_STREQ(tab, "a?b");
  char high[] = "x\xE9y";  // bytes above 127 compare as unsigned
  EXPECT_EQ(QVRParse::ForceRange(high, 32, 126, '_'), 1);
  EXPECT_STREQ(high, "x_y");

  char scrambled[8];
  char restored[8];
  QVRParse::Obfuscate("Secret", scrambled);
  EXPECT_EQ(static_cast<unsigned char>(scrambled[0]), static_cast<unsigned char>(~'S'));
  QVRParse::Obfuscate(scrambled, restored);
  EXPECT_STREQ(restored, "Secret");
}
