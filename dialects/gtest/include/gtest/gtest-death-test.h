// Death tests: the statement runs in a child process made by fork, and the
// check passes when the child ends as the predicate wants and its standard
// error contains a match of the regular expression (POSIX extended syntax).
//
// The child puts every signal back to its default action and leaves with
// _exit, so no handler or exit hook of the parent (the run's crash guard,
// the reports) acts in it.
#pragma once
#pragma GCC system_header

#include <string>

#include "gtest/internal/gtest-internal.h"
#include "gtest/internal/gtest-regex.h"

namespace testing {

// An exit status predicate: the child exited normally with this code.
class ExitedWithCode {
 public:
  explicit ExitedWithCode(int exit_code) : exit_code_(exit_code) {}
  bool operator()(int exit_status) const;

 private:
  int exit_code_;
};

// An exit status predicate: the child was killed by this signal.
class KilledBySignal {
 public:
  explicit KilledBySignal(int signum) : signum_(signum) {}
  bool operator()(int exit_status) const;

 private:
  int signum_;
};

namespace internal {

bool ExitedUnsuccessfully(int exit_status);

// One death test: made by the macro, it forks; the child runs the
// statement and ends, the parent waits and judges.
class DeathTest_ {
 public:
  DeathTest_(const char* statement, const char* file, int line);
  ~DeathTest_();
  bool InChild() const noexcept { return child_; }
  // In the child: the statement ran to its end, or threw (both end the child).
  [[noreturn]] void Returned();
  [[noreturn]] void Threw();
  // In the parent: true when the child died as wanted.
  template <class Predicate>
  bool Judge(const Predicate& predicate, const RE& regex) {
    if (!Wait()) return false;
    return Judge_(predicate(status_), regex);
  }
  CheckResult Failure() { return CheckResult(failure_); }

  // Ends the child when the statement leaves its scope without finishing
  // (a return, a goto, a break).
  class ReturnSentinel {
   public:
    explicit ReturnSentinel(DeathTest_* test) : test_(test) {}
    ~ReturnSentinel();
    ReturnSentinel(const ReturnSentinel&) = delete;
    ReturnSentinel& operator=(const ReturnSentinel&) = delete;

   private:
    DeathTest_* test_;
  };

 private:
  bool Wait();
  bool Judge_(bool statusMatches, const RE& regex);
  const char* statement_;
  const char* file_;
  int line_;
  bool child_ = false;
  int pid_ = -1;
  int stderrPipe_ = -1;
  int statusPipe_ = -1;
  int status_ = 0;
  std::string output_;  // the child's standard error
  std::string* failure_ = nullptr;
};

}  // namespace internal
}  // namespace testing

#define GTEST_DEATH_TEST_(statement, predicate, regex, fail)                                         \
  GTEST_AMBIGUOUS_ELSE_BLOCKER_                                                                      \
  if (::testing::internal::DeathTest_ gtest_dt(#statement, __FILE__, __LINE__);                      \
      ::testing::internal::AlwaysTrue()) {                                                           \
    if (gtest_dt.InChild()) {                                                                        \
      try {                                                                                          \
        const ::testing::internal::DeathTest_::ReturnSentinel gtest_sentinel(&gtest_dt);             \
        statement;                                                                                   \
        gtest_dt.Returned();                                                                         \
      } catch (...) {                                                                                \
        gtest_dt.Threw();                                                                            \
      }                                                                                              \
    }                                                                                                \
    if (!gtest_dt.Judge(predicate, regex)) goto GTEST_CONCAT_TOKEN_(gtest_label_death_, __LINE__);  \
  } else                                                                                             \
    GTEST_CONCAT_TOKEN_(gtest_label_death_, __LINE__) : fail(gtest_dt.Failure())

#define EXPECT_EXIT(statement, predicate, regex) \
  GTEST_DEATH_TEST_(statement, predicate, regex, GTEST_NONFATAL_FAILURE_)
#define ASSERT_EXIT(statement, predicate, regex) GTEST_DEATH_TEST_(statement, predicate, regex, GTEST_FATAL_FAILURE_)
#define EXPECT_DEATH(statement, regex) EXPECT_EXIT(statement, ::testing::internal::ExitedUnsuccessfully, regex)
#define ASSERT_DEATH(statement, regex) ASSERT_EXIT(statement, ::testing::internal::ExitedUnsuccessfully, regex)
#define EXPECT_DEATH_IF_SUPPORTED(statement, regex) EXPECT_DEATH(statement, regex)
#define ASSERT_DEATH_IF_SUPPORTED(statement, regex) ASSERT_DEATH(statement, regex)
#define GTEST_UNSUPPORTED_DEATH_TEST(statement, regex, terminator) \
  if (::testing::internal::AlwaysTrue()) {                         \
  } else                                                           \
    terminator
#ifdef NDEBUG
#define EXPECT_DEBUG_DEATH(statement, regex) \
  GTEST_AMBIGUOUS_ELSE_BLOCKER_              \
  if (::testing::internal::AlwaysTrue()) {   \
    statement;                               \
  } else                                     \
    EXPECT_DEATH(statement, regex)
#define ASSERT_DEBUG_DEATH(statement, regex) \
  GTEST_AMBIGUOUS_ELSE_BLOCKER_              \
  if (::testing::internal::AlwaysTrue()) {   \
    statement;                               \
  } else                                     \
    ASSERT_DEATH(statement, regex)
#else
#define EXPECT_DEBUG_DEATH(statement, regex) EXPECT_DEATH(statement, regex)
#define ASSERT_DEBUG_DEATH(statement, regex) ASSERT_DEATH(statement, regex)
#endif
