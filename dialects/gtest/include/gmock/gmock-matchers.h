// The matchers of EXPECT_THAT and ASSERT_THAT, and the assertion itself:
//
//   EXPECT_THAT(name, StartsWith("Dr. "));
//   EXPECT_THAT(values, ElementsAre(1, Gt(1), _));
//   ASSERT_THAT(order, Field("items", &Order::items, SizeIs(Le(3))));
//
// On failure the message reads
//   Value of: name
//   Expected: starts with "Dr. "
//     Actual: "Mr. Smith"
// and a matcher that knows why adds it to the last line.
//
// Each matcher here is a small object that becomes a Matcher<T> when it
// meets a value of type T. The typed implementations depend on T only, not
// on the matchers inside them, and their texts are made in matchers.cpp.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

#include "gtest/gtest-assertion-result.h"
#include "gtest/gtest-matchers.h"
#include "gtest/gtest-printers.h"

namespace testing {

// ---------------------------------------------------------------------------
// Casting a matcher, or a value, to Matcher<T>.

namespace internal {

template <typename M>
struct MatcherArgument {
  static constexpr bool kIsMatcher = false;
};
template <typename U>
struct MatcherArgument<Matcher<U>> {
  static constexpr bool kIsMatcher = true;
  using Type = U;
};

// Matcher<U> seen as Matcher<T>: a T is handed over as the U it converts to.
template <typename T, typename U>
class CastMatcherImpl : public MatcherInterface<const T&> {
 public:
  explicit CastMatcherImpl(const Matcher<U>& source) : source_(source) {}
  bool MatchAndExplain(const T& x, MatchResultListener* listener) const override {
    return source_.MatchAndExplain(x, listener);
  }
  void DescribeTo(std::ostream* os) const override { source_.DescribeTo(os); }
  void DescribeNegationTo(std::ostream* os) const override { source_.DescribeNegationTo(os); }

 private:
  const Matcher<U> source_;
};

}  // namespace internal

// A matcher (of any type, or polymorphic) or a value (meaning Eq(value)) as a
// Matcher<T>.
template <typename T, typename M>
Matcher<T> MatcherCast(const M& m) {
  if constexpr (std::is_same_v<M, Matcher<T>>) {
    return m;
  } else if constexpr (internal::MatcherArgument<M>::kIsMatcher) {
    using U = typename internal::MatcherArgument<M>::Type;
    if constexpr (std::is_same_v<const T&, const U&>) {
      return Matcher<T>::Sharing(m);
    } else {
      return Matcher<T>(new internal::CastMatcherImpl<T, U>(m));
    }
  } else {
    return Matcher<T>(m);
  }
}

template <typename T, typename M>
Matcher<T> SafeMatcherCast(const M& m) {
  return MatcherCast<T>(m);
}

// ---------------------------------------------------------------------------
// Running a matcher.

namespace internal {

// " (of type int)" when the type's name is short enough to help, then
// ", <explanation>" when there is one.
void PrintTypeAndExplanation(const std::type_info& type, const std::string& explanation, std::ostream* os);
void PrintIfNotEmpty(const std::string& explanation, std::ostream* os);

// The value, its type and why the matcher took or refused it.
template <typename Value, typename T>
bool MatchPrintAndExplain(const Value& value, const Matcher<T>& matcher, MatchResultListener* listener) {
  if (!listener->IsInterested()) return matcher.Matches(value);
  StringMatchResultListener inner;
  const bool match = matcher.MatchAndExplain(value, &inner);
  UniversalPrint(value, listener->stream());
  PrintTypeAndExplanation(typeid(Value), inner.str(), listener->stream());
  return match;
}

std::string Describe(const MatcherDescriberInterface* matcher, bool negation);

template <typename M>
class MatcherAsPredicate {
 public:
  explicit MatcherAsPredicate(M matcher) : matcher_(std::move(matcher)) {}
  template <typename T>
  bool operator()(const T& x) const {
    return MatcherCast<const T&>(matcher_).Matches(x);
  }

