// The matchers of the GoogleTest dialect: their texts next to GoogleMock's,
// and the behaviour texts do not show.
#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gmock/gmock-matchers.h>

#include "ComparedRecords.h"
#include "framework/TestFramework.h"

using namespace TestFramework;
using ComparedRecords::TDifference;
using testing::AssertionResult;
using testing::Matcher;

namespace {

// The assertion macros belong to the dialect's gtest.h. These stand-ins
// record what EXPECT_THAT and ASSERT_THAT hand them, and return as
// ASSERT_ does, so that the two macros are tested for their own part.
std::vector<std::string> gAssertions;
bool RecordAssertion(const AssertionResult& result, const char* kind) {
  gAssertions.push_back(std::string(kind) + (result ? " passed" : " failed: " + std::string(result.message())));
  return static_cast<bool>(result);
}
#define EXPECT_PRED_FORMAT1(formatter, v1) RecordAssertion((formatter)(#v1, v1), "expect")
#define ASSERT_PRED_FORMAT1(formatter, v1) \
  if (!RecordAssertion((formatter)(#v1, v1), "assert")) return

void AssertsThenGoesOn(const std::vector<int>& values) {
  EXPECT_THAT(values.size(), 2u);
  ASSERT_THAT(values, testing::Contains(7));
  gAssertions.push_back("went on");
}

// Counts the implementations alive, to see each freed exactly once.
int gAlive = 0;
class Counted : public testing::MatcherInterface<int> {
 public:
  Counted() { ++gAlive; }
  Counted(const Counted& other) : testing::MatcherInterface<int>(other) { ++gAlive; }
  ~Counted() override { --gAlive; }
  bool MatchAndExplain(int n, testing::MatchResultListener*) const override { return n > 0; }
  void DescribeTo(std::ostream* os) const override { *os << "is counted"; }
};

class UniqueIsThree : public testing::MatcherInterface<const std::unique_ptr<int>&> {
 public:
  bool MatchAndExplain(const std::unique_ptr<int>& p, testing::MatchResultListener* listener) const override {
    *listener << "which holds " << (p ? *p : 0);
    return p != nullptr && *p == 3;
  }
  void DescribeTo(std::ostream* os) const override { *os << "holds 3"; }
};

std::string gInvalidRegex;
void RecordInvalidRegex(const std::string& message) { gInvalidRegex = message; }

template <typename T, typename M>
std::string FailureOf(const T& value, const M& matcher) {
  return testing::internal::MakePredicateFormatterFromMatcher(matcher)("value", value).message();
}

class TGTestMatcherTests : public TTestCase {
  TESSEL_TESTCASE(TGTestMatcherTests, TTestCase)
 public:
  void CompareSection(const std::string& name, const std::vector<TDifference>& differences = {}) {
    CheckEquals(std::string(), ComparedRecords::Mismatches(name, differences), "texts of " + name);
  }

  TESSEL_TEST(TestComparisonMatchersAsGoogleMock) { CompareSection("comparison matchers"); }
  TESSEL_TEST(TestPointerMatchersAsGoogleMock) { CompareSection("pointer matchers"); }
  TESSEL_TEST(TestTextMatchersAsGoogleMock) { CompareSection("text matchers"); }
  TESSEL_TEST(TestRegularExpressionMatchersAsGoogleMock) { CompareSection("regular-expression matchers"); }
  TESSEL_TEST(TestFloatingPointMatchersAsGoogleMock) { CompareSection("floating-point matchers"); }
  TESSEL_TEST(TestContainerMatchersAsGoogleMock) { CompareSection("container matchers"); }
  TESSEL_TEST(TestUnorderedMatchersAsGoogleMock) { CompareSection("unordered matchers"); }
  TESSEL_TEST(TestCompositeMatchersAsGoogleMock) { CompareSection("composite matchers"); }
  TESSEL_TEST(TestMemberMatchersAsGoogleMock) { CompareSection("member matchers"); }
  TESSEL_TEST(TestUserMatchersAsGoogleMock) { CompareSection("user matchers"); }

  TESSEL_TEST(TestThatMacrosHandOverTheValueText) {
    gAssertions.clear();
    AssertsThenGoesOn({7, 8});
    AssertsThenGoesOn({1});
    const std::vector<std::string> expected = {
        "expect passed",
        "assert passed",
        "went on",
        "expect failed: Value of: values.size()\nExpected: is equal to 2\n  Actual: 1 (of type unsigned long)",
        "assert failed: Value of: values\nExpected: contains at least one element that is equal to 7\n  Actual: { 1 }",
    };
    CheckEquals(static_cast<int>(expected.size()), static_cast<int>(gAssertions.size()), "assertions");
    for (size_t i = 0; i < expected.size() && i < gAssertions.size(); ++i) CheckEquals(expected[i], gAssertions[i]);
  }

  TESSEL_TEST(TestDoubleNegationIsTheMatcher) {
    const Matcher<int> twice = testing::Not(testing::Not(testing::Gt(2)));
    CheckTrue(twice.Matches(3));
    CheckFalse(twice.Matches(2));
    CheckEquals(std::string("is > 2"), testing::DescribeMatcher<int>(twice));
    CheckEquals(std::string("isn't > 2"), testing::DescribeMatcher<int>(twice, true));
  }

  // Copies share one implementation, freed with the last of them; an
  // implementation copied by its author starts with no handles of its own.
  TESSEL_TEST(TestImplementationsFreedOnce) {
    {
      Matcher<int> first = testing::MakeMatcher(new Counted);
      std::vector<Matcher<int>> copies(5, first);
      Matcher<const int&> widened = testing::MatcherCast<const int&>(first);
      Matcher<long> cast = testing::MatcherCast<long>(first);
      const Matcher<int> negated = testing::Not(first);
      first = testing::MakeMatcher(new Counted);
      CheckEquals(2, gAlive, "alive while held");
      CheckTrue(widened.Matches(1) && cast.Matches(2L) && negated.Matches(-1) && copies[4].Matches(1));
      Counted original;
      Matcher<int> from_copy(new Counted(original));
      CheckEquals(4, gAlive, "with the copied implementation");
    }
    CheckEquals(0, gAlive, "alive after the last handle");
  }

  TESSEL_TEST(TestMoveOnlyValues) {
    const std::unique_ptr<int> three = std::make_unique<int>(3);
    const std::unique_ptr<int> none;
    CheckEquals(std::string(), FailureOf(three, testing::Pointee(3)));
    CheckEquals(std::string(), FailureOf(three, testing::NotNull()));
    CheckEquals(std::string("Value of: value\nExpected: holds 3\n  Actual: (nullptr), which holds 0"),
                FailureOf(none, testing::MakeMatcher(new UniqueIsThree)));
    std::vector<std::unique_ptr<int>> values;
    values.push_back(std::make_unique<int>(2));
    values.push_back(std::make_unique<int>(1));
    CheckEquals(std::string(), FailureOf(values, testing::UnorderedElementsAre(testing::Pointee(1), testing::Pointee(2))));
    CheckEquals(std::string(), FailureOf(values, testing::Each(testing::Pointee(testing::Lt(3)))));
    CheckTrue(FailureOf(values, testing::ElementsAre(testing::Pointee(1), testing::Pointee(2))).find(
                  "whose element #0 doesn't match, which points to 2 (of type int)") != std::string::npos);
  }

  // The text a matcher compares with outlives what it was made from.
  TESSEL_TEST(TestTextMatchersKeepTheirText) {
    Matcher<std::string_view> from_view = std::string_view(std::string(40, 'v'));
    Matcher<std::string_view> from_pointer = std::string(40, 'p').c_str();
    Matcher<std::string_view> from_string = std::string(40, 's');
    Matcher<const std::string&> from_text = std::string(40, 't').c_str();
    std::string(200, 'x');  // reuses what the temporaries held
    CheckTrue(from_view.Matches(std::string(40, 'v')), "from a view");
    CheckTrue(from_pointer.Matches(std::string(40, 'p')), "from a C string");
    CheckTrue(from_string.Matches(std::string(40, 's')), "from a string");
    CheckTrue(from_text.Matches(std::string(40, 't')), "string from a C string");
    CheckEquals(std::string("is equal to \"ss\""), testing::DescribeMatcher<std::string_view>(
                                                      Matcher<std::string_view>(std::string("ss"))));
  }

  // A pattern that does not compile is reported, and matches nothing.
  TESSEL_TEST(TestInvalidRegexReported) {
    testing::internal::SetInvalidRegexReporter(RecordInvalidRegex);
    gInvalidRegex.clear();
    const Matcher<const std::string&> contains = testing::ContainsRegex("(a|b");
    const std::string reported = gInvalidRegex;
    const Matcher<const std::string&> matches = testing::MatchesRegex("[z");
    testing::internal::SetInvalidRegexReporter(nullptr);
    CheckEquals(std::string("Regular expression \"(a|b\" is not a valid POSIX Extended regular expression."),
                reported);
    CheckEquals(std::string("Regular expression \"[z\" is not a valid POSIX Extended regular expression."),
                gInvalidRegex);
    CheckFalse(contains.Matches("(a|b"), "contains");
    CheckFalse(matches.Matches("[z"), "matches");
    const testing::internal::RE copied = testing::internal::RE("x+");
    CheckTrue(testing::internal::RE::FullMatch("xx", copied) && !testing::internal::RE::FullMatch("xy", copied));
  }

  TESSEL_TEST(TestMatchesAsPredicate) {
    const std::vector<int> values = {1, 5, 7, 9};
    CheckEquals(2, static_cast<int>(std::count_if(values.begin(), values.end(),
                                                  testing::Matches(testing::AllOf(testing::Gt(4), testing::Lt(9))))));
    CheckTrue(testing::Value(values, testing::Contains(9)) && !testing::Value(values, testing::IsEmpty()));
  }
};

TESSEL_REGISTER("Dialects.GTest.Matchers", TGTestMatcherTests);

}  // namespace
