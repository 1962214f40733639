// Death tests: crashes, exits, signals and regular expressions over the
// child's standard error, built against GoogleTest and against the dialect.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace {

[[noreturn]] void Crash() {
  std::fprintf(stderr, "about to crash\n");
  volatile int* p = nullptr;
  *p = 1;
  std::abort();
}

[[noreturn]] void ExitWith(int code) {
  std::fprintf(stderr, "leaving with %d\n", code);
  std::exit(code);
}

void Survive() { std::fprintf(stderr, "still alive\n"); }

}  // namespace

TEST(Death, Passes) {
  EXPECT_DEATH(Crash(), "about to crash");
  EXPECT_DEATH(std::abort(), "");
  ASSERT_DEATH(Crash(), "about.*crash");
  EXPECT_EXIT(ExitWith(3), testing::ExitedWithCode(3), "leaving with [0-9]");
  EXPECT_EXIT(ExitWith(0), testing::ExitedWithCode(0), "");
  EXPECT_EXIT(std::raise(SIGTERM), testing::KilledBySignal(SIGTERM), "");
  EXPECT_DEATH_IF_SUPPORTED(Crash(), "crash");
}

TEST(Death, Fails) {
  EXPECT_DEATH(Survive(), "alive");
  EXPECT_DEATH(Crash(), "something else");
  EXPECT_EXIT(ExitWith(2), testing::ExitedWithCode(3), "leaving");
  EXPECT_EXIT(ExitWith(1), testing::KilledBySignal(SIGKILL), "");
  EXPECT_DEATH(throw std::runtime_error("thrown"), "");
  ASSERT_DEATH(Survive(), "") << "fatal";
  ADD_FAILURE() << "not reached";
}

TEST(Death, ExitZeroIsNoDeath) { EXPECT_DEATH(ExitWith(0), "leaving"); }

// The parent's state is the parent's: what the child does is not seen.
TEST(Death, ChildChangesStayInTheChild) {
  static int counter = 0;
  EXPECT_DEATH((++counter, Crash()), "crash");
  EXPECT_EQ(0, counter);
}