 private:
  M matcher_;
};

}  // namespace internal

template <typename T, typename M>
bool ExplainMatchResult(const M& matcher, const T& value, MatchResultListener* listener) {
  return SafeMatcherCast<const T&>(matcher).MatchAndExplain(value, listener);
}

template <typename T, typename M>
bool Value(const T& value, const M& matcher) {
  return SafeMatcherCast<const T&>(matcher).Matches(value);
}

template <typename T, typename M>
std::string DescribeMatcher(const M& matcher, bool negation = false) {
  const Matcher<T> m = MatcherCast<T>(matcher);
  return internal::Describe(m.GetDescriber(), negation);
}

// A predicate: Matches(Gt(5))(x) is whether x > 5.
template <typename M>
internal::MatcherAsPredicate<M> Matches(M matcher) {
  return internal::MatcherAsPredicate<M>(std::move(matcher));
}

// ---------------------------------------------------------------------------
// Matchers that look at the value alone.

namespace internal {

// P has DescribeTo, DescribeNegationTo and MatchAndExplain<T>(const T&, listener).
template <typename T, typename P>
class MonomorphicMatcher : public MatcherInterface<const T&> {
 public:
  explicit MonomorphicMatcher(const P& p) : p_(p) {}
  bool MatchAndExplain(const T& x, MatchResultListener* listener) const override {
    return p_.template MatchAndExplain<T>(x, listener);
  }
  void DescribeTo(std::ostream* os) const override { p_.DescribeTo(os); }
  void DescribeNegationTo(std::ostream* os) const override { p_.DescribeNegationTo(os); }

 private:
  const P p_;
};

template <typename P>
class PolymorphicBase {
 public:
  template <typename T>
  operator Matcher<T>() const {  // NOLINT: implicit by design
    return Matcher<T>(new MonomorphicMatcher<T, P>(static_cast<const P&>(*this)));
  }
};

class AnythingMatcher : public PolymorphicBase<AnythingMatcher> {
 public:
  template <typename T>
  bool MatchAndExplain(const T&, MatchResultListener*) const {
    return true;
  }
  void DescribeTo(std::ostream* os) const;
  void DescribeNegationTo(std::ostream* os) const;
};

class IsNullMatcher : public PolymorphicBase<IsNullMatcher> {
 public:
  template <typename T>
  bool MatchAndExplain(const T& p, MatchResultListener*) const {
    return p == nullptr;
  }
  void DescribeTo(std::ostream* os) const;
  void DescribeNegationTo(std::ostream* os) const;
};

class NotNullMatcher : public PolymorphicBase<NotNullMatcher> {
 public:
  template <typename T>
  bool MatchAndExplain(const T& p, MatchResultListener*) const {
    return !(p == nullptr);
  }
  void DescribeTo(std::ostream* os) const;
  void DescribeNegationTo(std::ostream* os) const;
};

// Equality, substrings and ends of texts. Takes C strings (a null one
// matches only "isn't equal to"), std::basic_string and views.
template <typename Char>
class StringMatcher : public PolymorphicBase<StringMatcher<Char>> {
 public:
  enum Kind { kEquals, kNotEquals, kContains, kStartsWith, kEndsWith };
  StringMatcher(std::basic_string_view<Char> text, Kind kind, bool case_sensitive)
      : text_(text), kind_(kind), case_sensitive_(case_sensitive) {}

  template <typename T>
  bool MatchAndExplain(const T& s, MatchResultListener*) const {
    if constexpr (std::is_convertible_v<const T&, const Char*>) {
      const Char* p = s;
      return p == nullptr ? kind_ == kNotEquals : MatchesText(p);
    } else {
      return MatchesText(std::basic_string_view<Char>(s));
    }
  }
  bool MatchesText(std::basic_string_view<Char> s) const;
  void DescribeTo(std::ostream* os) const;
  void DescribeNegationTo(std::ostream* os) const;

 private:
  std::basic_string<Char> text_;
  Kind kind_;
  bool case_sensitive_;
};
extern template class StringMatcher<char>;
extern template class StringMatcher<wchar_t>;

// Within 4 units in the last place, or within an absolute error when one is
// given (max_abs_error >= 0).
template <typename Float>
class FloatingEqMatcher : public PolymorphicBase<FloatingEqMatcher<Float>> {
 public:
  FloatingEqMatcher(Float expected, bool nan_eq_nan, Float max_abs_error = -1)
      : expected_(expected), nan_eq_nan_(nan_eq_nan), max_abs_error_(max_abs_error) {}

  template <typename T>
  bool MatchAndExplain(const T& value, MatchResultListener* listener) const {
    return MatchesNumber(static_cast<Float>(value), listener);
  }
  bool MatchesNumber(Float value, MatchResultListener* listener) const;
  void DescribeTo(std::ostream* os) const;
  void DescribeNegationTo(std::ostream* os) const;

