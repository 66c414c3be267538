// Names written for a file system that ignores letter case and separates with
// "\": disk streams, QVRFileUtils and LoadName/SaveName over a mixed-case tree,
// which variant wins, files made in existing folders, and the folder cache
// following renames made behind the library's back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "common/tmpdir.h"
#include "qvr3d/fileutils.h"
#include "qvr3d/stream.h"
#include "qvr3d/text.h"

namespace {

using qvrtest::ReadAll;
using qvrtest::TempDir;
using qvrtest::WriteAll;

// What a read-only disk stream on `name` delivers; "<none>" when it does not
// open.
std::string Content(const std::string& name) {
  QVRFile file(name.c_str(), QVRResFile::READ);
  if (!file.Good()) return "<none>";
  std::string bytes(256, 0);
  bytes.resize(file.Read(&bytes[0], 256));
  return bytes;
}

// True when `folder` holds an entry of exactly the name `name`, letter case
// included, whatever the file system makes of other spellings.
bool Listed(const std::string& folder, const std::string& name) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
    if (entry.path().filename().string() == name) return true;
  return false;
}

class Names : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(tmp.path().empty());
    root = std::filesystem::canonical(tmp.path()).string();
    std::filesystem::create_directories(root + "/Data/Levels");
    ASSERT_TRUE(WriteAll(root + "/Data/Levels/One.MAP", "level one"));
    ASSERT_TRUE(WriteAll(root + "/Data/Title.BMP", "title"));
  }
  std::string At(const std::string& name) const { return root + "/" + name; }

  TempDir tmp;
  std::string root;
};

TEST_F(Names, DiskStreamsFindEverySpelling) {
  for (const char* name : {"Data/Levels/One.MAP", "data\\levels\\one.map", "DATA/LEVELS/ONE.MAP",
                           "Data\\Levels/one.map", "data//levels/./ONE.map"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Content(At(name)), "level one");
    // The stream keeps the name it was given.
    QVRFile file(At(name).c_str(), QVRResFile::READ);
    EXPECT_STREQ(file.GetName(), At(name).c_str());
  }
  EXPECT_EQ(Content(At("data/title.bmp")), "title");
  EXPECT_EQ(Content(root + "\\DATA\\TITLE.bmp"), "title");
  // Update access opens the existing file too, without creating another.
  {
    QVRFile update(At("DATA/levels/one.MAP").c_str(), QVRResFile::READWRITE);
    ASSERT_TRUE(update.Good());
    EXPECT_EQ(update.Write("LEVEL", 5), 5u);
  }
  EXPECT_EQ(ReadAll(At("Data/Levels/One.MAP")), "LEVEL one");

  // A miss is still a miss, for whatever reason it misses.
  for (const char* missing : {"data/levels/two.map", "data/lvls/one.map", "data/title.bmp/x",
                              "Data/Levels/One.MAP/x", "nowhere/levels/one.map"}) {
    SCOPED_TRACE(missing);
    QVRFile file(At(missing).c_str(), QVRResFile::READ);
    EXPECT_EQ(file.GetState(), QVRResFile::OPEN_ERROR);
    EXPECT_FALSE(QVRFileUtils::FileExist(At(missing).c_str()));
  }
  // A relative name is matched from the current directory.
  std::string saved = std::filesystem::current_path().string();
  ASSERT_EQ(chdir(root.c_str()), 0);
  std::string relative = Content("data\\LEVELS\\one.map");
  ASSERT_EQ(chdir(saved.c_str()), 0);
  EXPECT_EQ(relative, "LEVEL one");
}

TEST_F(Names, TheExactNameWinsThenTheFirstInByteOrder) {
#if defined(_WIN32)
  GTEST_SKIP() << "needs names that differ only in case, which are one file on Windows";
#endif
  ASSERT_TRUE(WriteAll(At("Data/Levels/one.map"), "lower"));
  ASSERT_TRUE(WriteAll(At("Data/Levels/ONE.MAP"), "upper"));
  EXPECT_EQ(Content(At("Data/Levels/one.map")), "lower");
  EXPECT_EQ(Content(At("Data/Levels/One.MAP")), "level one");
  EXPECT_EQ(Content(At("Data/Levels/ONE.MAP")), "upper");
  EXPECT_EQ(Content(At("Data/Levels/oNe.map")), "upper");  // "ONE.MAP" < "One.MAP" < "one.map"

  // A folder on the way is the first variant that is a folder: here the file
  // "DATA" sorts before the folder "Data".
  ASSERT_TRUE(WriteAll(At("DATA"), "a file"));
  EXPECT_EQ(Content(At("data/levels/ONE.MAP")), "upper");
  EXPECT_EQ(Content(At("data")), "a file");
  EXPECT_TRUE(QVRFileUtils::IsDir(At("Data").c_str()));
  EXPECT_FALSE(QVRFileUtils::IsDir(At("DATA").c_str()));
  EXPECT_FALSE(QVRFileUtils::IsDir(At("data").c_str()));
}

