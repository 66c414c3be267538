// Numbered screenshot names and the exclusive creation under them: the
// first free number is taken, nothing existing is replaced, and a full set
// of 1000 names fails.
#include <gtest/gtest.h>

#include <string>

#include "common/tmpdir.h"
#include "gl/numbered.h"
#include "io/platform.h"

namespace {

using qvr::detail::NewFileResult;
using qvr::detail::NumberedName;
using qvr::detail::WriteNewFile;
using qvr::detail::WriteNumberedFile;

TEST(NumberedFile, Names) {
  EXPECT_EQ(NumberedName("shot", 0, ".bmp"), "shot000.bmp");
  EXPECT_EQ(NumberedName("a/b%d", 42, ".bmp"), "a/b%d042.bmp");
  EXPECT_EQ(NumberedName("", 999, ""), "999");
}

TEST(NumberedFile, WriteNewFileNeverReplaces) {
  qvrtest::TempDir dir;
  const std::string path = dir / "new.bin";
  EXPECT_EQ(WriteNewFile(path.c_str(), "abc", 3), NewFileResult::CREATED);
  EXPECT_EQ(qvrtest::ReadAll(path), "abc");
  EXPECT_EQ(WriteNewFile(path.c_str(), "xyz!", 4), NewFileResult::EXISTS);
  EXPECT_EQ(qvrtest::ReadAll(path), "abc");
  EXPECT_EQ(WriteNewFile((dir / "none/x.bin").c_str(), "a", 1), NewFileResult::FAILED);
  EXPECT_EQ(WriteNewFile(nullptr, "a", 1), NewFileResult::FAILED);
  EXPECT_EQ(WriteNewFile((dir / "empty.bin").c_str(), nullptr, 0), NewFileResult::CREATED);
  EXPECT_EQ(qvrtest::ReadAll(dir / "empty.bin"), "");
}

TEST(NumberedFile, TakesTheFirstFreeNumber) {
  qvrtest::TempDir dir;
  const std::string prefix = dir / "shot";
  ASSERT_TRUE(qvrtest::WriteAll(prefix + "000.bmp", "zero"));
  ASSERT_TRUE(qvrtest::WriteAll(prefix + "001.bmp", "one"));
  EXPECT_EQ(WriteNumberedFile(prefix.c_str(), ".bmp", "two", 3), 2);
  EXPECT_EQ(qvrtest::ReadAll(prefix + "000.bmp"), "zero");
  EXPECT_EQ(qvrtest::ReadAll(prefix + "001.bmp"), "one");
  EXPECT_EQ(qvrtest::ReadAll(prefix + "002.bmp"), "two");
  // A gap is filled first.
  ASSERT_TRUE(qvrtest::WriteAll(prefix + "004.bmp", "four"));
  EXPECT_EQ(WriteNumberedFile(prefix.c_str(), ".bmp", "3", 1), 3);
  EXPECT_EQ(WriteNumberedFile(prefix.c_str(), ".bmp", "5", 1), 5);
  EXPECT_EQ(qvrtest::ReadAll(prefix + "004.bmp"), "four");
  EXPECT_EQ(WriteNumberedFile(nullptr, ".bmp", "x", 1), -1);
}

TEST(NumberedFile, FailsWhenEveryNameExists) {
  qvrtest::TempDir dir;
  const std::string prefix = dir / "s";
  for (unsigned n = 0; n < 1000; ++n)
    ASSERT_TRUE(qvrtest::WriteAll(NumberedName(prefix.c_str(), n, ".bmp"), "x"));
  EXPECT_EQ(WriteNumberedFile(prefix.c_str(), ".bmp", "new", 3), -1);
  EXPECT_EQ(qvrtest::ReadAll(prefix + "999.bmp"), "x");
  EXPECT_EQ(qvrtest::ReadAll(prefix + "000.bmp"), "x");
}

TEST(NumberedFile, FailsInAMissingFolder) {
  qvrtest::TempDir dir;
  EXPECT_EQ(WriteNumberedFile((dir / "no/such/shot").c_str(), ".bmp", "x", 1), -1);
}

}  // namespace