 private:
  Float expected_;
  bool nan_eq_nan_;
  Float max_abs_error_;
};
extern template class FloatingEqMatcher<float>;
extern template class FloatingEqMatcher<double>;

class IsEmptyMatcher : public PolymorphicBase<IsEmptyMatcher> {
 public:
  template <typename T>
  bool MatchAndExplain(const T& c, MatchResultListener* listener) const {
    if (std::empty(c)) return true;
    *listener << "whose size is " << std::size(c);
    return false;
  }
  void DescribeTo(std::ostream* os) const;
  void DescribeNegationTo(std::ostream* os) const;
};

}  // namespace internal

inline constexpr internal::AnythingMatcher _{};

template <typename T>
Matcher<T> A() {
  return _;
}
template <typename T>
Matcher<T> An() {
  return _;
}

inline internal::IsNullMatcher IsNull() { return {}; }
inline internal::NotNullMatcher NotNull() { return {}; }

inline internal::StringMatcher<char> StrEq(std::string_view s) {
  return {s, internal::StringMatcher<char>::kEquals, true};
}
inline internal::StringMatcher<char> StrNe(std::string_view s) {
  return {s, internal::StringMatcher<char>::kNotEquals, true};
}
inline internal::StringMatcher<char> StrCaseEq(std::string_view s) {
  return {s, internal::StringMatcher<char>::kEquals, false};
}
inline internal::StringMatcher<char> StrCaseNe(std::string_view s) {
  return {s, internal::StringMatcher<char>::kNotEquals, false};
}
inline internal::StringMatcher<char> HasSubstr(std::string_view s) {
  return {s, internal::StringMatcher<char>::kContains, true};
}
inline internal::StringMatcher<char> StartsWith(std::string_view s) {
  return {s, internal::StringMatcher<char>::kStartsWith, true};
}
inline internal::StringMatcher<char> EndsWith(std::string_view s) {
  return {s, internal::StringMatcher<char>::kEndsWith, true};
}
inline internal::StringMatcher<wchar_t> StrEq(std::wstring_view s) {
  return {s, internal::StringMatcher<wchar_t>::kEquals, true};
}
inline internal::StringMatcher<wchar_t> StrNe(std::wstring_view s) {
  return {s, internal::StringMatcher<wchar_t>::kNotEquals, true};
}
inline internal::StringMatcher<wchar_t> StrCaseEq(std::wstring_view s) {
  return {s, internal::StringMatcher<wchar_t>::kEquals, false};
}
inline internal::StringMatcher<wchar_t> StrCaseNe(std::wstring_view s) {
  return {s, internal::StringMatcher<wchar_t>::kNotEquals, false};
}
inline internal::StringMatcher<wchar_t> HasSubstr(std::wstring_view s) {
  return {s, internal::StringMatcher<wchar_t>::kContains, true};
}
inline internal::StringMatcher<wchar_t> StartsWith(std::wstring_view s) {
  return {s, internal::StringMatcher<wchar_t>::kStartsWith, true};
}
inline internal::StringMatcher<wchar_t> EndsWith(std::wstring_view s) {
  return {s, internal::StringMatcher<wchar_t>::kEndsWith, true};
}

inline internal::FloatingEqMatcher<double> DoubleEq(double rhs) { return {rhs, false}; }
inline internal::FloatingEqMatcher<double> NanSensitiveDoubleEq(double rhs) { return {rhs, true}; }
inline internal::FloatingEqMatcher<double> DoubleNear(double rhs, double max_abs_error) {
  return {rhs, false, max_abs_error};
}
inline internal::FloatingEqMatcher<double> NanSensitiveDoubleNear(double rhs, double max_abs_error) {
  return {rhs, true, max_abs_error};
}
inline internal::FloatingEqMatcher<float> FloatEq(float rhs) { return {rhs, false}; }
inline internal::FloatingEqMatcher<float> NanSensitiveFloatEq(float rhs) { return {rhs, true}; }
inline internal::FloatingEqMatcher<float> FloatNear(float rhs, float max_abs_error) {
  return {rhs, false, max_abs_error};
}
inline internal::FloatingEqMatcher<float> NanSensitiveFloatNear(float rhs, float max_abs_error) {
  return {rhs, true, max_abs_error};
}

inline internal::IsEmptyMatcher IsEmpty() { return {}; }

// ---------------------------------------------------------------------------
// Matchers made of other matchers.

namespace internal {

template <typename T>
std::vector<const MatcherDescriberInterface*> Describers(const std::vector<Matcher<T>>& matchers) {
  std::vector<const MatcherDescriberInterface*> describers;
  describers.reserve(matchers.size());
  for (const Matcher<T>& m : matchers) describers.push_back(m.GetDescriber());
  return describers;
}

// Makes Matcher<T> of every matcher in the tuple.
template <typename T, typename Tuple>
std::vector<Matcher<T>> MatchersOf(const Tuple& matchers) {
  return std::apply([](const auto&... m) { return std::vector<Matcher<T>>{MatcherCast<T>(m)...}; }, matchers);
}

template <typename T>
class NotImpl : public MatcherInterface<const T&> {
 public:
  explicit NotImpl(Matcher<const T&> inner) : inner_(std::move(inner)) {}
  bool MatchAndExplain(const T& x, MatchResultListener* listener) const override {
    return !inner_.MatchAndExplain(x, listener);
  }
  void DescribeTo(std::ostream* os) const override { inner_.DescribeNegationTo(os); }
  void DescribeNegationTo(std::ostream* os) const override { inner_.DescribeTo(os); }

