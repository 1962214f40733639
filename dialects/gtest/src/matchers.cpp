// The texts of the matchers, and what does not depend on the matched type.
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <cwctype>
#include <limits>
#include <sstream>

#include "gmock/gmock-matchers.h"

namespace testing {

void StringMatchResultListener::Clear() { ss_.Clear(); }

namespace internal {

void MatcherHandle::Acquire() const {
  if (impl_ != nullptr) std::atomic_ref<long>(impl_->handles_).fetch_add(1, std::memory_order_relaxed);
}

void MatcherHandle::Release() const {
  if (impl_ != nullptr && std::atomic_ref<long>(impl_->handles_).fetch_sub(1, std::memory_order_acq_rel) == 1) {
    delete impl_;
  }
}

namespace {

void DescribeOne(const MatcherDescriberInterface* matcher, bool negation, std::ostream* os) {
  if (negation) {
    matcher->DescribeNegationTo(os);
  } else {
    matcher->DescribeTo(os);
  }
}

// A short name helps the reader; a long one of templates only hides the value.
bool IsReadableTypeName(const std::string& name) {
  return name.size() <= 20 || name.find_first_of("<(") == std::string::npos;
}

}  // namespace

std::string Describe(const MatcherDescriberInterface* matcher, bool negation) {
  std::ostringstream os;
  DescribeOne(matcher, negation, &os);
  return os.str();
}

void PrintIfNotEmpty(const std::string& explanation, std::ostream* os) {
  if (!explanation.empty() && os != nullptr) *os << ", " << explanation;
}

void PrintTypeAndExplanation(const std::type_info& type, const std::string& explanation, std::ostream* os) {
  const std::string name = GetTypeNameByTypeInfo(type);
  if (IsReadableTypeName(name)) *os << " (of type " << name << ")";
  PrintIfNotEmpty(explanation, os);
}

bool RegexMatcher::MatchesText(const RE& regex, bool full_match, const char* s) {
  if (s == nullptr) return false;
  return full_match ? RE::FullMatch(s, regex) : RE::PartialMatch(s, regex);
}

void RegexMatcher::Describe(const RE& regex, bool full_match, bool negation, std::ostream* os) {
  if (full_match) {
    *os << (negation ? "doesn't match" : "matches");
  } else {
    *os << (negation ? "doesn't contain" : "contains");
  }
  *os << " regular expression ";
  UniversalPrint(std::string(regex.pattern()), os);
}

void AnythingMatcher::DescribeTo(std::ostream* os) const { *os << "is anything"; }
void AnythingMatcher::DescribeNegationTo(std::ostream* os) const { *os << "never matches"; }
void IsNullMatcher::DescribeTo(std::ostream* os) const { *os << "is NULL"; }
void IsNullMatcher::DescribeNegationTo(std::ostream* os) const { *os << "isn't NULL"; }
void NotNullMatcher::DescribeTo(std::ostream* os) const { *os << "isn't NULL"; }
void NotNullMatcher::DescribeNegationTo(std::ostream* os) const { *os << "is NULL"; }
void IsEmptyMatcher::DescribeTo(std::ostream* os) const { *os << "is empty"; }
void IsEmptyMatcher::DescribeNegationTo(std::ostream* os) const { *os << "isn't empty"; }

// --- Texts.

namespace {

char FoldCase(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }
wchar_t FoldCase(wchar_t c) { return static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c))); }

template <typename Char>
bool EqualsIgnoringCase(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

}  // namespace

template <typename Char>
bool StringMatcher<Char>::MatchesText(std::basic_string_view<Char> s) const {
  const std::basic_string_view<Char> text(text_);
  switch (kind_) {
    case kEquals:
    case kNotEquals: {
      const bool equal = case_sensitive_ ? s == text : EqualsIgnoringCase(s, text);
      return equal == (kind_ == kEquals);
    }
    case kContains: return s.find(text) != std::basic_string_view<Char>::npos;
    case kStartsWith: return s.substr(0, text.size()) == text;
    case kEndsWith: return s.size() >= text.size() && s.substr(s.size() - text.size()) == text;
  }
  return false;
}

