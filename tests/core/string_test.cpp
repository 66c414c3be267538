// Tests of QVRString: buffer growth steps, editing, searching and formatting.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "qvr3d/string.h"

namespace {

std::string Str(const QVRString& s) { return s.Text() ? std::string(s.Text(), s.Length()) : ""; }

TEST(String, EmptyStatesAndCapacitySteps) {
  QVRString none, null(nullptr);
  EXPECT_EQ(none.Text(), nullptr);
  EXPECT_EQ(null.Length(), 0u);
  EXPECT_EQ(none.Char(0), 0);

  QVRString s;
  s = "abc";
  EXPECT_EQ(s.Capacity(), 4u);
  s = "abcd";
  EXPECT_EQ(s.Capacity(), 8u);
  s = "a";
  EXPECT_EQ(s.Capacity(), 8u);
  s.Clear();
  EXPECT_EQ(s.Text(), nullptr);
  EXPECT_EQ(s.Capacity(), 8u);

  QVRString reserved(5, nullptr);
  EXPECT_EQ(reserved.Capacity(), 8u);
  EXPECT_EQ(reserved.Length(), 0u);
  EXPECT_EQ(Str(QVRString(2, "hello")), "he");

  s = nullptr;
  EXPECT_EQ(s.Capacity(), 0u);
  s.Allocate(0, false);  // must still leave room for the terminator
  EXPECT_EQ(s.Capacity(), 4u);
}

TEST(String, InsertGrowsByAtLeastTenBytes) {
  QVRString s("abc");
  s += 'x';
  EXPECT_EQ(Str(s), "abcx");
  EXPECT_EQ(s.Capacity(), 16u);
  s.Insert("12", 1);
  s.Insert('-', 100);
  EXPECT_EQ(Str(s), "a12bcx-");
  EXPECT_EQ(s.Capacity(), 16u);

  // Appending a string to itself, in place and with growth.
  s += s;
  EXPECT_EQ(Str(s), "a12bcx-a12bcx-");
  s += s.Text();
  EXPECT_EQ(Str(s), "a12bcx-a12bcx-a12bcx-a12bcx-");
}

TEST(String, DeleteKillWordTruncateFill) {
  QVRString s("hello");
  s.Delete(5, 1);
  EXPECT_EQ(Str(s), "hello");
  s.Delete(1, 0xFFFFFFFFu);  // must not wrap into a short count
  EXPECT_EQ(Str(s), "h");

  s = "hello, world";
  EXPECT_EQ(s.KillWord(5), 7u);
  EXPECT_EQ(Str(s), "hello");
  s = "a_b c";
  EXPECT_EQ(s.KillWord(1), 2u);
  EXPECT_EQ(Str(s), "a c");

  s = "abcdef";
  s.Truncate(3);
  EXPECT_EQ(Str(s), "abc");
  QVRString f("abc");
  f.Fill('z', 1);
  EXPECT_EQ(Str(f), "azz");
  EXPECT_EQ(f.Capacity(), 4u);
  f.Fill('y', 5, 2);  // gap before start becomes spaces, buffer grows
  EXPECT_EQ(Str(f), "azz  yy");
  EXPECT_EQ(f.Capacity(), 8u);
  f.Fill('q', 10, 0xFFFFFFF8u);  // end does not fit in 32 bits: refused
  EXPECT_EQ(Str(f), "azz  yy");
}

TEST(String, ReplaceCaseObfuscateFilename) {
  QVRString s("banana");
  EXPECT_EQ(s.Replace('a', 0), 0u);
  EXPECT_EQ(s.Replace('a', 'o'), 3u);
  EXPECT_EQ(Str(s), "bonono");

  s = "MiXeD 1\xC4";
  s.UpperCase();
  EXPECT_EQ(Str(s), "MIXED 1\xC4");
  s.LowerCase();
  EXPECT_EQ(Str(s), "mixed 1\xC4");

  s = "A\xFF"
      "b";
  s.Obfuscate();
  EXPECT_EQ(static_cast<unsigned char>(s[0]), 0xBEu);
  EXPECT_EQ(s.Length(), 3u);
  QVRString copy(s);  // the embedded 0 byte must survive a copy
  copy.Obfuscate();
  EXPECT_EQ(Str(copy),
            "A\xFF"
            "b");

  s = "My Level: 1/2.map";
  s.MakeFilename();
  EXPECT_EQ(Str(s), "My_Level_1_2.map");
  s = "a@b{c}|\\\t\xE9";
  s.MakeFilename();
  EXPECT_EQ(Str(s), "a@bc__");
}

TEST(String, FindAndRFind) {
  QVRString s("hello");
  EXPECT_EQ(s.Find("lo", 0, true), 3u);
  EXPECT_EQ(s.Find("LO", 0, true), QVRString::NONE);
  EXPECT_EQ(s.Find("LO", 0, false), 3u);
  EXPECT_EQ(s.Find("hello world", 0, true), QVRString::NONE);
  EXPECT_EQ(s.Find("", 0, true), QVRString::NONE);
  EXPECT_EQ(s.Find('l', 3), 3u);
  EXPECT_EQ(s.Find('l', 5), QVRString::NONE);
  EXPECT_EQ(s.RFind('l', 0xFFFFFFFFu, true), 3u);
  EXPECT_EQ(s.RFind('h', 0, true), 0u);
  EXPECT_EQ(s.RFind('o', 3), QVRString::NONE);
  EXPECT_EQ(s.RFind("L", QVRString::NONE, false), 3u);
  EXPECT_EQ(s.RFind("llo", 1), QVRString::NONE);
  EXPECT_EQ(s.RFind(QVRString("he")), 0u);
  EXPECT_EQ(QVRString().RFind('a'), QVRString::NONE);
  EXPECT_EQ(QVRString().Find(QVRString("a")), QVRString::NONE);
}

TEST(String, Compare) {
  QVRString s("Hello");
  EXPECT_EQ(s.Compare("Hello"), 0);
  EXPECT_LT(s.Compare("Help"), 0);
  EXPECT_GT(s.Compare("Hell"), 0);
  EXPECT_EQ(s.Compare("HELLO", false), 0);
  EXPECT_EQ(s.Compare("Help", true, 3), 0);
  EXPECT_EQ(s.Compare("llo", true, QVRString::NONE, 2), 0);
  EXPECT_EQ(s.Compare("o", true, QVRString::NONE, 99), 0);  // start clamped to the last char
  EXPECT_EQ(QVRString().Compare(""), 0);
  EXPECT_LT(QVRString().Compare("a"), 0);
  EXPECT_GT(s.Compare(nullptr), 0);
}

TEST(String, Format) {
  QVRString s;
  EXPECT_EQ(Str(s.Format("%d-%s", 42, "x")), "42-x");
  EXPECT_EQ(s.Length(), 4u);
  EXPECT_EQ(s.Capacity(), 8u);

  QVRString small(3, nullptr);
  ASSERT_EQ(small.Capacity(), 4u);
  small.Format("%s", std::string(100, 'q').c_str());
  EXPECT_EQ(small.Length(), 100u);
  EXPECT_EQ(small.Capacity(), 104u);
  EXPECT_EQ(Str(small), std::string(100, 'q'));

  small.Format("%d", 7);  // fits: buffer reused, not shrunk
  EXPECT_EQ(Str(small), "7");
  EXPECT_EQ(small.Capacity(), 104u);
  small.Format(nullptr);
  EXPECT_EQ(Str(small), "7");
}

TEST(String, StringCopy) {
  char* part = QVRString::StringCopy("hello", 1, 3);
  EXPECT_STREQ(part, "ell");
  delete[] part;
  char* rest = QVRString::StringCopy("hello", 2);
  EXPECT_STREQ(rest, "llo");
  delete[] rest;
  char* past = QVRString::StringCopy("hello", 9, 2);  // never reads beyond "hello"
  EXPECT_STREQ(past, "");
  delete[] past;
  EXPECT_EQ(QVRString::StringCopy("hello", 0, 0), nullptr);
  EXPECT_EQ(QVRString::StringCopy("", 0), nullptr);
  EXPECT_EQ(QVRString::StringCopy(nullptr), nullptr);

  QVRString s;
  s.ChangeText("hello", 9);  // start past the end of the source
  EXPECT_EQ(s.Text(), nullptr);
  s.ChangeText("hello", 1, 2);
  EXPECT_EQ(Str(s), "el");
  s.ChangeText(s.Text() + 1);  // source inside the own buffer
  EXPECT_EQ(Str(s), "l");
}

}  // namespace
