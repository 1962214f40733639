// Every assertion family, passing and failing, built against GoogleTest and
// against the dialect: the two programs must print the same failures.
#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

int Twice(int x) { return 2 * x; }
bool IsEven(int n) { return n % 2 == 0; }
bool Between(int lo, int x, int hi) { return lo <= x && x <= hi; }
bool AllPositive(int a, int b, int c, int d, int e) { return a > 0 && b > 0 && c > 0 && d > 0 && e > 0; }

testing::AssertionResult IsOdd(int n) {
  if (n % 2) return testing::AssertionSuccess() << n << " is odd";
  return testing::AssertionFailure() << n << " is even";
}

testing::AssertionResult SumIs(const char* ea, const char* eb, const char* es, int a, int b, int sum) {
  if (a + b == sum) return testing::AssertionSuccess();
  return testing::AssertionFailure() << ea << " + " << eb << " is " << (a + b) << ", not " << es;
}

// Names a framework might give its own members: a test body must reach
// these free functions, not a member of the fixture.
int Check(int x) { return x + 1; }
int Status() { return 7; }
bool Fail(bool b) { return !b; }
std::string Name() { return "free"; }

struct Point {
  int x, y;
  bool operator==(const Point& o) const { return x == o.x && y == o.y; }
};
std::ostream& operator<<(std::ostream& os, const Point& p) { return os << "(" << p.x << ", " << p.y << ")"; }

void AssertsInAHelper(int value) {
  ASSERT_GT(value, 10) << "helper's value";
  ADD_FAILURE() << "never reached: the helper returned at its assertion";
}

}  // namespace

TEST(Boolean, Passes) {
  EXPECT_TRUE(true);
  EXPECT_FALSE(false);
  ASSERT_TRUE(IsOdd(3));
  ASSERT_FALSE(IsOdd(4));
  int* none = nullptr;
  EXPECT_FALSE(none);
}

TEST(Boolean, Fails) {
  bool off = false;
  EXPECT_TRUE(off);
  EXPECT_FALSE(1 == 1) << "streamed " << 42 << ' ' << 2.5;
  EXPECT_TRUE(IsOdd(4));
  EXPECT_FALSE(IsOdd(3));
  ASSERT_TRUE(off) << "fatal";
  ADD_FAILURE() << "not reached";
}

TEST(Comparison, Passes) {
  EXPECT_EQ(2, Twice(1));
  EXPECT_NE(1, Twice(1));
  EXPECT_LT(1, 2);
  EXPECT_LE(2, 2);
  EXPECT_GT(3, 2);
  EXPECT_GE(3, 3);
  ASSERT_EQ(std::string("a"), "a");
  const char* p = nullptr;
  EXPECT_EQ(nullptr, p);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ((Point{1, 2}), (Point{1, 2}));
}

TEST(Comparison, Fails) {
  int a = 1, b = 2;
  EXPECT_EQ(a, b);
  EXPECT_EQ(1, Twice(1));
  EXPECT_NE(a, 1);
  EXPECT_LT(b, a);
  EXPECT_LE(b, a);
  EXPECT_GT(a, b);
  EXPECT_GE(a, b);
  std::string s = "hello";
  EXPECT_EQ(s, "world");
  EXPECT_EQ(std::string("one\ntwo\nthree\nfour\nfive\nsix\nseven"),
            std::string("one\nTWO\nthree\nfour\nfive\nsix\nSEVEN\neight"));
  EXPECT_EQ(true, false);
  EXPECT_EQ(1.5, 2.5);
  EXPECT_EQ('a', 'b');
  std::vector<int> v{1, 2}, w{1, 3};
  EXPECT_EQ(v, w);
  std::map<std::string, int> m1{{"x", 1}}, m2{{"x", 2}};
  EXPECT_EQ(m1, m2);
  EXPECT_EQ((Point{1, 2}), (Point{2, 1}));
  unsigned u = 3;
  EXPECT_EQ(u, 4u);
  long long big = 1LL << 40;
  EXPECT_EQ(big, 0);
  ASSERT_NE(b, 2) << "fatal comparison";
  ADD_FAILURE() << "not reached";
}

TEST(CString, Passes) {
  const char* x = "abc";
  const char* none = nullptr;
  EXPECT_STREQ(x, "abc");
  EXPECT_STREQ(none, nullptr);
  EXPECT_STRNE(x, "abd");
  EXPECT_STRNE(none, "abd");
  EXPECT_STRCASEEQ(x, "ABC");
  EXPECT_STRCASENE(x, "ABD");
  EXPECT_STREQ(L"wide", L"wide");
}

TEST(CString, Fails) {
  const char* x = "abc";
  const char* none = nullptr;
  EXPECT_STREQ(x, "abd");
  EXPECT_STREQ(none, "abd");
  EXPECT_STREQ("abd", none);
  EXPECT_STRNE(x, "abc");
  EXPECT_STRNE(none, none);
  EXPECT_STRCASEEQ(x, "ABD");
  EXPECT_STRCASENE(x, "ABC");
  EXPECT_STREQ(L"ab", L"ac");
  EXPECT_STRNE(L"ab", L"ab");
  ASSERT_STREQ("a\"quote", "b\\slash");
}