template <typename Char>
void StringMatcher<Char>::DescribeTo(std::ostream* os) const {
  switch (kind_) {
    case kEquals: *os << "is equal to "; break;
    case kNotEquals: *os << "isn't equal to "; break;
    case kContains: *os << "has substring "; break;
    case kStartsWith: *os << "starts with "; break;
    case kEndsWith: *os << "ends with "; break;
  }
  if (!case_sensitive_) *os << "(ignoring case) ";
  UniversalPrint(text_, os);
}

template <typename Char>
void StringMatcher<Char>::DescribeNegationTo(std::ostream* os) const {
  switch (kind_) {
    case kEquals: *os << "isn't equal to "; break;
    case kNotEquals: *os << "is equal to "; break;
    case kContains: *os << "has no substring "; break;
    case kStartsWith: *os << "doesn't start with "; break;
    case kEndsWith: *os << "doesn't end with "; break;
  }
  if (!case_sensitive_) *os << "(ignoring case) ";
  UniversalPrint(text_, os);
}

template class StringMatcher<char>;
template class StringMatcher<wchar_t>;

// --- Floating point.

namespace {

// Ordered like the numbers they stand for: negative values are turned
// around, so that the distance of two representations counts the values
// between them, across zero too.
template <typename Bits, typename Float>
Bits Biased(Float value) {
  Bits bits;
  std::memcpy(&bits, &value, sizeof bits);
  const Bits sign = Bits(1) << (sizeof(Bits) * 8 - 1);
  return (bits & sign) != 0 ? ~bits + 1 : sign | bits;
}

template <typename Float>
bool WithinFourUlps(Float a, Float b) {
  using Bits = std::conditional_t<sizeof(Float) == 4, uint32_t, uint64_t>;
  const Bits x = Biased<Bits>(a), y = Biased<Bits>(b);
  return (x >= y ? x - y : y - x) <= 4;
}

}  // namespace

template <typename Float>
bool FloatingEqMatcher<Float>::MatchesNumber(Float value, MatchResultListener* listener) const {
  if (std::isnan(value) || std::isnan(expected_)) return std::isnan(value) && std::isnan(expected_) && nan_eq_nan_;
  if (max_abs_error_ < 0) return WithinFourUlps(value, expected_);
  if (value == expected_) return true;  // the same infinity
  const Float diff = value - expected_;
  if (std::fabs(diff) <= max_abs_error_) return true;
  *listener << "which is " << diff << " from " << expected_;
  return false;
}

template <typename Float>
void FloatingEqMatcher<Float>::DescribeTo(std::ostream* os) const {
  if (std::isnan(expected_)) {
    *os << (nan_eq_nan_ ? "is NaN" : "never matches");
    return;
  }
  const std::streamsize old = os->precision(std::numeric_limits<Float>::digits10 + 2);
  *os << "is approximately " << expected_;
  if (max_abs_error_ >= 0) *os << " (absolute error <= " << max_abs_error_ << ")";
  os->precision(old);
}

template <typename Float>
void FloatingEqMatcher<Float>::DescribeNegationTo(std::ostream* os) const {
  if (std::isnan(expected_)) {
    *os << (nan_eq_nan_ ? "isn't NaN" : "is anything");
    return;
  }
  const std::streamsize old = os->precision(std::numeric_limits<Float>::digits10 + 2);
  *os << "isn't approximately " << expected_;
  if (max_abs_error_ >= 0) *os << " (absolute error > " << max_abs_error_ << ")";
  os->precision(old);
}

template class FloatingEqMatcher<float>;
template class FloatingEqMatcher<double>;

// --- Matchers made of matchers.

void DescribeJunction(const std::vector<const MatcherDescriberInterface*>& matchers, bool all_of, bool negation,
                      std::ostream* os) {
  // De Morgan: the negation of "(a) and (b)" is "(not a) or (not b)".
  const char* joint = all_of != negation ? " and " : " or ";
  for (size_t i = 0; i < matchers.size(); ++i) {
    if (i > 0) *os << joint;
    *os << '(';
    DescribeOne(matchers[i], negation, os);
    *os << ')';
  }
}

