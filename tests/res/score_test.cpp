// Tests of QVRScore: ranking in both directions with ties and full tables,
// order switching, resizing, and the file with plain and inverted names.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "qvr3d/core.h"
#include "qvr3d/score.h"
#include "qvr3d/stream.h"
#include "tests/common/tmpdir.h"

namespace {

QVRScoreEntry Make(const char* name, int score, int level = 1) {
  QVRScoreEntry e;
  std::memset(&e, 0, sizeof e);
  std::strncpy(e.name, name, sizeof e.name - 1);
  e.score = score;
  e.level = level;
  return e;
}

int Add(QVRScore& t, const char* name, int score, int level = 1) {
  QVRScoreEntry e = Make(name, score, level);
  return t.Add(&e);
}

std::vector<int> Scores(const QVRScore& t) {
  std::vector<int> out;
  for (unsigned i = 0; i < t.Size(); ++i) out.push_back(t.Entry(i)->score);
  return out;
}

void Put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A file header: magic, version, size, order and (version >= 3) the flag.
std::string Header(uint8_t version, uint32_t size, uint32_t order, uint8_t flag) {
  std::string s;
  Put32(s, 0x01020304u);
  s += static_cast<char>(version);
  Put32(s, size);
  Put32(s, order);
  if (version >= 3) s += static_cast<char>(flag);
  return s;
}

std::string Record(const char* name, int score, int level) {
  std::string s(name);
  s.resize(20, '\0');
  Put32(s, static_cast<uint32_t>(score));
  Put32(s, static_cast<uint32_t>(level));
  return s;
}

bool LoadBytes(QVRScore& t, std::string bytes) {
  QVRMemFile mem(static_cast<unsigned>(bytes.size()), QVRResFile::READ,
                 reinterpret_cast<unsigned char*>(bytes.data()));
  return t.Load(mem);
}

}  // namespace

TEST(Score, RanksHighestFirstWithTies) {
  QVRScore small(1, QVRScore::HIGHEST_FIRST, 0);
  EXPECT_EQ(small.Size(), 3u);
  EXPECT_EQ(Add(small, "zero", 0), -1);  // must beat the last slot
  EXPECT_EQ(Add(small, "a", 10), 0);
  EXPECT_EQ(Add(small, "b", 20), 0);
  EXPECT_EQ(Add(small, "c", 10), 2);  // after the equal score
  EXPECT_EQ(Scores(small), (std::vector<int>{20, 10, 10}));
  EXPECT_STREQ(small.Entry(1)->name, "a");
  EXPECT_STREQ(small.Entry(2)->name, "c");
  EXPECT_EQ(small.Length(), 3u);

  // Full table: an equal score does not enter, a better one pushes the last out.
  EXPECT_EQ(Add(small, "d", 10), -1);
  EXPECT_EQ(Add(small, "e", 15), 1);
  EXPECT_EQ(Scores(small), (std::vector<int>{20, 15, 10}));
  EXPECT_STREQ(small.Entry(2)->name, "a");
  EXPECT_EQ(small.Add(nullptr), -1);
  EXPECT_EQ(small.Entry(3), nullptr);

  QVRScore none(0, QVRScore::HIGHEST_FIRST, 0);
  EXPECT_EQ(none.Size(), 0u);
  EXPECT_EQ(Add(none, "x", 5), -1);
  EXPECT_EQ(none.Length(), 0u);

  // A name of 20 characters is cut to 19 on the way in.
  QVRScoreEntry longName = Make("", 99);
  std::memset(longName.name, 'n', sizeof longName.name);
  EXPECT_EQ(small.Add(&longName), 0);
  EXPECT_EQ(std::strlen(small.Entry(0)->name), 19u);
}

