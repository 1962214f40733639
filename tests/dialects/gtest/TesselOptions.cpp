// A GoogleTest program that takes Tessel's own options: crashes, exits and
// hangs that the variables CRASH, EXIT and HANG switch on, for
// tessel_options.sh.
#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <cstdlib>

namespace {
int gHandled = 0;
void Handler(int) { ++gHandled; }
}  // namespace

TEST(Options, Passes) { EXPECT_EQ(1, 1); }
TEST(Options, TwoExpectations) {
  EXPECT_EQ(1, 2) << "the first expectation";
  EXPECT_TRUE(false) << "the second expectation";
}
TEST(Options, Crashes) {
  if (std::getenv("CRASH")) {
    volatile int* p = nullptr;
    *p = 1;
  }
}
TEST(Options, Exits) {
  if (std::getenv("EXIT")) std::exit(3);
}
TEST(Options, Hangs) {
  if (std::getenv("HANG")) ::sleep(60);
}
TEST(Options, AfterTheOthers) { SUCCEED(); }
TEST(Options, Skips) { GTEST_SKIP() << "not here"; }

// A death test's child starts from the default signal actions, so a
// handler the test installed does not catch the signal there; the
// statement's signal ends the child.
TEST(Death, HandlersDoNotReachTheChild) {
  std::signal(SIGUSR1, Handler);
  EXPECT_EXIT(std::raise(SIGUSR1), testing::KilledBySignal(SIGUSR1), "");
  std::signal(SIGUSR1, SIG_DFL);
  EXPECT_EQ(0, gHandled);
}
TEST(Death, Aborts) { EXPECT_DEATH(std::abort(), ""); }