std::string JoinExplanations(const std::vector<std::string>& explanations) {
  std::string joined;
  for (const std::string& e : explanations) {
    if (e.empty()) continue;
    if (!joined.empty()) joined += ", and ";
    joined += e;
  }
  return joined;
}

std::string ElementCount(size_t count) {
  return count == 1 ? "1 element" : std::to_string(count) + " elements";
}

void DescribeElementsAre(const std::vector<const MatcherDescriberInterface*>& matchers, bool negation,
                         std::ostream* os) {
  const size_t n = matchers.size();
  if (n == 0) {
    *os << (negation ? "isn't empty" : "is empty");
  } else if (n == 1 && !negation) {
    *os << "has 1 element that ";
    DescribeOne(matchers[0], false, os);
  } else {
    *os << (negation ? "doesn't have " : "has ") << ElementCount(n) << (negation ? ", or\n" : " where\n");
    for (size_t i = 0; i < n; ++i) {
      if (i > 0) *os << (negation ? ", or\n" : ",\n");
      *os << "element #" << i << ' ';
      DescribeOne(matchers[i], negation, os);
    }
  }
}

std::string ExplainMatchingElements(const std::vector<std::string>& explanations) {
  std::string text;
  for (size_t i = 0; i < explanations.size(); ++i) {
    if (explanations[i].empty()) continue;
    if (!text.empty()) text += ",\nand ";
    text += "whose element #" + std::to_string(i) + " matches, " + explanations[i];
  }
  return text;
}

void DescribeUnorderedElementsAre(const std::vector<const MatcherDescriberInterface*>& matchers, bool negation,
                                  std::ostream* os) {
  const size_t n = matchers.size();
  if (n == 0) {
    *os << (negation ? "isn't empty" : "is empty");
    return;
  }
  if (n == 1) {
    *os << (negation ? "doesn't have 1 element, or has 1 element that " : "has 1 element and that element ");
    DescribeOne(matchers[0], negation, os);
    return;
  }
  // The negation lists the same conditions as the description: what no
  // permutation satisfies.
  *os << (negation ? "doesn't have " : "has ") << ElementCount(n)
      << (negation ? ", or there exists no permutation of elements such that:\n"
                   : " and there exists some permutation of elements such that:\n");
  for (size_t i = 0; i < n; ++i) {
    if (i > 0) *os << ", and\n";
    *os << " - element #" << i << ' ';
    DescribeOne(matchers[i], false, os);
  }
}

namespace {

// Kuhn's augmenting paths, elements in order, each trying its matchers in
// order: the pairing found, and the closest one when none is complete,
// are those GoogleMock reports.
class Pairing {
 public:
  Pairing(const std::vector<char>& matches, size_t n) : matches_(matches), n_(n), owner_(n, kNone) {}

  size_t Run() {
    size_t paired = 0;
    for (size_t e = 0; e < n_; ++e) {
      visited_.assign(n_, false);
      if (Augment(e)) ++paired;
    }
    return paired;
  }

  // The matcher element e is paired with, or kNone.
  size_t MatcherOf(size_t e) const {
    for (size_t m = 0; m < n_; ++m) {
      if (owner_[m] == e) return m;
    }
    return kNone;
  }

  static constexpr size_t kNone = static_cast<size_t>(-1);

 private:
  bool Augment(size_t e) {
    for (size_t m = 0; m < n_; ++m) {
      if (matches_[e * n_ + m] == 0 || visited_[m]) continue;
      visited_[m] = true;
      if (owner_[m] == kNone || Augment(owner_[m])) {
        owner_[m] = e;
        return true;
      }
    }
    return false;
  }

  const std::vector<char>& matches_;
  const size_t n_;
  std::vector<size_t> owner_;
  std::vector<bool> visited_;
};

}  // namespace

