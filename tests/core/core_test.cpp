// Version, log levels and targets, the random generator, angle helpers and
// rectangle set operations.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <thread>

#include "common/tmpdir.h"
#include "qvr3d/core.h"

using qvrtest::ReadAll;
using qvrtest::TempDir;

namespace {

// Restores the default log state after each test.
class LogTest : public ::testing::Test {
 protected:
  void TearDown() override {
    QVR::CloseLog();
    QVR::SetLogTarget(0, nullptr);
    QVR::SetLogLevel(100);
  }
};

// Captures what the log writes to standard output while a function runs.
template <typename F>
std::string CaptureStdout(F&& f) {
  testing::internal::CaptureStdout();
  f();
  return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(Version, AllForms) {
  const QVRVersion* v = QVR::Versionv();
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->major, 0);
  EXPECT_EQ(v->minor, 20);
  EXPECT_EQ(v->patch, 0);
  EXPECT_EQ(QVR::Versioni(), 2000);
  EXPECT_STREQ(QVR::Versiont(), "0.20.0");
}

TEST_F(LogTest, LevelsFilterMessages) {
  EXPECT_EQ(QVR::GetLogLevel(), 100u);
  std::string out = CaptureStdout([] {
    QVR::ERR("e%d\n", 1);
    QVR::WARN("w\n");
    QVR::LOG("l\n");
    QVR::DBG("d\n");
    QVR::LOGL(0, "never\n");
    QVR::LOGL(100, "at100\n");
    QVR::LOGL(101, "at101\n");
    QVR::LOG(nullptr);
  });
  EXPECT_EQ(out, "e1\nw\nl\nat100\n");

  QVR::SetLogLevel(1000);
  EXPECT_EQ(QVR::GetLogLevel(), 255u);
  EXPECT_EQ(CaptureStdout([] { QVR::DBG("d\n"); }), "d\n");

  QVR::SetLogLevel(0);
  EXPECT_EQ(CaptureStdout([] {
              QVR::ERR("e\n");
              QVR::LOGL(1, "x\n");
            }),
            "");
}

TEST_F(LogTest, FileTargetIsEmptiedAndReopened) {
  TempDir dir;
  const std::string first = dir / "first.log";
  const std::string second = dir / "second.log";

  ASSERT_TRUE(QVR::SetLogTarget(2, first.c_str()));
  EXPECT_EQ(QVR::GetLogTarget(), 2u);
  QVR::LOG("one %s\n", "line");
  // Flushed per message: complete on disk before the file is closed.
  EXPECT_EQ(ReadAll(first), "one line\n");

  // Switching to another file closes the first one.
  ASSERT_TRUE(QVR::SetLogTarget(2, second.c_str()));
  QVR::LOG("two\n");
  EXPECT_EQ(ReadAll(first), "one line\n");
  EXPECT_EQ(ReadAll(second), "two\n");

  // The same name again empties that file.
  ASSERT_TRUE(QVR::SetLogTarget(2, second.c_str()));
  EXPECT_EQ(ReadAll(second), "");
  QVR::LOG("three\n");

  QVR::CloseLog();
  EXPECT_EQ(QVR::GetLogTarget(), 0u);
  EXPECT_EQ(ReadAll(second), "three\n");
  EXPECT_EQ(CaptureStdout([] { QVR::LOG("back\n"); }), "back\n");
}

TEST_F(LogTest, FallbackToStandardOutput) {
  EXPECT_FALSE(QVR::SetLogTarget(2, nullptr));
  EXPECT_EQ(QVR::GetLogTarget(), 0u);

  TempDir dir;
  const std::string bad = dir / "missing/dir/x.log";
  EXPECT_FALSE(QVR::SetLogTarget(2, bad.c_str()));
  EXPECT_EQ(QVR::GetLogTarget(), 0u);
  EXPECT_EQ(CaptureStdout([] { QVR::LOG("still here\n"); }), "still here\n");

  EXPECT_TRUE(QVR::SetLogTarget(7, nullptr));
  EXPECT_EQ(QVR::GetLogTarget(), 0u);
  EXPECT_EQ(CaptureStdout([] { QVR::WARN("seven\n"); }), "seven\n");
}

TEST_F(LogTest, StandardErrorTarget) {
  EXPECT_TRUE(QVR::SetLogTarget(1, nullptr));
  EXPECT_EQ(QVR::GetLogTarget(), 1u);
  testing::internal::CaptureStderr();
  QVR::ERR("to stderr\n");
  QVR::CloseLog();  // does nothing for target 1
  QVR::ERR("still stderr\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "to stderr\nstill stderr\n");
  EXPECT_EQ(QVR::GetLogTarget(), 1u);
}

TEST(Random, KnownSequenceAndScaling) {
  QVR::RandomInit(1);
  EXPECT_EQ(QVR::Randomi(), 16838u);
  EXPECT_EQ(QVR::Randomi(), 5758u);
  EXPECT_EQ(QVR::Randomi(), 10113u);

  QVR::RandomInit(1);
  EXPECT_EQ(QVR::Randomi(0), 0u);
  for (int i = 0; i < 1000; ++i) {
    EXPECT_EQ(QVR::Randomi(1), 0u);
    unsigned r = QVR::Randomi(6);
    EXPECT_LT(r, 6u);
    float f = QVR::Randomf();
    EXPECT_GE(f, 0.0f);
    EXPECT_LE(f, 32767.0f / 32768.0f);
  }
  // floor(r * n / 32768) in 64 bits: the largest n never overflows.
  QVR::RandomInit(1);
  EXPECT_EQ(QVR::Randomi(0xFFFFFFFFu), static_cast<unsigned>((16838ull * 0xFFFFFFFFull) >> 15));
  QVR::RandomInit(1);
  EXPECT_FLOAT_EQ(QVR::Randomf(2.0f), 16838.0f / 32768.0f * 2.0f);
}

TEST(Random, StateIsPerThread) {
  QVR::RandomInit(1);
  unsigned other = 0;
  std::thread t([&] {
    QVR::RandomInit(99);
    other = QVR::Randomi();
  });
  t.join();
  EXPECT_EQ(QVR::Randomi(), 16838u);
  EXPECT_NE(other, 16838u);
}

TEST(Numeric, FloatsAndAngles) {
  EXPECT_FALSE(QVR::Equalf(1.0f, 1.5f, 0.5f));
  EXPECT_TRUE(QVR::Equalf(1.0f, 1.4f, 0.5f));
  EXPECT_TRUE(QVR::Equald(1.0, 1.0, 1e-9));
  EXPECT_FALSE(QVR::Equald(1.0, 1.0, 0.0));

  EXPECT_FLOAT_EQ(QVR::Angle2PI(-30), 330);
  EXPECT_FLOAT_EQ(QVR::Angle2PI(720), 360);
  EXPECT_FLOAT_EQ(QVR::Angle2PI(360), 360);
  EXPECT_FLOAT_EQ(QVR::Angle2PI(0), 0);
  float huge = QVR::Angle2PI(1e30f);  // must terminate and land in range
  EXPECT_GE(huge, 0.0f);
  EXPECT_LE(huge, 360.0f);

  EXPECT_FLOAT_EQ(QVR::VectorAngle(0, 0, 0, 5), 90);
  EXPECT_FLOAT_EQ(QVR::VectorAngle(0, 0, 0, -5), 270);
  EXPECT_FLOAT_EQ(QVR::VectorAngle(0, 0, -3, 0), 180);
  EXPECT_FLOAT_EQ(QVR::VectorAngle(0, 0, 1, 1), 45);
  EXPECT_FLOAT_EQ(QVR::VectorAngle(0, 0, -1, 1), 135);
  EXPECT_FLOAT_EQ(QVR::VectorAngle(0, 0, -1, -1), 225);
  EXPECT_FLOAT_EQ(QVR::VectorAngle(0, 0, 1, -1), 315);

  EXPECT_FLOAT_EQ(QVR::AngleDiff(350, 10), 20);
  EXPECT_FLOAT_EQ(QVR::AngleDiff(10, 350), -20);
  EXPECT_FLOAT_EQ(QVR::AngleDiff(0, 180), 180);
}

TEST(Rect, OverlapUnionAndOutput) {
  QVRRect a{0, 0, 10, 10};
  QVRRect b{10, 0, 10, 10};
  EXPECT_FALSE(a.IsIntersect(b));  // touching only
  QVRRect i = a.Intersection(b);
  EXPECT_EQ(i.x, 10);
  EXPECT_EQ(i.y, 0);
  EXPECT_EQ(i.w, 0);
  EXPECT_EQ(i.h, 10);

  QVRRect c{5, -5, 10, 10};
  EXPECT_TRUE(a.IsIntersect(c));
  QVRRect ac = a.Intersection(c);
  EXPECT_EQ(ac.x, 5);
  EXPECT_EQ(ac.y, 0);
  EXPECT_EQ(ac.w, 5);
  EXPECT_EQ(ac.h, 5);
  QVRRect u = a.Union(c);
  EXPECT_EQ(u.x, 0);
  EXPECT_EQ(u.y, -5);
  EXPECT_EQ(u.w, 15);
  EXPECT_EQ(u.h, 15);

  QVRRect empty{3, 3, 0, 0};
  EXPECT_FALSE(a.IsIntersect(empty));
  QVRRect far{100, 100, 5, 5};
  a.Intersect(far);  // disjoint: position of the overlap, size 0
  EXPECT_EQ(a.x, 100);
  EXPECT_EQ(a.w, 0);
  EXPECT_EQ(a.h, 0);

  std::ostringstream os;
  os << QVRRect{10, 20, 640, 480} << "|" << QVRPoint{3, -4} << "|" << QVRVec3{1.5f, -2.0f, 0.25f};
  EXPECT_EQ(os.str(), "(10, 20) 640 x 480|(3, -4)|(1.5, -2, 0.25)");
}
