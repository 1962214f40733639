// The matchers' half of ComparedTexts: for each matcher and value, its
// description, its negation, the EXPECT_THAT failure text and the
// explanation ExplainMatchResult gives.
#include <gmock/gmock-matchers.h>
#include <gmock/gmock-more-matchers.h>

#if defined(TESSEL_DIALECT) && defined(GOOGLEMOCK_INCLUDE_GMOCK_GMOCK_MATCHERS_H_)
#error "the dialect's build reached GoogleMock's own headers"
#endif

#include <cmath>
#include <cstdio>
#include <forward_list>
#include <limits>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ComparedTexts.h"

using namespace testing;

namespace {

void Record(const std::string& key, const std::string& text) {
  std::printf("@@ %s\n", key.c_str());
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::printf("\n");
}

template <typename T, typename M>
void Show(const char* name, const T& value, const M& matcher) {
  std::string text = "D: " + DescribeMatcher<const T&>(matcher) + "\nN: " + DescribeMatcher<const T&>(matcher, true);
  const AssertionResult result = internal::MakePredicateFormatterFromMatcher(matcher)("value", value);
  text += std::string("\nR: ") + (result ? "passes" : "fails\n" + std::string(result.message()));
  StringMatchResultListener listener;
  const bool matched = ExplainMatchResult(matcher, value, &listener);
  text += std::string("\nE: ") + (matched ? "matches" : "does not match") + " [" + listener.str() + "]";
  Record(name, text);
}

#define SHOW(value, ...) Show(#__VA_ARGS__ " on " #value, value, __VA_ARGS__)

class DivisibleBy7 : public MatcherInterface<int> {
 public:
  bool MatchAndExplain(int n, MatchResultListener* listener) const override {
    *listener << "the remainder is " << n % 7;
    return n % 7 == 0;
  }
  void DescribeTo(std::ostream* os) const override { *os << "is divisible by 7"; }
};
Matcher<int> Div7() { return MakeMatcher(new DivisibleBy7); }

class IsZero : public MatcherInterface<int> {
 public:
  bool MatchAndExplain(int n, MatchResultListener*) const override { return n == 0; }
  void DescribeTo(std::ostream* os) const override { *os << "is zero"; }
  void DescribeNegationTo(std::ostream* os) const override { *os << "isn't zero"; }
};
Matcher<int> Zero() { return MakeMatcher(new IsZero); }

// Refuses the first value it is shown and takes every later one.
class ChangesItsMind : public MatcherInterface<int> {
 public:
  bool MatchAndExplain(int, MatchResultListener*) const override { return calls_++ > 0; }
  void DescribeTo(std::ostream* os) const override { *os << "changes its mind"; }