bool MatchUnordered(const std::vector<char>& matches, const std::vector<std::string>& printed,
                    const std::vector<const MatcherDescriberInterface*>& matchers, MatchResultListener* listener) {
  const size_t n = matchers.size();
  std::vector<size_t> lone_matchers, lone_elements;
  for (size_t m = 0; m < n; ++m) {
    bool any = false;
    for (size_t e = 0; e < n && !any; ++e) any = matches[e * n + m] != 0;
    if (!any) lone_matchers.push_back(m);
  }
  for (size_t e = 0; e < n; ++e) {
    bool any = false;
    for (size_t m = 0; m < n && !any; ++m) any = matches[e * n + m] != 0;
    if (!any) lone_elements.push_back(e);
  }
  if (!lone_matchers.empty() || !lone_elements.empty()) {
    if (!listener->IsInterested()) return false;
    std::string text;
    if (!lone_matchers.empty()) {
      text += "where the following matchers don't match any elements:\n";
      for (size_t i = 0; i < lone_matchers.size(); ++i) {
        if (i > 0) text += ",\n";
        text += "matcher #" + std::to_string(lone_matchers[i]) + ": " + Describe(matchers[lone_matchers[i]], false);
      }
    }
    if (!lone_elements.empty()) {
      if (!text.empty()) text += "\nand ";
      text += "where the following elements don't match any matchers:\n";
      for (size_t i = 0; i < lone_elements.size(); ++i) {
        if (i > 0) text += ",\n";
        text += "element #" + std::to_string(lone_elements[i]) + ": " + printed[lone_elements[i]];
      }
    }
    *listener << text;
    return false;
  }

  Pairing pairing(matches, n);
  const size_t paired = pairing.Run();
  if (!listener->IsInterested() || n == 0) return paired == n;
  std::string text;
  if (paired < n) {
    text = "where no permutation of the elements can satisfy all matchers, and the closest match is " +
           std::to_string(paired) + " of " + std::to_string(n) + " matchers with the pairings:\n{";
    const char* separator = "\n";
    for (size_t e = 0; e < n; ++e) {
      const size_t m = pairing.MatcherOf(e);
      if (m == Pairing::kNone) continue;
      text += separator;
      text += "  (element #" + std::to_string(e) + ", matcher #" + std::to_string(m) + ")";
      separator = ",\n";
    }
    text += "\n}";
  } else {
    text = "where:\n";
    for (size_t e = 0; e < n; ++e) {
      if (e > 0) text += ",\n";
      text += " - element #" + std::to_string(e) + " is matched by matcher #" + std::to_string(pairing.MatcherOf(e));
    }
  }
  *listener << text;
  return paired == n;
}

void DescribeQuantifier(const MatcherDescriberInterface* matcher, bool each, bool negation, std::ostream* os) {
  if (each) {
    *os << (negation ? "contains some element that " : "only contains elements that ");
  } else {
    *os << (negation ? "doesn't contain any element that " : "contains at least one element that ");
  }
  // "doesn't contain any element that" reads on with the matcher's own words.
  DescribeOne(matcher, each && negation, os);
}

void DescribeSize(const MatcherDescriberInterface* matcher, bool negation, std::ostream* os) {
  *os << "size ";
  DescribeOne(matcher, negation, os);
}

std::string MemberWords(const char* kind, const std::string& name) {
  return name.empty() ? std::string("given ") + kind : std::string(kind) + " `" + name + "`";
}

void DescribeMember(const std::string& member, const MatcherDescriberInterface* matcher, bool negation,
                    std::ostream* os) {
  *os << "is an object whose " << member << ' ';
  DescribeOne(matcher, negation, os);
}

void DescribePointee(const MatcherDescriberInterface* matcher, bool negation, std::ostream* os) {
  *os << (negation ? "does not point to a value that " : "points to a value that ");
  DescribeOne(matcher, false, os);
}

AssertionResult MatcherFailure(const char* value_text, const MatcherDescriberInterface* matcher,
                               bool passed_on_rerun, const std::string& actual) {
  std::ostringstream ss;
  ss << "Value of: " << value_text << "\nExpected: ";
  matcher->DescribeTo(&ss);
  // A matcher with state, or one that looks at something else that changed.
  if (passed_on_rerun) {
    ss << "\n  The matcher failed on the initial attempt; but passed when rerun to generate the explanation.";
  }
  ss << "\n  Actual: " << actual;
  return AssertionFailure() << ss.str();
}

}  // namespace internal
}  // namespace testing