 private:
  const Matcher<const T&> inner_;
};

template <typename M>
class NotMatcher {
 public:
  explicit NotMatcher(M m) : m_(std::move(m)) {}
  template <typename T>
  operator Matcher<T>() const {  // NOLINT: implicit by design
    return Matcher<T>(new NotImpl<T>(SafeMatcherCast<const T&>(m_)));
  }

 private:
  M m_;
};

// AllOf when all_of, else AnyOf. The explanation of AllOf is that of the
// first matcher that refuses, or all of theirs when all accept; AnyOf the
// other way round.
void DescribeJunction(const std::vector<const MatcherDescriberInterface*>& matchers, bool all_of, bool negation,
                      std::ostream* os);
std::string JoinExplanations(const std::vector<std::string>& explanations);

template <typename T>
class JunctionImpl : public MatcherInterface<const T&> {
 public:
  JunctionImpl(std::vector<Matcher<const T&>> matchers, bool all_of) : matchers_(std::move(matchers)), all_of_(all_of) {}

  bool MatchAndExplain(const T& x, MatchResultListener* listener) const override {
    if (!listener->IsInterested()) {
      for (const auto& m : matchers_) {
        if (m.Matches(x) != all_of_) return !all_of_;
      }
      return all_of_;
    }
    std::vector<std::string> explanations;
    for (const auto& m : matchers_) {
      StringMatchResultListener inner;
      if (m.MatchAndExplain(x, &inner) != all_of_) {
        *listener << inner.str();
        return !all_of_;
      }
      explanations.push_back(inner.str());
    }
    *listener << JoinExplanations(explanations);
    return all_of_;
  }
  void DescribeTo(std::ostream* os) const override { DescribeJunction(Describers(matchers_), all_of_, false, os); }
  void DescribeNegationTo(std::ostream* os) const override {
    DescribeJunction(Describers(matchers_), all_of_, true, os);
  }

 private:
  const std::vector<Matcher<const T&>> matchers_;
  const bool all_of_;
};

template <bool kAllOf, typename... Ms>
class JunctionMatcher {
 public:
  explicit JunctionMatcher(const Ms&... ms) : matchers_(ms...) {}
  template <typename T>
  operator Matcher<T>() const {  // NOLINT: implicit by design
    return Matcher<T>(new JunctionImpl<T>(MatchersOf<const T&>(matchers_), kAllOf));
  }

 private:
  std::tuple<Ms...> matchers_;
};

// The containers taken: anything with begin() and end(), and C arrays.
template <typename T>
using ContainerOf = std::remove_cvref_t<T>;
template <typename Container>
using ElementOf = std::remove_cvref_t<decltype(*std::begin(std::declval<const Container&>()))>;

template <typename Container>
size_t CountElements(const Container& c) {
  size_t n = 0;
  for (auto it = std::begin(c); it != std::end(c); ++it) ++n;
  return n;
}

std::string ElementCount(size_t count);
void DescribeElementsAre(const std::vector<const MatcherDescriberInterface*>& matchers, bool negation,
                         std::ostream* os);
// "whose element #i matches, <why>" for those that say why.
std::string ExplainMatchingElements(const std::vector<std::string>& explanations);

template <typename T>
class ElementsAreImpl : public MatcherInterface<const T&> {
  using Element = ElementOf<ContainerOf<T>>;

 public:
  explicit ElementsAreImpl(std::vector<Matcher<const Element&>> matchers) : matchers_(std::move(matchers)) {}

  bool MatchAndExplain(const T& c, MatchResultListener* listener) const override {
    const size_t count = CountElements(c);
    if (count != matchers_.size()) {
      if (listener->IsInterested() && count != 0) *listener << "which has " << ElementCount(count);
      return false;
    }
    std::vector<std::string> explanations;
    size_t i = 0;
    for (auto it = std::begin(c); it != std::end(c); ++it, ++i) {
      if (!listener->IsInterested()) {
        if (!matchers_[i].Matches(*it)) return false;
        continue;
      }
      StringMatchResultListener inner;
      if (!matchers_[i].MatchAndExplain(*it, &inner)) {
        *listener << "whose element #" << i << " doesn't match";
        PrintIfNotEmpty(inner.str(), listener->stream());
        return false;
      }
      explanations.push_back(inner.str());
    }
    if (listener->IsInterested()) *listener << ExplainMatchingElements(explanations);
    return true;
  }
  void DescribeTo(std::ostream* os) const override { DescribeElementsAre(Describers(matchers_), false, os); }
  void DescribeNegationTo(std::ostream* os) const override { DescribeElementsAre(Describers(matchers_), true, os); }