TEST(FloatingPoint, Passes) {
  EXPECT_FLOAT_EQ(1.0f, 1.0f + 1e-7f);
  EXPECT_DOUBLE_EQ(0.1 + 0.2, 0.3);
  EXPECT_NEAR(1.0, 1.05, 0.1);
  EXPECT_PRED_FORMAT2(testing::FloatLE, 1.0f, 2.0f);
  EXPECT_PRED_FORMAT2(testing::DoubleLE, 2.0, 2.0);
  EXPECT_DOUBLE_EQ(-0.0, 0.0);
}

TEST(FloatingPoint, Fails) {
  EXPECT_FLOAT_EQ(1.0f, 1.1f);
  EXPECT_DOUBLE_EQ(1.0, 1.1);
  EXPECT_DOUBLE_EQ(1.0, 1.0 + 5e-16);
  double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_DOUBLE_EQ(nan, nan);
  EXPECT_NEAR(1.0, 1.5, 0.1);
  EXPECT_NEAR(1e20, 1.0000001e20, 1.0);
  EXPECT_PRED_FORMAT2(testing::FloatLE, 2.0f, 1.0f);
  EXPECT_PRED_FORMAT2(testing::DoubleLE, 2.0, 1.0);
  ASSERT_DOUBLE_EQ(2.0, 3.0);
}

TEST(Exceptions, Passes) {
  EXPECT_THROW(throw std::runtime_error("x"), std::runtime_error);
  EXPECT_THROW(throw std::runtime_error("x"), std::exception);
  EXPECT_ANY_THROW(throw 1);
  EXPECT_NO_THROW(Twice(1));
  ASSERT_THROW(throw std::logic_error("y"), std::logic_error);
}

TEST(Exceptions, Fails) {
  EXPECT_THROW(Twice(1), std::runtime_error);
  EXPECT_THROW(throw std::logic_error("lx"), std::runtime_error);
  EXPECT_THROW(throw 5, std::runtime_error);
  EXPECT_THROW(throw 5, std::exception);
  EXPECT_NO_THROW(throw std::runtime_error("rx"));
  EXPECT_NO_THROW(throw 5);
  EXPECT_ANY_THROW(Twice(2));
  ASSERT_NO_THROW(throw std::out_of_range("fatal"));
}

TEST(Predicates, Passes) {
  EXPECT_PRED1(IsEven, 2);
  EXPECT_PRED3(Between, 1, 2, 3);
  EXPECT_PRED5(AllPositive, 1, 2, 3, 4, 5);
  EXPECT_PRED_FORMAT3(SumIs, 1, 2, 3);
  ASSERT_PRED2([](int x, int y) { return x < y; }, 1, 2);
}

TEST(Predicates, Fails) {
  int n = 3;
  EXPECT_PRED1(IsEven, n);
  EXPECT_PRED3(Between, 1, n * 2, 5);
  EXPECT_PRED5(AllPositive, 1, 2, -3, 4, 5);
  EXPECT_PRED_FORMAT3(SumIs, 1, 2, n + 1);
  ASSERT_PRED1(IsEven, n + 2) << "fatal predicate";
}

TEST(Explicit, Fails) {
  ADD_FAILURE() << "added";
  ADD_FAILURE_AT("some/file.cc", 77) << "at";
  SUCCEED() << "succeeded, and no failure";
  FAIL() << "fatal";
}

TEST(Explicit, FailWithoutMessage) { FAIL(); }

TEST(Explicit, Succeeds) { SUCCEED(); }

// Failures in the order they happened, each with its own line.
TEST(Accumulation, EveryFailureIsReported) {
  for (int i = 0; i < 3; ++i) EXPECT_EQ(i, 10) << "round " << i;
  EXPECT_TRUE(false);
}

TEST(Traces, Nest) {
  SCOPED_TRACE("outer");
  EXPECT_EQ(1, 2);
  {
    SCOPED_TRACE(42);
    {
      SCOPED_TRACE(std::string("innermost"));
      EXPECT_EQ(3, 4);
    }
    ADD_FAILURE() << "two traces";
  }
  ADD_FAILURE() << "one trace";
}

TEST(Helpers, AssertReturnsToTheCaller) {
  AssertsInAHelper(3);
  EXPECT_TRUE(HasFatalFailure());
  EXPECT_FALSE(HasNonfatalFailure());
  ADD_FAILURE() << "the test goes on after the helper";
  EXPECT_TRUE(HasNonfatalFailure());
}

TEST(Helpers, FreeFunctionsKeepTheirNames) {
  EXPECT_EQ(2, Check(1));
  EXPECT_EQ(7, Status());
  EXPECT_TRUE(Fail(false));
  EXPECT_EQ("free", Name());
}

TEST(Unexpected, Throws) { throw std::runtime_error("boom"); }
TEST(Unexpected, ThrowsSomethingElse) { throw 3; }
