// The resource manager over a finder of a temp folder and a PAK holding real
// files of every built-in type: caching and counts, the sorted table, loader
// registration, reloads, and music that keeps its stream.
#include <SDL.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>
#include <string>

#include "audio/sound_helpers.h"
#include "common/log_capture.h"
#include "common/tmpdir.h"
#include "qvr3d/qvr3d.h"

using qvrtest::LogCapture;
using qvrtest::TempDir;

namespace {

// A resource that only counts its instances, for the table tests.
struct Probe : QVRResource {
  static int live;
  Probe() { ++live; }
  ~Probe() override { --live; }
  unsigned MemoryUsed() const override { return sizeof *this; }
  bool Load(QVRResFile&, int) override { return true; }
  bool Save(QVRResFile&, int) override { return false; }
};
int Probe::live = 0;

QVRResource* ProbeLoader(QVRResFile*, const char*, int, bool& keepStream) {
  keepStream = false;
  return new Probe;
}

void SaveImage(const std::string& path, uint8_t shade) {
  QVRImage img(8, 4, 8);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 8; ++x) img.GetPixels()[y * 8 + x] = static_cast<uint8_t>(shade + x);
  }
  ASSERT_TRUE(img.SaveName(path.c_str(), QVRImage::IMG_BMP));
}

// 16-bit stereo 22050 Hz, `frames` frames of a ramp.
std::string MusicWav(unsigned frames) {
  std::string data;
  for (unsigned i = 0; i < frames; ++i) {
    soundtest::Le16(data, (i * 37) & 0xFFFF);
    soundtest::Le16(data, (i * 91) & 0xFFFF);
  }
  return soundtest::PcmWav(2, 22050, 16, data);
}

class ResMgrTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string data = dir / "data";
    ASSERT_TRUE(QVRFileUtils::DirCreate(data.c_str()));
    SaveImage(data + "/title.bmp", 10);
    QVRPal pal(16);
    ASSERT_TRUE(pal.SaveName((data + "/game.qvrp").c_str(), QVRPal::PAL_NATIVE));
    QVRImage sheet(16, 8, 8);
    QVRFont font("Small", 'A', 'B', &sheet);
    ASSERT_TRUE(font.SaveName((data + "/small.fnt").c_str(), 0));
    QVRText text(0);
    text.SetString(0, "hello");
    ASSERT_TRUE(text.SaveName((data + "/words.txt").c_str(), QVRText::TEXT));
    qvrtest::WriteAll(data + "/beep.wav", soundtest::PcmWav(1, 22050, 8, std::string(400, '\x90')));
    qvrtest::WriteAll(data + "/notes.txt", "not an image\n");

    // The PAK holds the music and a second copy of the font for the GL type.
    const std::string staging = dir / "staging";
    ASSERT_TRUE(QVRFileUtils::DirCreate(staging.c_str()));
    qvrtest::WriteAll(staging + "/theme.wav", MusicWav(30000));
    ASSERT_TRUE(font.SaveName((staging + "/glfont.fnt").c_str(), 0));
    pak = dir / "game.pak";
    QVRArchPAK archive;
    ASSERT_TRUE(archive.Create(pak.c_str()));
    ASSERT_NE(archive.AddFile((staging + "/theme.wav").c_str()), 0xFFFFFFFFu);
    ASSERT_NE(archive.AddFile((staging + "/glfont.fnt").c_str()), 0xFFFFFFFFu);
    archive.Close();

    ASSERT_TRUE(finder.AddSource(data.c_str()));
    ASSERT_TRUE(finder.AddSource(pak.c_str()));
  }

  TempDir dir;
  std::string pak;
  QVRResFinder finder;
};