 private:
  const std::vector<Matcher<const Element&>> matchers_;
};

void DescribeUnorderedElementsAre(const std::vector<const MatcherDescriberInterface*>& matchers, bool negation,
                                  std::ostream* os);
// matches[e * matchers + m]: whether element e matches matcher m. Finds a
// pairing of every element with its own matcher, and explains the outcome;
// printed[e] is element e as the explanation shows it.
bool MatchUnordered(const std::vector<char>& matches, const std::vector<std::string>& printed,
                    const std::vector<const MatcherDescriberInterface*>& matchers, MatchResultListener* listener);

template <typename T>
class UnorderedElementsAreImpl : public MatcherInterface<const T&> {
  using Element = ElementOf<ContainerOf<T>>;

 public:
  explicit UnorderedElementsAreImpl(std::vector<Matcher<const Element&>> matchers) : matchers_(std::move(matchers)) {}

  bool MatchAndExplain(const T& c, MatchResultListener* listener) const override {
    const size_t count = CountElements(c);
    if (count != matchers_.size()) {
      if (listener->IsInterested() && count != 0) *listener << "which has " << ElementCount(count);
      return false;
    }
    std::vector<char> matches;
    matches.reserve(count * matchers_.size());
    std::vector<std::string> printed;
    for (auto it = std::begin(c); it != std::end(c); ++it) {
      for (const auto& m : matchers_) matches.push_back(m.Matches(*it));
      if (listener->IsInterested()) printed.push_back(PrintToString(*it));
    }
    return MatchUnordered(matches, printed, Describers(matchers_), listener);
  }
  void DescribeTo(std::ostream* os) const override { DescribeUnorderedElementsAre(Describers(matchers_), false, os); }
  void DescribeNegationTo(std::ostream* os) const override {
    DescribeUnorderedElementsAre(Describers(matchers_), true, os);
  }

 private:
  const std::vector<Matcher<const Element&>> matchers_;
};

template <template <typename> class Impl, typename Tuple>
class ElementsMatcher {
 public:
  explicit ElementsMatcher(Tuple matchers) : matchers_(std::move(matchers)) {}
  template <typename T>
  operator Matcher<T>() const {  // NOLINT: implicit by design
    using Element = ElementOf<ContainerOf<T>>;
    return Matcher<T>(new Impl<T>(MatchersOf<const Element&>(matchers_)));
  }

 private:
  Tuple matchers_;
};

template <template <typename> class Impl, typename M>
class ElementsArrayMatcher {
 public:
  template <typename Iter>
  ElementsArrayMatcher(Iter first, Iter last) : matchers_(first, last) {}
  template <typename T>
  operator Matcher<T>() const {  // NOLINT: implicit by design
    using Element = ElementOf<ContainerOf<T>>;
    std::vector<Matcher<const Element&>> matchers;
    matchers.reserve(matchers_.size());
    for (const M& m : matchers_) matchers.push_back(MatcherCast<const Element&>(m));
    return Matcher<T>(new Impl<T>(std::move(matchers)));
  }

 private:
  std::vector<M> matchers_;
};

template <typename Tuple>
using ElementsAreMatcher = ElementsMatcher<ElementsAreImpl, Tuple>;
template <typename Tuple>
using UnorderedElementsAreMatcher = ElementsMatcher<UnorderedElementsAreImpl, Tuple>;
template <typename M>
using ElementsAreArrayMatcher = ElementsArrayMatcher<ElementsAreImpl, M>;
template <typename M>
using UnorderedElementsAreArrayMatcher = ElementsArrayMatcher<UnorderedElementsAreImpl, M>;

// Contains when !each, else Each.
void DescribeQuantifier(const MatcherDescriberInterface* matcher, bool each, bool negation, std::ostream* os);

template <typename T>
class QuantifierImpl : public MatcherInterface<const T&> {
  using Element = ElementOf<ContainerOf<T>>;

 public:
  QuantifierImpl(Matcher<const Element&> inner, bool each) : inner_(std::move(inner)), each_(each) {}

  // Stops at the first element that decides: one that matches for Contains,
  // one that does not for Each.
  bool MatchAndExplain(const T& c, MatchResultListener* listener) const override {
    size_t i = 0;
    for (auto it = std::begin(c); it != std::end(c); ++it, ++i) {
      if (!listener->IsInterested()) {
        if (inner_.Matches(*it) != each_) return !each_;
        continue;
      }
      StringMatchResultListener inner;
      const bool matched = inner_.MatchAndExplain(*it, &inner);
      if (matched != each_) {
        *listener << "whose element #" << i << (matched ? " matches" : " doesn't match");
        PrintIfNotEmpty(inner.str(), listener->stream());
        return !each_;
      }
    }
    return each_;
  }
  void DescribeTo(std::ostream* os) const override { DescribeQuantifier(inner_.GetDescriber(), each_, false, os); }
  void DescribeNegationTo(std::ostream* os) const override {
    DescribeQuantifier(inner_.GetDescriber(), each_, true, os);
  }