TEST(Score, RanksLowestFirst) {
  QVRScore t(4, QVRScore::LOWEST_FIRST, 1000);
  EXPECT_EQ(Add(t, "a", 1000), -1);
  EXPECT_EQ(Add(t, "b", 500), 0);
  EXPECT_EQ(Add(t, "c", 700), 1);
  EXPECT_EQ(Add(t, "d", 500), 1);  // after the earlier 500
  EXPECT_EQ(Add(t, "e", 100), 0);
  EXPECT_EQ(Scores(t), (std::vector<int>{100, 500, 500, 700}));
  EXPECT_STREQ(t.Entry(1)->name, "b");
  EXPECT_EQ(Add(t, "f", 600), 3);  // 700 drops out
  EXPECT_EQ(Scores(t), (std::vector<int>{100, 500, 500, 600}));
  EXPECT_EQ(Add(t, "g", 600), -1);
}

TEST(Score, OrderResizeAndLength) {
  QVRScore t(4, QVRScore::HIGHEST_FIRST, 0);
  for (int s : {40, 30, 20, 10}) Add(t, "p", s);
  t.SetSortOrder(QVRScore::HIGHEST_FIRST);  // same order: nothing moves
  EXPECT_EQ(Scores(t), (std::vector<int>{40, 30, 20, 10}));
  t.SetSortOrder(QVRScore::LOWEST_FIRST);
  EXPECT_EQ(Scores(t), (std::vector<int>{10, 20, 30, 40}));
  EXPECT_EQ(Add(t, "q", 5), 0);
  EXPECT_EQ(Scores(t), (std::vector<int>{5, 10, 20, 30}));

  t.Resize(2);
  EXPECT_EQ(t.Size(), 3u);
  EXPECT_EQ(Scores(t), (std::vector<int>{5, 10, 20}));
  t.Resize(6);
  EXPECT_EQ(Scores(t), (std::vector<int>{5, 10, 20, 0, 0, 0}));
  EXPECT_EQ(t.Length(), 3u);
  EXPECT_EQ(t.Entry(5)->name[0], 0);

  // Length stops at the first empty slot.
  QVRScore gap(3, QVRScore::HIGHEST_FIRST, 0);
  Add(gap, "a", 3);
  Add(gap, "b", 2);
  Add(gap, "c", 1);
  gap.Reset(7);
  EXPECT_EQ(gap.Length(), 0u);
  EXPECT_EQ(Scores(gap), (std::vector<int>{7, 7, 7}));
}

TEST(Score, SaveAndLoadPlainAndInverted) {
  qvrtest::TempDir dir;
  QVRScore t(5, QVRScore::LOWEST_FIRST, 999);
  Add(t, "Ann", 120, 3);
  Add(t, "Bob the Builder", 90, 5);
  Add(t, "Cy", 300, 1);
  for (bool invert : {false, true}) {
    const std::string path = dir / (invert ? "inv.sco" : "plain.sco");
    ASSERT_TRUE(t.Save(path.c_str(), invert));
    const std::string bytes = qvrtest::ReadAll(path);
    ASSERT_EQ(bytes.size(), 14u + 28u * 5u);
    EXPECT_EQ(bytes.substr(0, 14), Header(3, 5, 1, invert ? 1 : 0));
    EXPECT_EQ(bytes.find("Bob the Builder") != std::string::npos, !invert);
    EXPECT_EQ(bytes.substr(14 + 3 * 28, 28), Record("", 999, 0));  // empty slot stays plain

    QVRScore back(3, QVRScore::HIGHEST_FIRST, 0);
    ASSERT_TRUE(back.Load(path.c_str()));
    EXPECT_EQ(back.Size(), 5u);
    EXPECT_EQ(back.GetSortOrder(), QVRScore::LOWEST_FIRST);
    EXPECT_EQ(Scores(back), (std::vector<int>{90, 120, 300, 999, 999}));
    EXPECT_STREQ(back.Entry(0)->name, "Bob the Builder");
    EXPECT_EQ(back.Entry(0)->level, 5);
    EXPECT_STREQ(back.Entry(1)->name, "Ann");
    EXPECT_EQ(back.Entry(3)->name[0], 0);
  }
  QVRScore none(0, QVRScore::HIGHEST_FIRST, 0);
  EXPECT_FALSE(none.Save((dir / "none.sco").c_str(), false));
  EXPECT_FALSE(t.Save((dir / "no/dir.sco").c_str(), false));
  EXPECT_FALSE(t.Load((dir / "missing.sco").c_str()));

  // Complementing 0xFF would give the terminator: such names are kept plain.
  QVRScore latin(3, QVRScore::HIGHEST_FIRST, 0);
  Add(latin, "Zo\xFF", 10);
  const std::string path = dir / "latin.sco";
  ASSERT_TRUE(latin.Save(path.c_str(), true));
  EXPECT_EQ(qvrtest::ReadAll(path)[13], 0);
  QVRScore back(3, QVRScore::HIGHEST_FIRST, 0);
  ASSERT_TRUE(back.Load(path.c_str()));
  EXPECT_STREQ(back.Entry(0)->name, "Zo\xFF");
}