TEST_F(Names, NewFilesGoIntoExistingFoldersUnderTheirOwnName) {
  {
    QVRFile file(At("data\\levels\\new.txt").c_str(), QVRResFile::WRITE);
    ASSERT_TRUE(file.Good());
    file.Write("made", 4);
  }
  EXPECT_EQ(ReadAll(At("Data/Levels/new.txt")), "made");
  EXPECT_FALSE(Listed(root, "data"));
  // Append and read/write creation follow the same rule.
  {
    QVRFile file(At("DATA/LEVELS/Log.TXT").c_str(), QVRResFile::WRITE | QVRResFile::APPEND);
    ASSERT_TRUE(file.Good());
    file.Write("x", 1);
  }
  {
    QVRFile file(At("data/levels/fresh.dat").c_str(), QVRResFile::READWRITE);
    ASSERT_TRUE(file.Good());
  }
  EXPECT_EQ(ReadAll(At("Data/Levels/Log.TXT")), "x");
  EXPECT_TRUE(std::filesystem::exists(At("Data/Levels/fresh.dat")));
  // A file that exists in another case counts as existing for CREATE.
  {
    QVRFile file(At("data/levels/ONE.map").c_str(), QVRResFile::WRITE | QVRResFile::CREATE);
    EXPECT_EQ(file.GetState(), QVRResFile::OPEN_ERROR);
  }
  EXPECT_EQ(ReadAll(At("Data/Levels/One.MAP")), "level one");
  // No folder is made on the way.
  QVRFile nowhere(At("data/maps/new.txt").c_str(), QVRResFile::WRITE);
  EXPECT_EQ(nowhere.GetState(), QVRResFile::OPEN_ERROR);
  EXPECT_FALSE(std::filesystem::exists(At("Data/maps")));

  // A new folder inside an existing one, then a move whose target differs
  // only in case from its source.
  EXPECT_TRUE(QVRFileUtils::DirCreate(At("data\\Saves").c_str()));
  EXPECT_TRUE(std::filesystem::is_directory(At("Data/Saves")));
  EXPECT_FALSE(QVRFileUtils::DirCreate(At("DATA/saves").c_str()));  // exists in another case
  EXPECT_TRUE(QVRFileUtils::FileRename(At("data/levels/NEW.TXT").c_str(),
                                       At("data/levels/New.txt").c_str(), false));
  EXPECT_EQ(ReadAll(At("Data/Levels/New.txt")), "made");
  EXPECT_FALSE(Listed(At("Data/Levels"), "new.txt"));
  EXPECT_TRUE(QVRFileUtils::FileCopy(At("data/levels/new.TXT").c_str(),
                                     At("DATA\\saves\\copy.txt").c_str(), false));
  EXPECT_EQ(ReadAll(At("Data/Saves/copy.txt")), "made");
  EXPECT_TRUE(QVRFileUtils::FileRemove(At("data/saves/COPY.TXT").c_str()));
  EXPECT_FALSE(std::filesystem::exists(At("Data/Saves/copy.txt")));
}