 private:
  const Matcher<const Element&> inner_;
  const bool each_;
};

template <typename M, bool kEach>
class QuantifierMatcher {
 public:
  explicit QuantifierMatcher(M m) : m_(std::move(m)) {}
  template <typename T>
  operator Matcher<T>() const {  // NOLINT: implicit by design
    using Element = ElementOf<ContainerOf<T>>;
    return Matcher<T>(new QuantifierImpl<T>(SafeMatcherCast<const Element&>(m_), kEach));
  }

 private:
  M m_;
};

void DescribeSize(const MatcherDescriberInterface* matcher, bool negation, std::ostream* os);

template <typename T>
class SizeIsImpl : public MatcherInterface<const T&> {
  using Size = decltype(std::size(std::declval<const ContainerOf<T>&>()));

 public:
  explicit SizeIsImpl(Matcher<const Size&> inner) : inner_(std::move(inner)) {}
  bool MatchAndExplain(const T& c, MatchResultListener* listener) const override {
    const Size size = std::size(c);
    if (!listener->IsInterested()) return inner_.Matches(size);
    StringMatchResultListener inner;
    const bool matched = inner_.MatchAndExplain(size, &inner);
    *listener << "whose size " << size << (matched ? " matches" : " doesn't match");
    PrintIfNotEmpty(inner.str(), listener->stream());
    return matched;
  }
  void DescribeTo(std::ostream* os) const override { DescribeSize(inner_.GetDescriber(), false, os); }
  void DescribeNegationTo(std::ostream* os) const override { DescribeSize(inner_.GetDescriber(), true, os); }

 private:
  const Matcher<const Size&> inner_;
};

template <typename M>
class SizeIsMatcher {
 public:
  explicit SizeIsMatcher(M m) : m_(std::move(m)) {}
  template <typename T>
  operator Matcher<T>() const {  // NOLINT: implicit by design
    using Size = decltype(std::size(std::declval<const ContainerOf<T>&>()));
    return Matcher<T>(new SizeIsImpl<T>(SafeMatcherCast<const Size&>(m_)));
  }

 private:
  M m_;
};

// "given field", "field `name`", "given property", "property `name`".
std::string MemberWords(const char* kind, const std::string& name);
void DescribeMember(const std::string& member, const MatcherDescriberInterface* matcher, bool negation,
                    std::ostream* os);

// A field or property of an object, or of the object a raw pointer points to.
template <typename T, typename Class, typename Member, typename Get>
class MemberImpl : public MatcherInterface<const T&> {
 public:
  MemberImpl(Get get, std::string member, Matcher<const Member&> inner)
      : get_(get), member_(std::move(member)), inner_(std::move(inner)) {}

  bool MatchAndExplain(const T& x, MatchResultListener* listener) const override {
    if constexpr (std::is_pointer_v<ContainerOf<T>>) {
      if (x == nullptr) return false;
      *listener << "which points to an object ";
      return MatchObject(*x, listener);
    } else {
      return MatchObject(x, listener);
    }
  }
  void DescribeTo(std::ostream* os) const override { DescribeMember(member_, inner_.GetDescriber(), false, os); }
  void DescribeNegationTo(std::ostream* os) const override { DescribeMember(member_, inner_.GetDescriber(), true, os); }

 private:
  bool MatchObject(const Class& object, MatchResultListener* listener) const {
    *listener << "whose " << member_ << " is ";
    return MatchPrintAndExplain(get_(object), inner_, listener);
  }

  const Get get_;
  const std::string member_;
  const Matcher<const Member&> inner_;
};

template <typename Class, typename Member, typename Get, typename M>
class MemberMatcher {
 public:
  MemberMatcher(Get get, std::string member, M m) : get_(get), member_(std::move(member)), m_(std::move(m)) {}
  template <typename T>
  operator Matcher<T>() const {  // NOLINT: implicit by design
    return Matcher<T>(new MemberImpl<T, Class, Member, Get>(get_, member_, SafeMatcherCast<const Member&>(m_)));
  }