TEST(Score, LoadBadAndOldFiles) {
  QVRScore t(3, QVRScore::HIGHEST_FIRST, 0);
  Add(t, "keep", 5);

  // Wrong magic or a cut header: unchanged.
  std::string bad = Header(3, 3, 0, 0);
  bad[0] = 9;
  EXPECT_FALSE(LoadBytes(t, bad));
  EXPECT_FALSE(LoadBytes(t, Header(3, 3, 0, 0).substr(0, 10)));
  EXPECT_STREQ(t.Entry(0)->name, "keep");

  // Version 2: no flag byte, names plain; the size is taken as it is.
  EXPECT_TRUE(LoadBytes(t, Header(2, 2, 1, 0) + Record("old", 7, 2) + Record("", 9, 0)));
  EXPECT_EQ(t.Size(), 2u);
  EXPECT_EQ(t.GetSortOrder(), QVRScore::LOWEST_FIRST);
  EXPECT_STREQ(t.Entry(0)->name, "old");

  // A size the file cannot hold keeps the whole records that are there.
  std::string cut = Header(3, 0xFFFFFFFFu, 0, 0) + Record("one", 3, 1) + Record("two", 2, 1);
  cut += Record("three", 1, 1).substr(0, 10);
  EXPECT_FALSE(LoadBytes(t, cut));
  EXPECT_EQ(t.Size(), 2u);
  EXPECT_STREQ(t.Entry(1)->name, "two");
  EXPECT_EQ(Add(t, "new", 4), 0);

  // Size 0: no slots; a name field without terminator is cut to 19 bytes.
  EXPECT_TRUE(LoadBytes(t, Header(3, 0, 0, 0)));
  EXPECT_EQ(t.Size(), 0u);
  EXPECT_EQ(Add(t, "x", 1), -1);
  std::string full(20, 'w');
  Put32(full, 1);
  Put32(full, 1);
  EXPECT_TRUE(LoadBytes(t, Header(3, 1, 0, 1) + full));
  EXPECT_EQ(std::strlen(t.Entry(0)->name), 19u);
}

TEST(Score, PrintInfo) {
  qvrtest::TempDir dir;
  const unsigned level = QVR::GetLogLevel();
  QVR::SetLogLevel(255);
  ASSERT_TRUE(QVR::SetLogTarget(2, (dir / "log.txt").c_str()));
  QVRScore t(3, QVRScore::HIGHEST_FIRST, 0);
  Add(t, "Ann", 1200, 3);
  t.PrintInfo();
  QVR::CloseLog();
  QVR::SetLogLevel(level);
  EXPECT_EQ(qvrtest::ReadAll(dir / "log.txt"),
            "Score table (3 entries) (name/level/score):\n"
            "[  0]                              Ann   3     1200\n"
            "[  1]                                    0        0\n"
            "[  2]                                    0        0\n");
}