 private:
  mutable int calls_ = 0;
};

struct HasTwoImpl {
  template <typename T>
  bool MatchAndExplain(const T& c, MatchResultListener* listener) const {
    *listener << "whose size is " << c.size();
    return c.size() == 2;
  }
  void DescribeTo(std::ostream* os) const { *os << "has two elements"; }
  void DescribeNegationTo(std::ostream* os) const { *os << "hasn't two elements"; }
};

struct IsOdd {
  using is_gtest_matcher = void;
  bool MatchAndExplain(int n, std::ostream* why) const {
    if (why != nullptr) *why << "the last bit is " << (n & 1);
    return (n & 1) != 0;
  }
  void DescribeTo(std::ostream* os) const { *os << "is odd"; }
  void DescribeNegationTo(std::ostream* os) const { *os << "is even"; }
};

void Comparisons() {
  SHOW(3, Eq(3));
  SHOW(3, Eq(4));
  SHOW(3, Ne(3));
  SHOW(3, Lt(2));
  SHOW(3, Le(2));
  SHOW(3, Gt(4));
  SHOW(3, Ge(4));
  SHOW(3, _);
  SHOW(3, A<int>());
  SHOW(3L, Eq(4));
  SHOW(3u, Eq(4u));
  SHOW(-1, Eq(4u));
  SHOW('a', Eq('b'));
  SHOW(2, Lt(1.5));
  SHOW(0.5, Gt(0.75));
  SHOW(3, 4);
  SHOW(3, Matcher<int>(4));
  SHOW(std::string("abc"), Eq("abd"));
  SHOW(std::string("abc"), Ne(std::string("abc")));
  SHOW(std::string("abc"), Matcher<const std::string&>("abd"));
  SHOW(std::string_view("abc"), Matcher<std::string_view>("abd"));
  SHOW(std::string("abc"), "abd");
  const char* text = "abc";
  SHOW(text, Eq(std::string("abd")));
  SHOW(std::vector<int>({1, 2}), Eq(std::vector<int>({1, 3})));
  SHOW(Compared::Streamed{1}.v, Ge(Compared::Streamed{2}.v));
}

void Pointers() {
  int three = 3;
  int* to_three = &three;
  int* no_int = nullptr;
  const char* no_text = nullptr;
  SHOW(to_three, IsNull());
  SHOW(no_int, IsNull());
  SHOW(no_int, NotNull());
  SHOW(no_text, IsNull());
  SHOW(std::unique_ptr<int>(), IsNull());
  SHOW(std::shared_ptr<int>(), NotNull());
  SHOW(to_three, Pointee(4));
  SHOW(to_three, Pointee(3));
  SHOW(no_int, Pointee(4));
  SHOW(to_three, Pointee(Div7()));
  SHOW(&to_three, Pointee(Pointee(Gt(3))));
  SHOW(std::make_shared<int>(3), Pointee(Gt(4)));
  SHOW(std::unique_ptr<int>(), Pointee(4));
  SHOW(std::make_shared<std::string>("abc"), Pointee(StartsWith("b")));
}

void Texts() {
  const std::string abc = "abc";
  const char* text = "abc";
  const char* no_text = nullptr;
  SHOW(abc, HasSubstr("x"));
  SHOW(abc, HasSubstr("b"));
  SHOW(abc, StartsWith("b"));
  SHOW(abc, StartsWith(std::string("ab")));
  SHOW(abc, EndsWith("b"));
  SHOW(std::string_view("abc"), EndsWith("bc"));
  SHOW(abc, StrEq("abd"));
  SHOW(abc, StrNe("abc"));
  SHOW(abc, StrCaseEq("ABD"));
  SHOW(abc, StrCaseEq("ABC"));
  SHOW(abc, StrCaseNe("ABC"));
  SHOW(text, HasSubstr("x"));
  SHOW(text, StrEq("abd"));
  SHOW(text, StrCaseEq("ABC"));
  SHOW(no_text, StrEq("x"));
  SHOW(no_text, StrNe("x"));
  SHOW(no_text, HasSubstr("x"));
  SHOW(no_text, StartsWith("a"));
  SHOW(std::string("a\nb"), HasSubstr("\t"));
  SHOW(std::string("a\0b", 3), StrEq(std::string("a\0c", 3)));
  SHOW(std::string("a\0b", 3), HasSubstr(std::string("\0b", 2)));
  SHOW(std::string("ab"), StartsWith("abc"));
  SHOW(std::string("ab"), EndsWith("xab"));
  SHOW(std::wstring(L"abc"), HasSubstr(L"x"));
  SHOW(std::wstring(L"abc"), StrCaseEq(L"ABC"));
  SHOW(std::wstring(L"abc"), StrEq(L"abd"));
  SHOW(std::string("caf\xc3\xa9"), StrEq("cafe"));
}

void RegularExpressions() {
  const std::string hello = "Hello World";
  const char* no_text = nullptr;
  SHOW(hello, ContainsRegex("^W"));
  SHOW(hello, ContainsRegex("W.r"));
  SHOW(hello, MatchesRegex("Hello.*"));
  SHOW(hello, MatchesRegex("World"));
  SHOW(std::string("ab\ncd"), MatchesRegex("ab.cd"));
  SHOW(std::string("aXb"), ContainsRegex("a|x"));
  SHOW(std::string("x"), MatchesRegex("x|y"));
  SHOW(std::string("xy"), MatchesRegex("x|y"));
  SHOW(std::string("abc"), ContainsRegex("\\w+"));
  SHOW(std::string("a1"), ContainsRegex("\\d"));
  SHOW(std::string("a1"), ContainsRegex("[[:digit:]]"));
  SHOW(std::string("a{2}"), MatchesRegex("a{2}"));
  SHOW(std::string("aa"), MatchesRegex("a{2}"));
  SHOW(std::string(""), MatchesRegex(""));
  SHOW(std::string("x"), ContainsRegex(""));
  SHOW(std::string_view("abc"), MatchesRegex("a.c"));
  SHOW(no_text, MatchesRegex("x"));
  SHOW("literal", ContainsRegex("ter"));
}

void FloatingPoint() {
  const double nan = std::nan("");
  const double inf = std::numeric_limits<double>::infinity();
  SHOW(1.0, DoubleEq(1.1));
  SHOW(1.0f, FloatEq(1.1f));
  SHOW(1.0, DoubleNear(1.5, 0.1));
  SHOW(1.0, DoubleNear(1.05, 0.1));
  SHOW(nan, DoubleEq(nan));
  SHOW(nan, NanSensitiveDoubleEq(nan));
  SHOW(2.0, NanSensitiveDoubleEq(nan));
  SHOW(nan, DoubleNear(1.0, 0.5));
  SHOW(nan, DoubleNear(nan, 1.0));
  SHOW(nan, NanSensitiveDoubleNear(nan, 1.0));
  SHOW(1.0f, FloatNear(2.0f, 0.5f));
  SHOW(2.0, NanSensitiveDoubleNear(1.0, 0.5));
  SHOW(1e-300, DoubleNear(0.0, 1e-301));
  SHOW(0.0, DoubleEq(-0.0));
  SHOW(1.0, DoubleEq(1.0 + 4 * std::numeric_limits<double>::epsilon()));
  SHOW(1.0, DoubleEq(1.0 + 5 * std::numeric_limits<double>::epsilon()));
  SHOW(-1.0, DoubleEq(-1.0 - 4 * std::numeric_limits<double>::epsilon()));
  SHOW(std::numeric_limits<double>::denorm_min(), DoubleEq(-std::numeric_limits<double>::denorm_min()));
  SHOW(inf, DoubleEq(inf));
  SHOW(inf, DoubleEq(std::numeric_limits<double>::max()));
  SHOW(inf, DoubleNear(1e308, 1e308));
  SHOW(inf, DoubleNear(inf, 0.0));
  SHOW(1.0f, FloatEq(1.0f + 5e-7f));
  SHOW(1.0f, FloatEq(1.0f + 1e-6f));
  SHOW(std::vector<double>({1.0, 2.0}), ElementsAre(DoubleNear(1.5, 0.1), DoubleEq(2.0)));
}

void Containers() {
  const std::vector<int> v123{1, 2, 3};
  const std::vector<int> v7{7, 14, 21};
  const std::vector<int> empty;
  const std::list<int> list12{1, 2};
  const std::forward_list<int> forward12{1, 2};
  const std::vector<std::vector<int>> nested{{1}, {2, 3}};
  const int array[3] = {1, 2, 3};
  const std::map<int, std::string> map{{1, "a"}, {2, "b"}};
  SHOW(v123, ElementsAre(1, 2, 3));
  SHOW(v123, ElementsAre(1, 5, 3));
  SHOW(v123, ElementsAre(1, 2));
  SHOW(v123, ElementsAre());
  SHOW(empty, ElementsAre());
  SHOW(empty, ElementsAre(1));
  SHOW(v123, ElementsAre(1));
  SHOW(std::vector<int>{1}, ElementsAre(1, 2));
  SHOW(v123, ElementsAre(1, Gt(5), _));
  SHOW(v123, ElementsAre(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11));
  SHOW(v7, ElementsAre(Div7(), Div7(), Div7()));
  SHOW(v7, ElementsAre(Div7(), 4, Div7()));
  SHOW(v123, ElementsAre(Div7(), Div7(), Div7()));
  SHOW(v7, Not(ElementsAre(Div7(), Div7(), Div7())));
  SHOW(list12, ElementsAre(1, 2));
  SHOW(forward12, ElementsAre(1));
  SHOW(array, ElementsAre(1, 2, 4));
  SHOW(nested, ElementsAre(SizeIs(2), SizeIs(2)));
  SHOW(nested, ElementsAre(ElementsAre(1), ElementsAre(2, 4)));
  SHOW(map, ElementsAre(std::make_pair(1, std::string("a")), std::make_pair(2, std::string("c"))));
  SHOW(v123, ElementsAreArray({1, 2, 4}));
  SHOW(v123, ElementsAreArray(std::vector<int>{3}));
  SHOW(v123, ElementsAreArray(std::vector<int>{}));
  SHOW(v123, ElementsAreArray(array));
  SHOW(v123, ElementsAreArray(array, 2));
  SHOW(v123, ElementsAreArray(v7.begin(), v7.end()));
  SHOW(v123, ElementsAreArray({Gt(0), Gt(1), Gt(3)}));
  SHOW(v123, Contains(5));
  SHOW(v123, Contains(2));
  SHOW(v123, Not(Contains(2)));
  SHOW(v123, Contains(Gt(2)));
  SHOW(v123, Contains(Div7()));
  SHOW(v7, Contains(Div7()));
  SHOW(empty, Contains(1));
  SHOW(array, Contains(9));
  SHOW(v123, Each(Gt(1)));
  SHOW(v123, Each(Gt(0)));
  SHOW(v7, Each(Div7()));
  SHOW(std::vector<int>({7, 3}), Each(Div7()));
  SHOW(empty, Each(1));
  SHOW(v123, Each(AllOf(Gt(0), Lt(3))));
  SHOW(v123, SizeIs(2));
  SHOW(v123, SizeIs(Lt(2)));
  SHOW(v123, SizeIs(3));
  SHOW(v7, SizeIs(Div7()));
  SHOW(empty, SizeIs(1));
  SHOW(std::string("abc"), SizeIs(1));
  SHOW(map, SizeIs(Gt(1)));
  SHOW(v123, IsEmpty());
  SHOW(empty, IsEmpty());
  SHOW(std::string("abc"), IsEmpty());
  SHOW(std::string(), IsEmpty());
  SHOW(map, IsEmpty());
}

void Unordered() {
  const std::vector<int> v123{1, 2, 3};
  const std::vector<int> v4{1, 2, 3, 4};
  const std::vector<int> empty;
  SHOW(v123, UnorderedElementsAre(3, 2, 1));
  SHOW(v123, UnorderedElementsAre(3, 2, 5));
  SHOW(v123, UnorderedElementsAre(1, 1, 1));
  SHOW(v123, UnorderedElementsAre(1, 2));
  SHOW(v123, UnorderedElementsAre(Gt(0), Gt(1), Gt(5)));
  SHOW(v123, UnorderedElementsAre(7, 8, 9));
  SHOW(v123, UnorderedElementsAre(7, 8, 1));
  SHOW(v123, UnorderedElementsAre(5));
  SHOW(empty, UnorderedElementsAre());
  SHOW(empty, UnorderedElementsAre(1));
  SHOW(v4, UnorderedElementsAre(AnyOf(1, 2), AnyOf(1, 2), AnyOf(1, 2), AnyOf(3, 4)));
  SHOW(v4, UnorderedElementsAre(Lt(3), Lt(3), Lt(3), Gt(0)));
  SHOW(v4, UnorderedElementsAre(1, AnyOf(1, 2), Gt(0), 9));
  SHOW(v4, UnorderedElementsAre(Gt(0), Gt(1), Gt(2), Gt(3)));
  SHOW(v4, UnorderedElementsAre(Gt(3), Gt(2), Gt(1), Gt(0)));
  SHOW(v4, UnorderedElementsAre(Ge(3), Ge(3), Le(2), Le(2)));
  SHOW(v4, UnorderedElementsAre(Ge(2), Ge(3), Le(3), Le(1)));
  SHOW(v4, UnorderedElementsAre(Ge(3), Ge(3), Ge(3), Le(2)));
  SHOW(v123, UnorderedElementsAre(Ge(2), Ge(2), Le(1)));
  SHOW(v123, UnorderedElementsAre(Ge(2), Ge(2), Ge(3)));
  SHOW(std::vector<int>({7, 3, 14}), UnorderedElementsAre(Div7(), Div7(), 3));
  SHOW(std::vector<int>({7, 3, 14}), UnorderedElementsAre(Div7(), Div7(), Div7()));
  SHOW(std::forward_list<int>({1, 2}), UnorderedElementsAre(1, 3));
  SHOW(v123, UnorderedElementsAreArray({3, 1, 2}));
  SHOW(v123, UnorderedElementsAreArray(std::vector<int>{}));
  SHOW(v123, UnorderedElementsAreArray(std::vector<int>{2, 9, 1}));
}

void Composites() {
  const std::vector<int> v123{1, 2, 3};
  SHOW(3, Not(Eq(3)));
  SHOW(3, Not(Not(Eq(4))));
  SHOW(3, Not(Div7()));
  SHOW(14, Not(Div7()));
  SHOW(3, AllOf(Gt(1), Lt(2)));
  SHOW(3, AllOf(Gt(1), Lt(5)));
  SHOW(3, AllOf(Gt(1), Lt(5), Ne(3)));
  SHOW(3, AllOf(Gt(1)));
  SHOW(3, AnyOf(Lt(1), Gt(5)));
  SHOW(3, AnyOf(Lt(1), Gt(2)));
  SHOW(3, AnyOf(Gt(4)));
  SHOW(3, AllOf(Div7(), Gt(1)));
  SHOW(14, AllOf(Div7(), Gt(1), Div7()));
  SHOW(14, AllOf(Div7(), Zero()));
  SHOW(0, AllOf(Zero(), Div7()));
  SHOW(3, AnyOf(Div7(), Gt(5)));
  SHOW(14, AnyOf(Gt(20), Div7()));
  SHOW(3, AnyOf(Div7(), Div7()));
  SHOW(0, AnyOf(Zero(), Div7()));
  SHOW(7, AllOf(Div7(), AnyOf(Div7(), Gt(9))));
  SHOW(7, Not(AnyOf(Div7(), Lt(0))));
  SHOW(v123, AllOf(AllOf(SizeIs(3), Contains(2)), Each(Gt(0))));
  SHOW(v123, Not(AllOf(SizeIs(3), Contains(2))));
  SHOW(v123, AnyOf(SizeIs(2), Contains(9)));
  SHOW(std::string("abc"), AllOf(StartsWith("a"), Not(HasSubstr("b"))));
}

void Members() {
  Compared::Point point{3, 4};
  Compared::Point* to_point = &point;
  Compared::Point* no_point = nullptr;
  Compared::Person person{"Ann", 30};
  SHOW(point, Field(&Compared::Point::x, 6));
  SHOW(point, Field(&Compared::Point::x, 3));
  SHOW(point, Field("x", &Compared::Point::x, 6));
  SHOW(to_point, Field(&Compared::Point::y, 6));
  SHOW(to_point, Field(&Compared::Point::y, 4));
  SHOW(no_point, Field(&Compared::Point::y, 6));
  SHOW(point, Field(&Compared::Point::x, Div7()));
  SHOW(point, Field(&Compared::Point::x, Not(Div7())));
  SHOW(point, Property(&Compared::Point::Norm, 6));
  SHOW(point, Property("Norm", &Compared::Point::Norm, Gt(30)));
  SHOW(to_point, Property(&Compared::Point::Norm, Div7()));
  SHOW(no_point, Property(&Compared::Point::Norm, 25));
  SHOW(point, Property(&Compared::Point::X, 4));
  SHOW(person, Field(&Compared::Person::name, StartsWith("B")));
  SHOW(person, Field("age", &Compared::Person::age, AllOf(Gt(18), Lt(30))));
  SHOW(&person, Field(&Compared::Person::age, 31));
  SHOW(to_point, Pointee(Field(&Compared::Point::x, 4)));
  SHOW(std::vector<Compared::Point>({{1, 2}, {3, 4}}), Each(Field(&Compared::Point::x, Lt(3))));
  SHOW(std::vector<Compared::Point>({{1, 2}, {3, 4}}), Contains(Property(&Compared::Point::Norm, 25)));
}

void UserMatchers() {
  const std::vector<int> v123{1, 2, 3};
  const std::vector<int> v12{1, 2};
  SHOW(3, Div7());
  SHOW(14, Div7());
  SHOW(3, Zero());
  SHOW(3, Not(Zero()));
  SHOW(v123, MakePolymorphicMatcher(HasTwoImpl()));
  SHOW(v12, MakePolymorphicMatcher(HasTwoImpl()));
  SHOW(v12, Not(MakePolymorphicMatcher(HasTwoImpl())));
  SHOW(4, Matcher<int>(IsOdd()));
  SHOW(5, Matcher<int>(IsOdd()));
  SHOW(4, Not(Matcher<int>(IsOdd())));
  SHOW(1, MakeMatcher(new ChangesItsMind));
}

}  // namespace

void RecordMatcherTexts() {
  const std::pair<const char*, void (*)()> sections[] = {
      {"comparison matchers", Comparisons},
      {"pointer matchers", Pointers},
      {"text matchers", Texts},
      {"regular-expression matchers", RegularExpressions},
      {"floating-point matchers", FloatingPoint},
      {"container matchers", Containers},
      {"unordered matchers", Unordered},
      {"composite matchers", Composites},
      {"member matchers", Members},
      {"user matchers", UserMatchers},
  };
  for (const auto& [name, records] : sections) {
    std::printf("## %s\n", name);
    records();
  }
}
