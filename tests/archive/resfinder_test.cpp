// QVRResFinder over a folder and two archives: search order, `first`,
// duplicates, refusals and removal.
#include "qvr3d/resfinder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "common/tmpdir.h"
#include "qvr3d/archive.h"
#include "qvr3d/stream.h"

namespace {

using qvrtest::TempDir;
using qvrtest::WriteAll;

std::string Content(QVRResFile* file) {
  std::unique_ptr<QVRResFile> owned(file);
  if (!owned) return "<none>";
  std::string bytes(256, 0);
  bytes.resize(owned->Read(bytes.data(), 256));
  return bytes;
}

TEST(ResFinder, SearchesSourcesInOrder) {
  TempDir tmp;
  std::string root = std::filesystem::canonical(tmp.path()).string();
  std::string folder = root + "/data";
  std::filesystem::create_directory(folder);
  WriteAll(folder + "/shared.txt", "from folder");
  WriteAll(folder + "/only_dir.txt", "dir only");

  auto makeArchive = [&](QVRArchive& archive, const std::string& path, const char* tag) {
    ASSERT_TRUE(archive.Create(path.c_str()));
    std::string src = root + "/src";
    WriteAll(src, std::string("from ") + tag);
    ASSERT_NE(archive.AddFile(src.c_str(), "shared.txt"), QVRArchive::NONE);
    WriteAll(src, std::string(tag) + " only");
    ASSERT_NE(archive.AddFile(src.c_str(), (std::string("only_") + tag + ".txt").c_str()),
              QVRArchive::NONE);
  };
  QVRArchQVR qvr;
  QVRArchPAK pak;
  makeArchive(qvr, root + "/one.qvr", "qvr");
  makeArchive(pak, root + "/two.pak", "pak");
  WriteAll(root + "/notes.txt", "plain text, not an archive");

  QVRResFinder finder;
  EXPECT_EQ(finder.FindRes("shared.txt"), nullptr);  // no sources yet
  finder.PrintInfo();
  ASSERT_TRUE(finder.AddSource(folder.c_str(), false));
  ASSERT_TRUE(finder.AddSource((root + "/one.qvr").c_str(), false));
  EXPECT_TRUE(finder.AddSource(folder.c_str(), false));  // already there: kept once
  EXPECT_EQ(finder.NbSources(), 2u);
  EXPECT_FALSE(finder.AddSource((root + "/notes.txt").c_str(), false));
  EXPECT_FALSE(finder.AddSource((root + "/missing").c_str(), false));
  EXPECT_FALSE(finder.AddSource("", false));
  EXPECT_FALSE(finder.AddSource(nullptr, true));

  EXPECT_EQ(Content(finder.FindRes("shared.txt")), "from folder");
  EXPECT_EQ(Content(finder.FindRes("only_qvr.txt")), "qvr only");
  EXPECT_EQ(finder.FindRes("Only_qvr.txt"), nullptr);  // archives are case-sensitive
  EXPECT_EQ(finder.FindRes("nowhere.txt"), nullptr);
  EXPECT_EQ(finder.FindRes(nullptr), nullptr);

  // A source added with `first` is asked before every other.
  ASSERT_TRUE(finder.AddSource((root + "/two.pak").c_str(), true));
  EXPECT_EQ(finder.FindSource((root + "/two.pak").c_str()), 0u);
  EXPECT_EQ(finder.FindSource(folder.c_str()), 1u);
  EXPECT_EQ(finder.FindSource((root + "/one.qvr").c_str()), 2u);
  EXPECT_EQ(Content(finder.FindRes("shared.txt")), "from pak");
  EXPECT_EQ(Content(finder.FindRes("only_dir.txt")), "dir only");
  EXPECT_EQ(Content(finder.FindRes((folder + "/only_dir.txt").c_str())), "dir only");
  finder.PrintInfo();

  EXPECT_FALSE(finder.RemoveSource((root + "/absent.pak").c_str()));
  EXPECT_EQ(finder.NbSources(), 3u);
  ASSERT_TRUE(finder.RemoveSource((root + "/two.pak").c_str()));
  EXPECT_EQ(Content(finder.FindRes("shared.txt")), "from folder");
  ASSERT_TRUE(finder.RemoveSource(folder.c_str()));
  EXPECT_EQ(Content(finder.FindRes("shared.txt")), "from qvr");
  EXPECT_EQ(finder.FindSource(folder.c_str()), QVRResFinder::NONE);
  EXPECT_EQ(finder.GetSource(0)->NbFiles(), 2u);
  EXPECT_EQ(finder.GetSource(1), nullptr);
}

// Game data named as on a file system that ignores case: a folder source
// matches every spelling, an archive only the exact one.
TEST(ResFinder, FolderSourcesTakeWindowsNames) {
#if defined(_WIN32)
  GTEST_SKIP() << "needs names that differ only in case, which are one file on Windows";
#endif
  TempDir tmp;
  std::string root = std::filesystem::canonical(tmp.path()).string();
  std::filesystem::create_directories(root + "/Game/Data/Levels");
  WriteAll(root + "/Game/Data/Levels/One.MAP", "level one");
  WriteAll(root + "/Game/Data/Levels/one.map", "exact");
  WriteAll(root + "/Game/Data/Title.BMP", "title");
  QVRArchPAK pak;
  ASSERT_TRUE(pak.Create((root + "/Game/patch.pak").c_str()));
  ASSERT_NE(pak.AddFileAs((root + "/Game/Data/Title.BMP").c_str(), "Data/Title.BMP"),
            QVRArchive::NONE);

  QVRDir dir((root + "\\GAME\\data").c_str());
  EXPECT_STREQ(dir.Name(), (root + "/Game/Data").c_str());
  EXPECT_EQ(Content(dir.OpenFile("levels\\ONE.MAP")), "level one");
  EXPECT_EQ(Content(dir.OpenFile("Levels/One.MAP")), "level one");
  EXPECT_EQ(Content(dir.OpenFile("LEVELS/one.map")), "exact");
  EXPECT_EQ(Content(dir.OpenFile("title.bmp")), "title");
  EXPECT_EQ(dir.OpenFile("levels\\two.map"), nullptr);
  EXPECT_TRUE(dir.CopyFile("LEVELS\\ONE.MAP", "levels\\copy.map"));
  EXPECT_EQ(qvrtest::ReadAll(root + "/Game/Data/Levels/copy.map"), "level one");

  QVRResFinder finder;
  ASSERT_TRUE(finder.AddSource((root + "/game/PATCH.PAK").c_str()));
  ASSERT_TRUE(finder.AddSource((root + "\\game").c_str()));
  EXPECT_STREQ(finder.GetSource(1)->Name(), (root + "/Game").c_str());
  EXPECT_EQ(Content(finder.FindRes("data\\levels\\one.map")), "exact");
  EXPECT_EQ(Content(finder.FindRes("DATA/LEVELS/ONE.MAP")), "level one");
  EXPECT_EQ(Content(finder.FindRes("Data/Levels/One.MAP")), "level one");
  EXPECT_EQ(finder.FindRes("data/levels/none.map"), nullptr);
  // The archive answers its exact name first; other spellings fall through
  // to the folder.
  std::unique_ptr<QVRResFile> fromPak(finder.FindRes("Data/Title.BMP"));
  ASSERT_NE(fromPak, nullptr);
  EXPECT_NE(dynamic_cast<QVRPackFile*>(fromPak.get()), nullptr);
  std::unique_ptr<QVRResFile> fromDir(finder.FindRes("data\\title.bmp"));
  ASSERT_NE(fromDir, nullptr);
  EXPECT_NE(dynamic_cast<QVRFile*>(fromDir.get()), nullptr);
}

TEST(ResFinder, RelativeNamesAndDamagedArchives) {
  TempDir tmp;
  std::string root = std::filesystem::canonical(tmp.path()).string();
  std::string saved = std::filesystem::current_path().string();
  WriteAll(root + "/bad.pak", std::string("PACK\x40\0\0\0\x40\0\0\0", 12));
  QVRResFinder finder;
  EXPECT_FALSE(finder.AddSource((root + "/bad.pak").c_str(), false));
  EXPECT_EQ(finder.NbSources(), 0u);
  // A relative name is stored absolute, so adding it again by its absolute
  // name finds it.
  ASSERT_EQ(chdir(root.c_str()), 0);
  QVRArchPAK pak;
  bool made = pak.Create("rel.pak");
  bool added = finder.AddSource("rel.pak", false);
  ASSERT_EQ(chdir(saved.c_str()), 0);
  ASSERT_TRUE(made);
  ASSERT_TRUE(added);
  EXPECT_STREQ(finder.GetSource(0)->Name(), qvrtest::Native(root + "/rel.pak").c_str());
  EXPECT_TRUE(finder.AddSource((root + "/rel.pak").c_str(), false));
  EXPECT_EQ(finder.NbSources(), 1u);
}

}  // namespace
