// What GoogleTest checks of a program itself: parameterised and typed
// suites that no instantiation gives a test, and regular expressions that do
// not compile; and the program's list of tests as a document.
// GoogleTest's header before GoogleMock's: both bring the regular
// expressions, which must be one class.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Value-parameterised suites: instantiated but without tests, with tests
// but instantiated to nothing, allowed to stay uninstantiated, never
// instantiated, and one as it should be.
class NoTests : public testing::TestWithParam<int> {};
INSTANTIATE_TEST_SUITE_P(Only, NoTests, testing::Values(1));

class ExpandsToNothing : public testing::TestWithParam<int> {};
TEST_P(ExpandsToNothing, Runs) {}
INSTANTIATE_TEST_SUITE_P(Nothing, ExpandsToNothing, testing::ValuesIn(std::vector<int>{}));

class Allowed : public testing::TestWithParam<int> {};
TEST_P(Allowed, Runs) {}
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Allowed);

class Never : public testing::TestWithParam<int> {};
TEST_P(Never, Runs) {}
TEST_P(Never, RunsToo) {}

class Instantiated : public testing::TestWithParam<int> {};
TEST_P(Instantiated, Runs) { EXPECT_GT(GetParam(), 0); }
INSTANTIATE_TEST_SUITE_P(Some, Instantiated, testing::Values(3, 4));

// Typed suites, registered out of name order: two never instantiated, one
// allowed to stay so, one instantiated.
template <typename T>
class Zebra : public testing::Test {};
TYPED_TEST_SUITE_P(Zebra);
TYPED_TEST_P(Zebra, Runs) {}
REGISTER_TYPED_TEST_SUITE_P(Zebra, Runs);

template <typename T>
class Antelope : public testing::Test {};
TYPED_TEST_SUITE_P(Antelope);
TYPED_TEST_P(Antelope, Runs) {}
REGISTER_TYPED_TEST_SUITE_P(Antelope, Runs);

template <typename T>
class Tolerated : public testing::Test {};
TYPED_TEST_SUITE_P(Tolerated);
TYPED_TEST_P(Tolerated, Runs) {}
REGISTER_TYPED_TEST_SUITE_P(Tolerated, Runs);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Tolerated);

template <typename T>
class Used : public testing::Test {};
TYPED_TEST_SUITE_P(Used);
TYPED_TEST_P(Used, Runs) { EXPECT_EQ(TypeParam(), TypeParam()); }
REGISTER_TYPED_TEST_SUITE_P(Used, Runs);
using UsedTypes = testing::Types<int, std::string>;
INSTANTIATE_TYPED_TEST_SUITE_P(My, Used, UsedTypes);

// A pattern that does not compile is a failure of the test that made it,
// which goes on; the pattern then matches nothing.
TEST(Regex, InAMatcher) {
  EXPECT_THAT("abc", testing::ContainsRegex("a(b"));
  EXPECT_THAT("abc", testing::Not(testing::MatchesRegex("[z")));
  EXPECT_EQ(1, 1) << "still running";
}
TEST(Regex, InADeathTest) { EXPECT_DEATH(std::abort(), "a(b"); }
TEST(Regex, ThatCompile) {
  EXPECT_THAT("abc", testing::MatchesRegex("a.c"));
  EXPECT_DEATH(std::abort(), "");
}

TEST(Plain, Works) {}
TEST(Plain, DISABLED_Off) {}
TEST(DISABLED_Gone, Works) {}

}  // namespace
