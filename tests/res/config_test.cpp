// Tests of QVRConfigMgr: sorted case-insensitive table, command-line and file
// parsing with their messages, Save -> ParseFile round trips, PrintInfo.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "common/log_capture.h"
#include "common/posix_compat.h"
#include "qvr3d/config.h"
#include "qvr3d/core.h"
#include "tests/common/tmpdir.h"

namespace {

using Cfg = QVRConfigMgr;

Cfg::CfgValue Int(int v) {
  Cfg::CfgValue value;
  std::memset(&value, 0, sizeof value);
  value.intVal = v;
  return value;
}
Cfg::CfgValue Bool(bool v) {
  Cfg::CfgValue value = Int(0);
  value.boolVal = v;
  return value;
}
Cfg::CfgValue Float(float v) {
  Cfg::CfgValue value = Int(0);
  value.floatVal = v;
  return value;
}
Cfg::CfgValue Str(const char* v) {
  Cfg::CfgValue value = Int(0);
  value.strVal = const_cast<char*>(v);
  return value;
}
Cfg::CfgValue Color(unsigned char r, unsigned char g, unsigned char b, unsigned char a) {
  Cfg::CfgValue value = Int(0);
  value.color[0] = r;
  value.color[1] = g;
  value.color[2] = b;
  value.color[3] = a;
  return value;
}
Cfg::CfgValue Date(uint32_t v) {
  Cfg::CfgValue value = Int(0);
  value.date = v;
  return value;
}

uint32_t LocalDate(int year, int month, int day, int hour, int minute, int second) {
  struct tm tm;
  std::memset(&tm, 0, sizeof tm);
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  return static_cast<uint32_t>(std::mktime(&tm));
}

using qvrtest::LogCapture;

// A fixed time zone without daylight saving, one hour east of UTC, so that
// dates really go through local time.
class FixedZone {
 public:
  explicit FixedZone(const char* zone = "QVR-1") {
    const char* old = std::getenv("TZ");
    m_hadOld = old != nullptr;
    if (old) m_old = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~FixedZone() {
    if (m_hadOld) {
      setenv("TZ", m_old.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool m_hadOld;
  std::string m_old;
};

bool ParseArgs(Cfg& cfg, std::vector<const char*> args) {
  args.insert(args.begin(), "game");
  return cfg.ParseCL(static_cast<int>(args.size()), const_cast<char**>(args.data()));
}

// A table with one parameter of every type.
void DeclareAll(Cfg& cfg) {
  cfg.AddParameter("fullscreen", Cfg::CFG_BOOL, Bool(false));
  cfg.AddParameter("width", Cfg::CFG_INT, Int(640));
  cfg.AddParameter("gamma", Cfg::CFG_FLOAT, Float(1.0f));
  cfg.AddParameter("name", Cfg::CFG_STRING, Str("Default"));
  cfg.AddParameter("color", Cfg::CFG_COLOR, Color(0, 0, 0, 255));
  cfg.AddParameter("date", Cfg::CFG_DATE, Date(0));
  cfg.AddParameter("sound", Cfg::CFG_BOOL, Bool(false));
}

}  // namespace

TEST(Config, TableIsSortedAndCaseInsensitive) {
  Cfg cfg(1);  // grows past the minimum of 4 cells
  EXPECT_EQ(sizeof(Cfg::CfgValue), sizeof(void*));
  EXPECT_TRUE(cfg.AddParameter("Width", Cfg::CFG_INT, Int(800)));
  EXPECT_FALSE(cfg.AddParameter("width", Cfg::CFG_INT, Int(1)));
  EXPECT_FALSE(cfg.AddParameter("", Cfg::CFG_INT, Int(1)));
  EXPECT_FALSE(cfg.AddParameter(nullptr, Cfg::CFG_INT, Int(1)));
  EXPECT_EQ(cfg.GetValue("WIDTH", Cfg::CFG_INT).intVal, 800);
  EXPECT_EQ(cfg.ParamType("wIdTh"), Cfg::CFG_INT);
  EXPECT_EQ(cfg.ParamType("height"), 0);
  EXPECT_EQ(cfg.GetValue("height", Cfg::CFG_STRING).strVal, nullptr);
  EXPECT_EQ(cfg.GetCell("nothing"), nullptr);

  const char* names[] = {"zoom", "Alpha", "beta", "m1", "m2", "a0", "zz"};
  for (const char* n : names) EXPECT_TRUE(cfg.AddParameter(n, Cfg::CFG_INT, Int(0)));
  unsigned pos = 99;
  EXPECT_TRUE(cfg.Find("ALPHA", pos));
  EXPECT_EQ(pos, 1u);  // after a0
  EXPECT_FALSE(cfg.Find("0", pos));
  EXPECT_EQ(pos, 0u);  // before everything
  EXPECT_FALSE(cfg.Find("zzz", pos));
  EXPECT_EQ(pos, 8u);  // after everything
  pos = 42;
  EXPECT_FALSE(cfg.Find("", pos));
  EXPECT_EQ(pos, 42u);

  EXPECT_TRUE(cfg.RemoveParameter("m1"));
  EXPECT_FALSE(cfg.RemoveParameter("m1"));
  EXPECT_TRUE(cfg.Find("m2", pos));
  EXPECT_EQ(pos, 3u);

  // Strings are copied in, replaced, and kept when the type does not match.
  char text[] = "first";
  EXPECT_TRUE(cfg.AddParameter("title", Cfg::CFG_STRING, Str(text)));
  text[0] = 'X';
  EXPECT_STREQ(cfg.GetValue("title", 0).strVal, "first");
  EXPECT_FALSE(cfg.SetValue("title", Cfg::CFG_INT, Int(5), false));
  EXPECT_STREQ(cfg.GetValue("title", 0).strVal, "first");
  EXPECT_TRUE(cfg.SetValue("title", Cfg::CFG_STRING, cfg.GetValue("title", 0), false));
  EXPECT_STREQ(cfg.GetValue("title", 0).strVal, "first");  // setting itself is safe
  EXPECT_TRUE(cfg.SetValue("title", Cfg::CFG_INT, Int(5), true));
  EXPECT_EQ(cfg.ParamType("title"), Cfg::CFG_INT);
  EXPECT_EQ(cfg.GetValue("title", 0).intVal, 5);
  EXPECT_FALSE(cfg.SetValue("missing", Cfg::CFG_INT, Int(5), true));
  EXPECT_TRUE(cfg.AddParameter("null", Cfg::CFG_STRING, Str(nullptr)));
  EXPECT_EQ(cfg.GetValue("null", 0).strVal, nullptr);
}

TEST(Config, CommandLine) {
  Cfg cfg;
  DeclareAll(cfg);
  EXPECT_TRUE(ParseArgs(cfg, {"-fullscreen", "-width", "800", "-name", "My", "Game", "-sound"}));
  EXPECT_TRUE(cfg.GetValue("fullscreen", 0).boolVal);
  EXPECT_EQ(cfg.GetValue("width", 0).intVal, 800);
  EXPECT_STREQ(cfg.GetValue("name", 0).strVal, "My Game");
  EXPECT_TRUE(cfg.GetValue("sound", 0).boolVal);

  EXPECT_TRUE(ParseArgs(cfg, {"-sound", "no", "-fullscreen", "YES", "-gamma", "2.5", "-color",
                              "#102030", "-date", "2004/10/26"}));
  EXPECT_FALSE(cfg.GetValue("sound", 0).boolVal);
  EXPECT_TRUE(cfg.GetValue("fullscreen", 0).boolVal);
  EXPECT_FLOAT_EQ(cfg.GetValue("gamma", 0).floatVal, 2.5f);
  const Cfg::CfgValue c = cfg.GetValue("color", 0);
  EXPECT_EQ(c.color[0], 0x10);
  EXPECT_EQ(c.color[1], 0x20);
  EXPECT_EQ(c.color[2], 0x30);
  EXPECT_EQ(c.color[3], 255);
  EXPECT_EQ(cfg.GetValue("date", 0).date, LocalDate(2004, 10, 26, 0, 0, 0));

  LogCapture log(qvrtest::kAllLevels);
  EXPECT_FALSE(ParseArgs(cfg, {"-width", "wide", "stray"}));
  EXPECT_EQ(cfg.GetValue("width", 0).intVal, 800);
  EXPECT_FALSE(ParseArgs(cfg, {"-color", "ff0000"}));
  EXPECT_FALSE(ParseArgs(cfg, {"-color", "#12"}));  // does not read: no message
  EXPECT_FALSE(ParseArgs(cfg, {"-height", "5", "-name"}));
  EXPECT_FALSE(ParseArgs(cfg, {"-gamma"}));
  EXPECT_EQ(log.Text(),
            "Config: missing value for param -width\n"
            "Config: ignored value stray\n"
            "Config: missing value for param -color\n"
            "Config: ignored value ff0000\n"
            "Config: unknown parameter -height\n"
            "Config: ignored value 5\n"
            "Config: missing value for param -name\n"
            "Config: missing value for param -gamma\n");
  EXPECT_STREQ(cfg.GetValue("name", 0).strVal, "My Game");
}

TEST(Config, FileLines) {
  qvrtest::TempDir dir;
  const std::string path = dir / "game.cfg";
  Cfg cfg;
  DeclareAll(cfg);
  EXPECT_FALSE(cfg.ParseFile((dir / "missing.cfg").c_str()));

  ASSERT_TRUE(qvrtest::WriteAll(path, "width 1024\n# width 5\n\nfullscreen TRUE\n"));
  EXPECT_TRUE(cfg.ParseFile(path.c_str()));
  EXPECT_EQ(cfg.GetValue("width", 0).intVal, 1024);
  EXPECT_TRUE(cfg.GetValue("fullscreen", 0).boolVal);

  ASSERT_TRUE(qvrtest::WriteAll(path, "-width\t \t2048\nfullscreen true \nname   two  words \r\n"));
  EXPECT_TRUE(cfg.ParseFile(path.c_str()));
  EXPECT_EQ(cfg.GetValue("width", 0).intVal, 2048);
  EXPECT_FALSE(cfg.GetValue("fullscreen", 0).boolVal);  // trailing blank: not "true"
  EXPECT_STREQ(cfg.GetValue("name", 0).strVal, "two  words ");

  {
    LogCapture log(qvrtest::kAllLevels);
    ASSERT_TRUE(
        qvrtest::WriteAll(path, "width=1024\nwidth\ngamma x\ncolor red\ndate soon\nwidth ?\n"));
    EXPECT_FALSE(cfg.ParseFile(path.c_str()));  // nothing set
    EXPECT_EQ(log.Text(),
              "Config: unknown parameter width=1024\n"
              "Config: missing value for param width\n"
              "Config: bad float value for param gamma : x\n"
              "Config: bad color value for param color : red\n"
              "Config: bad date value for param date : soon\n"
              "Config: bad int value for param width : ?\n");
    EXPECT_EQ(cfg.GetValue("width", 0).intVal, 2048);
  }

  // A comment-only file sets nothing; a line over 1023 characters ends the
  // reading, one of exactly 1023 does not.
  ASSERT_TRUE(qvrtest::WriteAll(path, "# only a comment\n"));
  EXPECT_FALSE(cfg.ParseFile(path.c_str()));
  const std::string exact = "name " + std::string(1018, 'a');
  ASSERT_TRUE(qvrtest::WriteAll(path, exact + "\nwidth 7\n"));
  EXPECT_TRUE(cfg.ParseFile(path.c_str()));
  EXPECT_EQ(std::strlen(cfg.GetValue("name", 0).strVal), 1018u);
  EXPECT_EQ(cfg.GetValue("width", 0).intVal, 7);
  ASSERT_TRUE(qvrtest::WriteAll(path, "width 8\n" + exact + "b\nwidth 9\n"));
  EXPECT_TRUE(cfg.ParseFile(path.c_str()));
  EXPECT_EQ(cfg.GetValue("width", 0).intVal, 8);
}

TEST(Config, SaveWritesHeaderAndSortedValues) {
  FixedZone zone;
  qvrtest::TempDir dir;
  const std::string path = dir / "out.cfg";
  Cfg cfg;
  cfg.AddParameter("zoom", Cfg::CFG_FLOAT, Float(0.5f));
  cfg.AddParameter("Alpha", Cfg::CFG_FLOAT, Float(1e6f));
  cfg.AddParameter("beta", Cfg::CFG_COLOR, Color(255, 128, 0, 64));
  cfg.AddParameter("day", Cfg::CFG_DATE, Date(LocalDate(2004, 10, 26, 12, 0, 0)));
  cfg.AddParameter("empty", Cfg::CFG_STRING, Str(nullptr));
  cfg.AddParameter("odd", 9, Int(3));
  ASSERT_TRUE(cfg.Save(path.c_str(), "Video"));
  EXPECT_EQ(qvrtest::ReadAll(path),
            "#\n# Video\n# Configuration file\n#\n\n"
            "Alpha\t1e+06\n"
            "beta\t#FF8000\n"
            "day\t2004/10/26 12:00:00\n"
            "empty\t\n"
            "odd\t\n"
            "zoom\t0.5\n");
  ASSERT_TRUE(cfg.Save(path.c_str(), nullptr));
  EXPECT_EQ(qvrtest::ReadAll(path).substr(0, 26), "#\n# Configuration file\n#\n\n");
  EXPECT_FALSE(cfg.Save((dir / "no/such/dir.cfg").c_str(), nullptr));
}

TEST(Config, SaveThenParseFileRoundTrips) {
  FixedZone zone;
  qvrtest::TempDir dir;
  const std::string path = dir / "round.cfg";
  Cfg saved;
  DeclareAll(saved);
  saved.SetValue("fullscreen", Cfg::CFG_BOOL, Bool(true), false);
  saved.SetValue("width", Cfg::CFG_INT, Int(-123456), false);
  saved.SetValue("gamma", Cfg::CFG_FLOAT, Float(3.14159274f), false);  // needs 9 digits
  saved.SetValue("name", Cfg::CFG_STRING, Str("My Game  "), false);
  saved.SetValue("color", Cfg::CFG_COLOR, Color(1, 2, 250, 7), false);
  saved.SetValue("date", Cfg::CFG_DATE, Date(LocalDate(2021, 2, 3, 4, 5, 6)), false);
  ASSERT_TRUE(saved.Save(path.c_str(), "round trip"));

  Cfg loaded;
  DeclareAll(loaded);
  loaded.SetValue("sound", Cfg::CFG_BOOL, Bool(true), false);
  ASSERT_TRUE(loaded.ParseFile(path.c_str()));
  EXPECT_TRUE(loaded.GetValue("fullscreen", 0).boolVal);
  EXPECT_FALSE(loaded.GetValue("sound", 0).boolVal);
  EXPECT_EQ(loaded.GetValue("width", 0).intVal, -123456);
  EXPECT_EQ(loaded.GetValue("gamma", 0).floatVal, 3.14159274f);
  EXPECT_STREQ(loaded.GetValue("name", 0).strVal, "My Game  ");
  const Cfg::CfgValue c = loaded.GetValue("color", 0);
  EXPECT_EQ(c.color[0], 1);
  EXPECT_EQ(c.color[1], 2);
  EXPECT_EQ(c.color[2], 250);
  EXPECT_EQ(c.color[3], 255);  // alpha is not saved
  EXPECT_EQ(loaded.GetValue("date", 0).date, saved.GetValue("date", 0).date);
}

// A summer date in a zone with daylight saving must come back as the same
// moment, not an hour later.
TEST(Config, SummerDatesRoundTripUnderDaylightSaving) {
#if defined(_WIN32)
  // The Windows C runtime takes no rules from TZ and applies its own
  // (American) ones, which also put 14 July in summer time.
  FixedZone zone("CET-1CEST");
#else
  FixedZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
#endif
  qvrtest::TempDir dir;
  const std::string path = dir / "summer.cfg";
  Cfg saved;
  DeclareAll(saved);
  const uint32_t summer = LocalDate(2021, 7, 14, 12, 30, 0);
  const uint32_t winter = LocalDate(2021, 1, 14, 12, 30, 0);
#if defined(_WIN32)
  if (summer - winter == 181u * 86400u) GTEST_SKIP() << "this C runtime gives TZ zones no summer time";
#endif
  EXPECT_EQ(summer - winter, 181u * 86400u - 3600u);  // the zone really has summer time
  saved.SetValue("date", Cfg::CFG_DATE, Date(summer), false);
  ASSERT_TRUE(saved.Save(path.c_str(), "summer"));
  for (int pass = 0; pass < 2; ++pass) {
    Cfg loaded;
    DeclareAll(loaded);
    ASSERT_TRUE(loaded.ParseFile(path.c_str()));
    EXPECT_EQ(loaded.GetValue("date", 0).date, summer);
    ASSERT_TRUE(loaded.Save(path.c_str(), "summer"));
  }
}

TEST(Config, PrintInfo) {
  FixedZone zone;
  Cfg cfg;
  cfg.AddParameter("b", Cfg::CFG_BOOL, Bool(true));
  cfg.AddParameter("c", Cfg::CFG_COLOR, Color(255, 128, 0, 64));
  cfg.AddParameter("d", Cfg::CFG_DATE, Date(3600));
  cfg.AddParameter("f", Cfg::CFG_FLOAT, Float(0.5f));
  cfg.AddParameter("i", Cfg::CFG_INT, Int(-3));
  cfg.AddParameter("s", Cfg::CFG_STRING, Str("text"));
  LogCapture log(qvrtest::kAllLevels);
  cfg.PrintInfo();
  EXPECT_EQ(log.Text(),
            "Configuration (6 parameters):\n"
            "- b (bool): true\n"
            "- c (color): #FF8000 [255, 128, 0, 64]\n"
            "- d (date): Thu Jan  1 02:00:00 1970\n (3600)\n"
            "- f (float): 0.500000\n"
            "- i (int): -3\n"
            "- s (string): text\n");
}