TEST_F(Names, FileUtilsAndResourcesByWindowsNames) {
  EXPECT_TRUE(QVRFileUtils::FileExist(At("data\\levels\\one.map").c_str()));
  EXPECT_TRUE(QVRFileUtils::IsDir(At("DATA\\LEVELS").c_str()));
  EXPECT_EQ(QVRFileUtils::FileSize(At("data/LEVELS/one.map").c_str()), 9u);
  char** names = nullptr;
  unsigned count = QVRFileUtils::GetFileList(names, At("data\\levels").c_str(), "*.map",
                                             QVRFileUtils::LIST_NO_DIRS);
  ASSERT_EQ(count, 1u);
  EXPECT_STREQ(names[0], "One.MAP");
  QVRFileUtils::FreeFileList(names, count);
  std::string saved = std::filesystem::current_path().string();
  EXPECT_TRUE(QVRFileUtils::SetCWD(At("data\\levels").c_str()));
  std::string entered = std::filesystem::current_path().string();
  ASSERT_EQ(chdir(saved.c_str()), 0);
  EXPECT_TRUE(std::filesystem::equivalent(entered, At("Data/Levels"))) << entered;

  // LoadName and SaveName take the same names.
  ASSERT_TRUE(WriteAll(At("Data/Levels/Lines.TXT"), "first\nsecond\n"));
  QVRText text;
  ASSERT_TRUE(text.LoadName(At("data\\levels\\lines.txt").c_str(), QVRText::TEXT));
  EXPECT_STREQ(text[1], "second");
  ASSERT_TRUE(text.SaveName(At("DATA\\levels\\saved.txt").c_str(), 2));
  QVRText again;
  ASSERT_TRUE(again.LoadName(At("Data/Levels/saved.txt").c_str(), QVRText::TEXT));
  EXPECT_STREQ(again[0], "first");
}

TEST_F(Names, TheFolderCacheFollowsChangesBehindItsBack) {
#if defined(_WIN32)
  GTEST_SKIP() << "the folder cache belongs to the POSIX layer; Windows matches letter case itself";
#endif
  EXPECT_EQ(Content(At("data/levels/one.map")), "level one");
  std::filesystem::rename(At("Data/Levels/One.MAP"), At("Data/Levels/Two.MAP"));
  EXPECT_EQ(Content(At("data/levels/two.map")), "level one");
  EXPECT_EQ(Content(At("data/levels/one.map")), "<none>");
  // A match that no longer opens is looked for again: another variant takes
  // over, and a new file is found as soon as it is asked for.
  ASSERT_TRUE(WriteAll(At("Data/Levels/TWO.MAP"), "upper two"));
  std::filesystem::remove(At("Data/Levels/Two.MAP"));
  EXPECT_EQ(Content(At("data/levels/two.map")), "upper two");
  ASSERT_TRUE(WriteAll(At("Data/Levels/Four.MAP"), "four"));
  EXPECT_EQ(Content(At("data/levels/four.map")), "four");
  std::filesystem::rename(At("Data/Levels/TWO.MAP"), At("Data/Levels/Two.MAP"));
  EXPECT_EQ(Content(At("data/levels/two.map")), "upper two");
  // A folder replaced by another of the same name is read afresh.
  std::filesystem::rename(At("Data/Levels"), At("Data/Old"));
  std::filesystem::create_directory(At("Data/Levels"));
  ASSERT_TRUE(WriteAll(At("Data/Levels/Three.map"), "three"));
  EXPECT_EQ(Content(At("data/levels/two.map")), "<none>");
  EXPECT_EQ(Content(At("data/levels/THREE.MAP")), "three");
  EXPECT_EQ(Content(At("data/old/two.map")), "upper two");
}

TEST_F(Names, MissesBelowAMissingFolderFollowTheFolder) {
  // Once the listing of Data has settled, a miss below a name missing from
  // it is answered from that listing; the answers must still follow changes.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(Content(At("Data/maps/e1.map")), "<none>");
  EXPECT_EQ(Content(At("Data/maps/e2.map")), "<none>");
  EXPECT_EQ(Content(At("data/MAPS/e2.map")), "<none>");
  EXPECT_FALSE(QVRFileUtils::FileExist(At("Data/maps/deeper/e3.map").c_str()));
  QVRFile nowhere(At("Data/maps/new.txt").c_str(), QVRResFile::WRITE);
  EXPECT_EQ(nowhere.GetState(), QVRResFile::OPEN_ERROR);
  std::filesystem::create_directories(At("Data/Maps/Deeper"));
  ASSERT_TRUE(WriteAll(At("Data/Maps/E2.MAP"), "two"));
  ASSERT_TRUE(WriteAll(At("Data/Maps/Deeper/e3.map"), "three"));
  EXPECT_EQ(Content(At("Data/maps/e2.map")), "two");
  EXPECT_EQ(Content(At("data/maps/E2.map")), "two");
  EXPECT_TRUE(QVRFileUtils::FileExist(At("Data/maps/deeper/e3.map").c_str()));
  EXPECT_EQ(Content(At("Data/maps/e1.map")), "<none>");
  {
    QVRFile made(At("Data/maps/new.txt").c_str(), QVRResFile::WRITE);
    EXPECT_TRUE(made.Good());
  }
  EXPECT_TRUE(std::filesystem::exists(At("Data/Maps/new.txt")));
}

}  // namespace