TEST_F(ResMgrTest, EveryBuiltInTypeLoadsByNameFromFolderAndArchive) {
  QVRResMgr res(finder);
  EXPECT_EQ(res.NbLoaders(), 7u);
  auto* image = dynamic_cast<QVRImage*>(res.Load(QVRResMgr::RES_IMAGE, "title.bmp", 0, true));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->GetWidth(), 8u);
  EXPECT_EQ(image->GetPixel(3, 2), 13u);
  EXPECT_NE(dynamic_cast<QVRPal*>(res.Load(QVRResMgr::RES_PALETTE, "game.qvrp", 0, true)), nullptr);
  EXPECT_NE(dynamic_cast<QVRFont*>(res.Load(QVRResMgr::RES_FONT, "small.fnt", 0, true)), nullptr);
  auto* text = dynamic_cast<QVRText*>(res.Load(QVRResMgr::RES_TEXT, "words.txt", 0, true));
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text->Get(0), "hello");
  auto* sound = dynamic_cast<QVRSound*>(res.Load(QVRResMgr::RES_SOUND, "beep.wav", 0, true));
  ASSERT_NE(sound, nullptr);
  EXPECT_EQ(sound->GetSize(), 400u);
  auto* music = dynamic_cast<QVRMusic*>(res.Load(QVRResMgr::RES_MUSIC, "theme.wav", 0, true));
  ASSERT_NE(music, nullptr);
  EXPECT_NE(music->GetFile(), nullptr);  // kept open for streaming
  EXPECT_EQ(music->GetDataSize(), 30000u * 4);
  EXPECT_NE(dynamic_cast<Q3DFont*>(res.Load(QVRResMgr::RES_GLFONT, "glfont.fnt", 0, true)),
            nullptr);
  EXPECT_EQ(res.Count(), 7u);
  EXPECT_EQ(res.Alloc(), 8u);
  // Destroying the manager with every count at 1 frees them all (the leak
  // checker of the sanitizer build watches this).
}

TEST_F(ResMgrTest, CountsTypesAndTheSortedTable) {
  QVRResMgr res(finder);
  QVRResource* first = res.Load(QVRResMgr::RES_IMAGE, "title.bmp", 0, true);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(res.Load(QVRResMgr::RES_IMAGE, "title.bmp", 0, true), first);
  ASSERT_EQ(res.Count(), 1u);
  EXPECT_EQ(res.Entry(0)->references, 2u);
  // Another type under the same name: null, the record unchanged.
  EXPECT_EQ(res.Load(QVRResMgr::RES_PALETTE, "title.bmp", 0, true), nullptr);
  EXPECT_EQ(res.Entry(0)->references, 2u);
  EXPECT_EQ(res.Get("title.bmp"), first);
  EXPECT_EQ(res.Entry(0)->references, 3u);
  EXPECT_TRUE(res.Release(first));
  EXPECT_TRUE(res.Release("title.bmp"));
  EXPECT_TRUE(res.Release("title.bmp"));
  EXPECT_EQ(res.Count(), 0u);
  EXPECT_FALSE(res.Release("title.bmp"));
  EXPECT_FALSE(res.Release(first));
  EXPECT_EQ(res.Get("title.bmp"), nullptr);

  // Without add the caller owns the object and the next load reads again.
  std::unique_ptr<QVRResource> own(res.Load(QVRResMgr::RES_IMAGE, "title.bmp", 0, false));
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(res.Count(), 0u);

  // Byte order, growth by doubling, and the content report.
  const char* names[] = {"apple", "Zebra", "mango", "Apple", "banana"};
  for (const char* name : names) EXPECT_TRUE(res.Add(9, name, new Probe));
  EXPECT_FALSE(res.Add(9, "mango", nullptr));
  EXPECT_FALSE(res.Add(9, "", nullptr));
  EXPECT_EQ(res.Alloc(), 8u);
  const char* sorted[] = {"Apple", "Zebra", "apple", "banana", "mango"};
  for (unsigned i = 0; i < 5; ++i) EXPECT_STREQ(res.Entry(i)->name, sorted[i]);
  unsigned pos = 77;
  EXPECT_FALSE(res.FindRes("b", pos));
  EXPECT_EQ(pos, 3u);
  EXPECT_FALSE(res.FindRes(nullptr, pos));
  EXPECT_EQ(pos, 3u);
  {
    LogCapture log(QVR::LOG_LOG);
    res.PrintContent();
    EXPECT_EQ(log.Text(),
              "Resource Manager : (5 entries, 8 alloc)\n"
              "-   0 [type  9] Apple (1)\n"
              "-   1 [type  9] Zebra (1)\n"
              "-   2 [type  9] apple (1)\n"
              "-   3 [type  9] banana (1)\n"
              "-   4 [type  9] mango (1)\n");
  }
  EXPECT_EQ(Probe::live, 5);
  EXPECT_TRUE(res.Release("banana"));
  EXPECT_EQ(Probe::live, 4);
  // Records still referenced are destroyed with the manager.
}