 private:
  Get get_;
  std::string member_;
  M m_;
};

template <typename Class, typename FieldType>
struct FieldGetter {
  FieldType Class::*field;
  const FieldType& operator()(const Class& object) const { return object.*field; }
};

template <typename Class, typename Getter>
struct PropertyGetter {
  Getter getter;
  decltype(auto) operator()(const Class& object) const { return (object.*getter)(); }
};

void DescribePointee(const MatcherDescriberInterface* matcher, bool negation, std::ostream* os);

// Raw and smart pointers; a null one never matches.
template <typename T>
class PointeeImpl : public MatcherInterface<const T&> {
  using Pointee = std::remove_cvref_t<decltype(*std::declval<const ContainerOf<T>&>())>;

 public:
  explicit PointeeImpl(Matcher<const Pointee&> inner) : inner_(std::move(inner)) {}
  bool MatchAndExplain(const T& pointer, MatchResultListener* listener) const override {
    if (pointer == nullptr) return false;
    *listener << "which points to ";
    return MatchPrintAndExplain(*pointer, inner_, listener);
  }
  void DescribeTo(std::ostream* os) const override { DescribePointee(inner_.GetDescriber(), false, os); }
  void DescribeNegationTo(std::ostream* os) const override { DescribePointee(inner_.GetDescriber(), true, os); }

 private:
  const Matcher<const Pointee&> inner_;
};

template <typename M>
class PointeeMatcher {
 public:
  explicit PointeeMatcher(M m) : m_(std::move(m)) {}
  template <typename T>
  operator Matcher<T>() const {  // NOLINT: implicit by design
    using Pointee = std::remove_cvref_t<decltype(*std::declval<const ContainerOf<T>&>())>;
    return Matcher<T>(new PointeeImpl<T>(SafeMatcherCast<const Pointee&>(m_)));
  }