TEST_F(ResMgrTest, LoadersAndRefusals) {
  Probe::live = 0;
  {
    QVRResMgr res(finder);
    EXPECT_EQ(res.Load(7, "title.bmp", 0, true), nullptr);  // no such type
    EXPECT_EQ(res.Load(QVRResMgr::RES_IMAGE, nullptr, 0, true), nullptr);
    EXPECT_EQ(res.Load(QVRResMgr::RES_IMAGE, "missing.bmp", 0, true), nullptr);
    EXPECT_EQ(res.RegisterLoader(nullptr), 0xFFFFFFFFu);
    EXPECT_EQ(res.RegisterLoader(ProbeLoader), 7u);
    EXPECT_TRUE(res.ChangeLoader(7, ProbeLoader));
    EXPECT_FALSE(res.ChangeLoader(8, ProbeLoader));
    EXPECT_FALSE(res.ChangeLoader(0, nullptr));
    EXPECT_NE(res.Load(7, "notes.txt", 0, true), nullptr);
    {
      LogCapture log(QVR::LOG_WARN);
      EXPECT_EQ(res.Load(QVRResMgr::RES_IMAGE, "words.txt", 0, true), nullptr);
      EXPECT_NE(log.Text().find("ResMgr: can not load words.txt (type 0)\n"), std::string::npos);
    }
    // A replaced loader changes later loads, not what is in the table.
    QVRResource* image = res.Load(QVRResMgr::RES_IMAGE, "title.bmp", 0, true);
    ASSERT_NE(dynamic_cast<QVRImage*>(image), nullptr);
    EXPECT_TRUE(res.ChangeLoader(QVRResMgr::RES_IMAGE, ProbeLoader));
    EXPECT_EQ(res.Load(QVRResMgr::RES_IMAGE, "title.bmp", 0, true), image);
    EXPECT_NE(dynamic_cast<Probe*>(res.Load(QVRResMgr::RES_IMAGE, "small.fnt", 0, true)), nullptr);
    // A music file that is not one: the loader's refusal frees the stream.
    EXPECT_EQ(res.Load(QVRResMgr::RES_MUSIC, "notes.txt", 0, true), nullptr);
  }
  EXPECT_EQ(Probe::live, 0);
}

TEST_F(ResMgrTest, ReloadRefillsInPlace) {
  QVRResMgr res(finder);
  auto* image = dynamic_cast<QVRImage*>(res.Load(QVRResMgr::RES_IMAGE, "title.bmp", 0, true));
  ASSERT_NE(image, nullptr);
  res.Get("title.bmp");
  SaveImage(dir / "data/title.bmp", 100);
  EXPECT_TRUE(res.Reload("title.bmp"));
  EXPECT_EQ(image->GetPixel(0, 0), 100u);  // the same object, new content
  EXPECT_EQ(res.Entry(0)->references, 2u);
  EXPECT_FALSE(res.Reload("nothing.bmp"));

  ASSERT_NE(res.Load(QVRResMgr::RES_TEXT, "words.txt", 0, true), nullptr);
  EXPECT_TRUE(res.ReloadType(QVRResMgr::RES_SOUND));  // none of that type
  EXPECT_TRUE(res.ReloadType(QVRResMgr::RES_IMAGE));
  EXPECT_FALSE(res.ReloadType(7));
  // The last record's outcome decides: its file is gone now.
  ASSERT_TRUE(QVRFileUtils::FileRemove((dir / "data/title.bmp").c_str()));
  EXPECT_FALSE(res.ReloadType(QVRResMgr::RES_IMAGE));
  EXPECT_FALSE(res.Reload("title.bmp"));
}

// Random adds, gets and releases against a plain model: the sorted table, the
// counts and the by-name lookups stay in step through growth of the index and
// removals from the middle of its probe runs.
TEST_F(ResMgrTest, TableAndNameIndexStayInStep) {
  Probe::live = 0;
  {
    QVRResMgr res(finder);
    std::map<std::string, unsigned> model;
    std::mt19937 rng(99);
    for (int op = 0; op < 20000; ++op) {
      const std::string name = "gfx/" + std::to_string(rng() % 300) + ".pcx";
      const bool known = model.count(name) != 0;
      switch (rng() % 3) {
        case 0:
          EXPECT_EQ(res.Add(1, name.c_str(), known ? nullptr : new Probe), !known);
          if (!known) model[name] = 1;
          break;
        case 1:
          EXPECT_EQ(res.Get(name.c_str()) != nullptr, known);
          if (known) ++model[name];
          break;
        default:
          EXPECT_EQ(res.Release(name.c_str()), known);
          if (known && --model[name] == 0) model.erase(name);
          break;
      }
    }
    ASSERT_EQ(res.Count(), model.size());
    unsigned i = 0;
    for (const auto& [name, count] : model) {
      EXPECT_EQ(res.Entry(i)->name, name);
      EXPECT_EQ(res.Entry(i)->references, count);
      ++i;
    }
    EXPECT_EQ(Probe::live, static_cast<int>(model.size()));
  }
  EXPECT_EQ(Probe::live, 0);
}

// The music keeps reading from the archive's window stream after the load;
// a reload hands it a new one and releasing it frees the stream (the
// sanitizer build checks both for leaks and reads of freed memory).
TEST_F(ResMgrTest, MusicStreamsFromTheArchiveAndSurvivesReload) {
  QVRResMgr res(finder);
  auto* music = dynamic_cast<QVRMusic*>(res.Load(QVRResMgr::RES_MUSIC, "theme.wav", 0, true));
  ASSERT_NE(music, nullptr);
  music->ChangeFormat(QVR_AUDIO_S16LSB, 22050, 2);
  const unsigned char* chunk = music->NextData();
  ASSERT_NE(chunk, nullptr);
  EXPECT_EQ(chunk[2], 0u);
  EXPECT_EQ(chunk[4], 37u);
  QVRResFile* before = music->GetFile();
  EXPECT_TRUE(res.Reload("theme.wav"));
  EXPECT_NE(music->GetFile(), nullptr);
  EXPECT_NE(music->GetFile(), before);
  music->ChangeFormat(QVR_AUDIO_S16LSB, 22050, 2);
  chunk = music->NextData();
  ASSERT_NE(chunk, nullptr);
  EXPECT_EQ(chunk[4], 37u);
  EXPECT_TRUE(res.Release("theme.wav"));
  EXPECT_EQ(res.Count(), 0u);
}

// Through SDL's real audio thread (disk driver): the managed music plays
// from its window stream to its end, is reloaded while idle, plays again and
// is released while the mixer is still open.
TEST_F(ResMgrTest, ManagedMusicPlaysThroughTheMixer) {
  const std::string out = dir / "mix.raw";
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
  setenv("SDL_DISKAUDIODELAY", "1", 1);
  QVRResMgr res(finder);
  QVRMixer* mixer = QVRMixer::Singleton();
  ASSERT_TRUE(mixer->Init(QVR_AUDIO_S16LSB, 44100, 1024, true, 8));
  auto* music = dynamic_cast<QVRMusic*>(res.Load(QVRResMgr::RES_MUSIC, "theme.wav", 0, true));
  ASSERT_NE(music, nullptr);
  music->SetMixerFormat();
  mixer->Unpause();
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    ASSERT_NE(mixer->PlayMusic(music, 0xFFFFFFFF, 128, 1, 127), 0xFFFFFFFFu);
    for (int waited = 0; mixer->ActiveChannels() > 0 && waited < 20000; waited += 5) SDL_Delay(5);
    ASSERT_EQ(mixer->ActiveChannels(), 0u);
    if (round == 0) {
      ASSERT_TRUE(res.Reload("theme.wav"));
      music->SetMixerFormat();
    }
  }
  EXPECT_TRUE(res.Release(music));
  mixer->Exit();
  delete mixer;
  unsetenv("SDL_DISKAUDIOFILE");
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  // 30000 frames at 22050 Hz, twice, at twice the rate: at least 120000
  // frames of 4 bytes reached the file, and they are not all silence.
  const std::string written = qvrtest::ReadAll(out);
  EXPECT_GE(written.size(), 120000u * 4);
  EXPECT_NE(written.find_first_not_of('\0'), std::string::npos);
}

}  // namespace