 private:
  M m_;
};

}  // namespace internal

template <typename M>
internal::NotMatcher<M> Not(M m) {
  return internal::NotMatcher<M>(std::move(m));
}

template <typename... Ms>
internal::JunctionMatcher<true, std::decay_t<Ms>...> AllOf(const Ms&... ms) {
  return internal::JunctionMatcher<true, std::decay_t<Ms>...>(ms...);
}

template <typename... Ms>
internal::JunctionMatcher<false, std::decay_t<Ms>...> AnyOf(const Ms&... ms) {
  return internal::JunctionMatcher<false, std::decay_t<Ms>...>(ms...);
}

template <typename... Ms>
internal::ElementsAreMatcher<std::tuple<std::decay_t<Ms>...>> ElementsAre(const Ms&... ms) {
  return internal::ElementsAreMatcher<std::tuple<std::decay_t<Ms>...>>(std::tuple<std::decay_t<Ms>...>(ms...));
}

template <typename... Ms>
internal::UnorderedElementsAreMatcher<std::tuple<std::decay_t<Ms>...>> UnorderedElementsAre(const Ms&... ms) {
  return internal::UnorderedElementsAreMatcher<std::tuple<std::decay_t<Ms>...>>(
      std::tuple<std::decay_t<Ms>...>(ms...));
}

// The elements, or matchers for them, given as a range, an array, a
// container or a braced list.
template <typename Iter>
internal::ElementsAreArrayMatcher<typename std::iterator_traits<Iter>::value_type> ElementsAreArray(Iter first,
                                                                                                   Iter last) {
  return {first, last};
}
template <typename T>
internal::ElementsAreArrayMatcher<T> ElementsAreArray(const T* pointer, size_t count) {
  return {pointer, pointer + count};
}
template <typename T, size_t N>
internal::ElementsAreArrayMatcher<T> ElementsAreArray(const T (&array)[N]) {
  return {array, array + N};
}
template <typename Container>
internal::ElementsAreArrayMatcher<typename Container::value_type> ElementsAreArray(const Container& container) {
  return {container.begin(), container.end()};
}
template <typename T>
internal::ElementsAreArrayMatcher<T> ElementsAreArray(std::initializer_list<T> xs) {
  return {xs.begin(), xs.end()};
}

template <typename Iter>
internal::UnorderedElementsAreArrayMatcher<typename std::iterator_traits<Iter>::value_type>
UnorderedElementsAreArray(Iter first, Iter last) {
  return {first, last};
}
template <typename T>
internal::UnorderedElementsAreArrayMatcher<T> UnorderedElementsAreArray(const T* pointer, size_t count) {
  return {pointer, pointer + count};
}
template <typename T, size_t N>
internal::UnorderedElementsAreArrayMatcher<T> UnorderedElementsAreArray(const T (&array)[N]) {
  return {array, array + N};
}
template <typename Container>
internal::UnorderedElementsAreArrayMatcher<typename Container::value_type> UnorderedElementsAreArray(
    const Container& container) {
  return {container.begin(), container.end()};
}
template <typename T>
internal::UnorderedElementsAreArrayMatcher<T> UnorderedElementsAreArray(std::initializer_list<T> xs) {
  return {xs.begin(), xs.end()};
}

template <typename M>
internal::QuantifierMatcher<M, false> Contains(M m) {
  return internal::QuantifierMatcher<M, false>(std::move(m));
}

template <typename M>
internal::QuantifierMatcher<M, true> Each(M m) {
  return internal::QuantifierMatcher<M, true>(std::move(m));
}

template <typename M>
internal::SizeIsMatcher<M> SizeIs(M m) {
  return internal::SizeIsMatcher<M>(std::move(m));
}

template <typename Class, typename FieldType, typename M>
internal::MemberMatcher<Class, FieldType, internal::FieldGetter<Class, FieldType>, M> Field(
    FieldType Class::*field, const M& matcher) {
  return {{field}, internal::MemberWords("field", ""), matcher};
}
template <typename Class, typename FieldType, typename M>
internal::MemberMatcher<Class, FieldType, internal::FieldGetter<Class, FieldType>, M> Field(
    const std::string& field_name, FieldType Class::*field, const M& matcher) {
  return {{field}, internal::MemberWords("field", field_name), matcher};
}

template <typename Class, typename PropertyType, typename M>
internal::MemberMatcher<Class, std::remove_cvref_t<PropertyType>,
                        internal::PropertyGetter<Class, PropertyType (Class::*)() const>, M>
Property(PropertyType (Class::*property)() const, const M& matcher) {
  return {{property}, internal::MemberWords("property", ""), matcher};
}
template <typename Class, typename PropertyType, typename M>
internal::MemberMatcher<Class, std::remove_cvref_t<PropertyType>,
                        internal::PropertyGetter<Class, PropertyType (Class::*)() const>, M>
Property(const std::string& property_name, PropertyType (Class::*property)() const, const M& matcher) {
  return {{property}, internal::MemberWords("property", property_name), matcher};
}
template <typename Class, typename PropertyType, typename M>
internal::MemberMatcher<Class, std::remove_cvref_t<PropertyType>,
                        internal::PropertyGetter<Class, PropertyType (Class::*)() const&>, M>
Property(PropertyType (Class::*property)() const&, const M& matcher) {
  return {{property}, internal::MemberWords("property", ""), matcher};
}
template <typename Class, typename PropertyType, typename M>
internal::MemberMatcher<Class, std::remove_cvref_t<PropertyType>,
                        internal::PropertyGetter<Class, PropertyType (Class::*)() const&>, M>
Property(const std::string& property_name, PropertyType (Class::*property)() const&, const M& matcher) {
  return {{property}, internal::MemberWords("property", property_name), matcher};
}

template <typename M>
internal::PointeeMatcher<M> Pointee(M m) {
  return internal::PointeeMatcher<M>(std::move(m));
}

// ---------------------------------------------------------------------------
// EXPECT_THAT and ASSERT_THAT.

namespace internal {

AssertionResult MatcherFailure(const char* value_text, const MatcherDescriberInterface* matcher,
                               bool passed_on_rerun, const std::string& actual);

// Kept out of the caller: the compiler then spends its inlining on the
// passing path, which every assertion takes, and not on this one.
template <typename T>
[[gnu::noinline, gnu::cold]] AssertionResult ExplainMatcherFailure(const char* value_text,
                                                                  const Matcher<const T&>& matcher, const T& x) {
  StringMatchResultListener listener;
  const bool passed_on_rerun = MatchPrintAndExplain(x, matcher, &listener);
  return MatcherFailure(value_text, matcher.GetDescriber(), passed_on_rerun, listener.str());
}

template <typename M>
class PredicateFormatterFromMatcher {
 public:
  explicit PredicateFormatterFromMatcher(M m) : matcher_(std::move(m)) {}

  template <typename T>
  AssertionResult operator()(const char* value_text, const T& x) const {
    const Matcher<const T&> matcher = SafeMatcherCast<const T&>(matcher_);
    if (matcher.Matches(x)) return AssertionSuccess();
    return ExplainMatcherFailure(value_text, matcher, x);
  }

 private:
  const M matcher_;
};

template <typename M>
PredicateFormatterFromMatcher<M> MakePredicateFormatterFromMatcher(M matcher) {
  return PredicateFormatterFromMatcher<M>(std::move(matcher));
}

}  // namespace internal

}  // namespace testing

#define EXPECT_THAT(value, matcher) \
  EXPECT_PRED_FORMAT1(::testing::internal::MakePredicateFormatterFromMatcher(matcher), value)
#define ASSERT_THAT(value, matcher) \
  ASSERT_PRED_FORMAT1(::testing::internal::MakePredicateFormatterFromMatcher(matcher), value)
