// Matchers: a predicate over values of one type that can describe itself,
// its negation, and why a value did or did not match.
//
//   class IsEven : public testing::MatcherInterface<int> {
//    public:
//     bool MatchAndExplain(int n, testing::MatchResultListener* why) const override {
//       *why << "the remainder is " << n % 2;
//       return n % 2 == 0;
//     }
//     void DescribeTo(std::ostream* os) const override { *os << "is even"; }
//   };
//   testing::Matcher<int> even = testing::MakeMatcher(new IsEven);
//
// Matcher<T> is a cheap handle over a shared implementation. A value T
// converts to the matcher Eq(value); a polymorphic matcher (Eq(5), Gt(1),
// MatchesRegex(...)) converts to Matcher<T> for every T it can compare.
// The rest of the matchers are in gmock/gmock-matchers.h.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "gtest/gtest-message.h"
#include "gtest/gtest-printers.h"
#include "gtest/internal/gtest-regex.h"

namespace testing {

// Collects a matcher's explanation; a listener without a stream is not
// interested, and the matcher may then skip the work of explaining.
class MatchResultListener {
 public:
  explicit MatchResultListener(std::ostream* os) : stream_(os) {}
  MatchResultListener(const MatchResultListener&) = delete;
  MatchResultListener& operator=(const MatchResultListener&) = delete;
  virtual ~MatchResultListener() = 0;

  template <typename T>
  MatchResultListener& operator<<(const T& x) {
    if (stream_ != nullptr) ::testing_message_lookup_::Stream(*stream_, x);
    return *this;
  }

  std::ostream* stream() { return stream_; }
  bool IsInterested() const { return stream_ != nullptr; }

 private:
  std::ostream* const stream_;
};

inline MatchResultListener::~MatchResultListener() = default;

namespace internal {
class MatcherHandle;

// The stream of a StringMatchResultListener, built before the listener's
// base class is given it.
class StringMatchResultStream {
 protected:
  StringStream ss_;
};
}  // namespace internal

class StringMatchResultListener : private internal::StringMatchResultStream, public MatchResultListener {
 public:
  StringMatchResultListener() : MatchResultListener(ss_.os()) {}
  std::string str() const { return ss_.str(); }
  void Clear();
};

class MatcherDescriberInterface {
 public:
  MatcherDescriberInterface() = default;
  // A copy is a new object with no handles on it yet.
  MatcherDescriberInterface(const MatcherDescriberInterface&) {}
  MatcherDescriberInterface& operator=(const MatcherDescriberInterface&) { return *this; }
  virtual ~MatcherDescriberInterface() = default;

  // Completes "the value ...": "is equal to 5", "has 2 elements where ...".
  virtual void DescribeTo(std::ostream* os) const = 0;
  virtual void DescribeNegationTo(std::ostream* os) const {
    *os << "not (";
    DescribeTo(os);
    *os << ")";
  }

 private:
  friend class internal::MatcherHandle;
  // Counted here rather than by shared_ptr, which would add a control-block
  // class to every program for each kind of matcher it uses.
  mutable long handles_ = 0;
};

template <typename T>
class MatcherInterface : public MatcherDescriberInterface {
 public:
  virtual bool MatchAndExplain(T x, MatchResultListener* listener) const = 0;
};

namespace internal {

class DummyMatchResultListener : public MatchResultListener {
 public:
  DummyMatchResultListener() : MatchResultListener(nullptr) {}
};

class StreamMatchResultListener : public MatchResultListener {
 public:
  explicit StreamMatchResultListener(std::ostream* os) : MatchResultListener(os) {}
};

// Shares one implementation between the copies of a matcher.
class MatcherHandle {
 public:
  MatcherHandle() = default;
  explicit MatcherHandle(const MatcherDescriberInterface* impl) : impl_(impl) { Acquire(); }
  MatcherHandle(const MatcherHandle& other) : impl_(other.impl_) { Acquire(); }
  MatcherHandle(MatcherHandle&& other) noexcept : impl_(std::exchange(other.impl_, nullptr)) {}
  MatcherHandle& operator=(MatcherHandle other) noexcept {
    std::swap(impl_, other.impl_);
    return *this;
  }
  ~MatcherHandle() { Release(); }
  const MatcherDescriberInterface* get() const { return impl_; }

 private:
  void Acquire() const;
  void Release() const;
  const MatcherDescriberInterface* impl_ = nullptr;
};

// A MatcherInterface<U> written for values taken by copy, seen as one that
// takes them by reference.
template <typename T, typename U>
class ByCopyMatcherAdapter : public MatcherInterface<const T&> {
 public:
  explicit ByCopyMatcherAdapter(const MatcherInterface<U>* impl) : impl_(impl), handle_(impl) {}
  bool MatchAndExplain(const T& x, MatchResultListener* listener) const override {
    return impl_->MatchAndExplain(x, listener);
  }
  void DescribeTo(std::ostream* os) const override { impl_->DescribeTo(os); }
  void DescribeNegationTo(std::ostream* os) const override { impl_->DescribeNegationTo(os); }

 private:
  const MatcherInterface<U>* impl_;
  MatcherHandle handle_;
};

// A matcher written as a plain class with "using is_gtest_matcher = void;":
// it explains into a stream, null when nobody listens.
template <typename T, typename M>
class PlainMatcherAdapter : public MatcherInterface<const T&> {
 public:
  explicit PlainMatcherAdapter(M m) : m_(std::move(m)) {}
  bool MatchAndExplain(const T& x, MatchResultListener* listener) const override {
    return m_.MatchAndExplain(x, listener->stream());
  }
  void DescribeTo(std::ostream* os) const override { m_.DescribeTo(os); }
  void DescribeNegationTo(std::ostream* os) const override { m_.DescribeNegationTo(os); }

 private:
  M m_;
};

template <typename T>
concept StringValue = std::is_same_v<std::remove_cvref_t<T>, std::string> ||
                      std::is_same_v<std::remove_cvref_t<T>, std::string_view>;

template <typename Rhs, typename Op>
class ComparisonMatcher;
struct EqOp;

}  // namespace internal

template <typename T>
class Matcher {
 public:
  // Empty: only to be assigned to; using it is an error.
  Matcher() = default;

  // Takes ownership of impl.
  explicit Matcher(const MatcherInterface<const T&>* impl) : handle_(impl) {}
  template <typename U, typename = std::enable_if_t<!std::is_reference_v<U>>>
  explicit Matcher(const MatcherInterface<U>* impl)
      : handle_(new internal::ByCopyMatcherAdapter<T, U>(impl)) {}

  template <typename M, typename = typename std::remove_reference_t<M>::is_gtest_matcher>
  Matcher(M&& m)  // NOLINT: implicit by design
      : handle_(new internal::PlainMatcherAdapter<T, std::decay_t<M>>(std::forward<M>(m))) {}

  // A value stands for the matcher that is equal to it.
  Matcher(T value);  // NOLINT: implicit by design

  // Text matchers take C strings too.
  Matcher(const char* s)  // NOLINT: implicit by design
    requires internal::StringValue<T>;
  Matcher(const std::string& s)  // NOLINT: implicit by design
    requires(std::is_same_v<std::remove_cvref_t<T>, std::string_view>);

  bool MatchAndExplain(const T& x, MatchResultListener* listener) const {
    return interface()->MatchAndExplain(x, listener);
  }
  bool Matches(const T& x) const {
    internal::DummyMatchResultListener dummy;
    return MatchAndExplain(x, &dummy);
  }
  void DescribeTo(std::ostream* os) const { interface()->DescribeTo(os); }
  void DescribeNegationTo(std::ostream* os) const { interface()->DescribeNegationTo(os); }
  void ExplainMatchResultTo(const T& x, std::ostream* os) const {
    internal::StreamMatchResultListener listener(os);
    MatchAndExplain(x, &listener);
  }
  const MatcherDescriberInterface* GetDescriber() const { return handle_.get(); }

  // The same implementation under another name of the same type, such as
  // Matcher<const int&> for a Matcher<int>: both take a const int&.
  template <typename U>
  static Matcher Sharing(const Matcher<U>& other) {
    static_assert(std::is_same_v<const T&, const U&>);
    Matcher m;
    m.handle_ = other.handle_;
    return m;
  }

 private:
  template <typename U>
  friend class Matcher;

  const MatcherInterface<const T&>* interface() const {
    return static_cast<const MatcherInterface<const T&>*>(handle_.get());
  }
  internal::MatcherHandle handle_;
};

template <typename T>
Matcher<T> MakeMatcher(const MatcherInterface<T>* impl) {
  return Matcher<T>(impl);
}

// Impl has DescribeTo, DescribeNegationTo and a template MatchAndExplain;
// the result converts to Matcher<T> for every T that MatchAndExplain takes.
template <typename Impl>
class PolymorphicMatcher {
 public:
  explicit PolymorphicMatcher(const Impl& impl) : impl_(impl) {}

  Impl& mutable_impl() { return impl_; }
  const Impl& impl() const { return impl_; }

  template <typename T>
  operator Matcher<T>() const {  // NOLINT: implicit by design
    return Matcher<T>(new MonomorphicImpl<const T&>(impl_));
  }

 private:
  template <typename T>
  class MonomorphicImpl : public MatcherInterface<T> {
   public:
    explicit MonomorphicImpl(const Impl& impl) : impl_(impl) {}
    void DescribeTo(std::ostream* os) const override { impl_.DescribeTo(os); }
    void DescribeNegationTo(std::ostream* os) const override { impl_.DescribeNegationTo(os); }
    bool MatchAndExplain(T x, MatchResultListener* listener) const override {
      return impl_.MatchAndExplain(x, listener);
    }

   private:
    const Impl impl_;
  };

  Impl impl_;
};

template <typename Impl>
PolymorphicMatcher<Impl> MakePolymorphicMatcher(const Impl& impl) {
  return PolymorphicMatcher<Impl>(impl);
}

namespace internal {

// Comparisons are written as the user's code would write them; a signed and
// an unsigned operand compare as they would there.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wsign-compare"
struct EqOp {
  static constexpr const char* kIs = "is equal to";
  static constexpr const char* kIsNot = "isn't equal to";
  template <typename L, typename R>
  static bool Apply(const L& l, const R& r) {
    return l == r;
  }
};
struct NeOp {
  static constexpr const char* kIs = "isn't equal to";
  static constexpr const char* kIsNot = "is equal to";
  template <typename L, typename R>
  static bool Apply(const L& l, const R& r) {
    return l != r;
  }
};
struct LtOp {
  static constexpr const char* kIs = "is <";
  static constexpr const char* kIsNot = "isn't <";
  template <typename L, typename R>
  static bool Apply(const L& l, const R& r) {
    return l < r;
  }
};
struct LeOp {
  static constexpr const char* kIs = "is <=";
  static constexpr const char* kIsNot = "isn't <=";
  template <typename L, typename R>
  static bool Apply(const L& l, const R& r) {
    return l <= r;
  }
};
struct GtOp {
  static constexpr const char* kIs = "is >";
  static constexpr const char* kIsNot = "isn't >";
  template <typename L, typename R>
  static bool Apply(const L& l, const R& r) {
    return l > r;
  }
};
struct GeOp {
  static constexpr const char* kIs = "is >=";
  static constexpr const char* kIsNot = "isn't >=";
  template <typename L, typename R>
  static bool Apply(const L& l, const R& r) {
    return l >= r;
  }
};
#pragma GCC diagnostic pop

template <typename Rhs, typename Op>
class ComparisonMatcher {
 public:
  explicit ComparisonMatcher(const Rhs& rhs) : rhs_(rhs) {}

  template <typename Lhs>
  operator Matcher<Lhs>() const {  // NOLINT: implicit by design
    return Matcher<Lhs>(new Impl<const Lhs&>(rhs_));
  }

 private:
  template <typename Lhs>
  class Impl : public MatcherInterface<Lhs> {
   public:
    explicit Impl(const Rhs& rhs) : rhs_(rhs) {}
    bool MatchAndExplain(Lhs lhs, MatchResultListener*) const override { return Op::Apply(lhs, rhs_); }
    void DescribeTo(std::ostream* os) const override {
      *os << Op::kIs << ' ';
      UniversalPrint(rhs_, os);
    }
    void DescribeNegationTo(std::ostream* os) const override {
      *os << Op::kIsNot << ' ';
      UniversalPrint(rhs_, os);
    }

   private:
    Rhs rhs_;
  };

  Rhs rhs_;
};

// Text values the regular-expression matchers take: C strings (a null one
// never matches), std::string and std::string_view.
class RegexMatcher {
 public:
  RegexMatcher(std::shared_ptr<const RE> regex, bool full_match) : regex_(std::move(regex)), full_match_(full_match) {}

  template <typename T>
  operator Matcher<T>() const {  // NOLINT: implicit by design
    return Matcher<T>(new Impl<const T&>(regex_, full_match_));
  }

  static bool MatchesText(const RE& regex, bool full_match, const char* s);
  static void Describe(const RE& regex, bool full_match, bool negation, std::ostream* os);

 private:
  template <typename T>
  class Impl : public MatcherInterface<T> {
   public:
    Impl(std::shared_ptr<const RE> regex, bool full_match) : regex_(std::move(regex)), full_match_(full_match) {}
    bool MatchAndExplain(T s, MatchResultListener*) const override {
      if constexpr (std::is_convertible_v<T, const char*>) {
        return MatchesText(*regex_, full_match_, static_cast<const char*>(s));
      } else {
        return MatchesText(*regex_, full_match_, std::string(std::string_view(s)).c_str());
      }
    }
    void DescribeTo(std::ostream* os) const override { Describe(*regex_, full_match_, false, os); }
    void DescribeNegationTo(std::ostream* os) const override { Describe(*regex_, full_match_, true, os); }

   private:
    const std::shared_ptr<const RE> regex_;
    const bool full_match_;
  };

  std::shared_ptr<const RE> regex_;
  bool full_match_;
};

}  // namespace internal

namespace internal {
// What Matcher<T>(value) keeps: a copy of the text a view shows, which may
// be gone by the time the matcher runs.
template <typename T>
using EqualValue = std::conditional_t<std::is_same_v<std::remove_cvref_t<T>, std::string_view>, std::string,
                                      std::remove_cvref_t<T>>;
}  // namespace internal

template <typename T>
Matcher<T>::Matcher(const char* s)
  requires internal::StringValue<T>
    : Matcher(internal::ComparisonMatcher<std::string, internal::EqOp>(s)) {}

template <typename T>
Matcher<T>::Matcher(const std::string& s)
  requires(std::is_same_v<std::remove_cvref_t<T>, std::string_view>)
    : Matcher(internal::ComparisonMatcher<std::string, internal::EqOp>(s)) {}

template <typename T>
Matcher<T>::Matcher(T value)
    : Matcher(internal::ComparisonMatcher<internal::EqualValue<T>, internal::EqOp>(internal::EqualValue<T>(value))) {}

template <typename T>
internal::ComparisonMatcher<T, internal::EqOp> Eq(T x) {
  return internal::ComparisonMatcher<T, internal::EqOp>(x);
}
template <typename T>
internal::ComparisonMatcher<T, internal::NeOp> Ne(T x) {
  return internal::ComparisonMatcher<T, internal::NeOp>(x);
}
template <typename T>
internal::ComparisonMatcher<T, internal::LtOp> Lt(T x) {
  return internal::ComparisonMatcher<T, internal::LtOp>(x);
}
template <typename T>
internal::ComparisonMatcher<T, internal::LeOp> Le(T x) {
  return internal::ComparisonMatcher<T, internal::LeOp>(x);
}
template <typename T>
internal::ComparisonMatcher<T, internal::GtOp> Gt(T x) {
  return internal::ComparisonMatcher<T, internal::GtOp>(x);
}
template <typename T>
internal::ComparisonMatcher<T, internal::GeOp> Ge(T x) {
  return internal::ComparisonMatcher<T, internal::GeOp>(x);
}

// The whole text matches; takes ownership of regex.
inline internal::RegexMatcher MatchesRegex(const internal::RE* regex) {
  return internal::RegexMatcher(std::shared_ptr<const internal::RE>(regex), true);
}
inline internal::RegexMatcher MatchesRegex(const std::string& regex) {
  return MatchesRegex(new internal::RE(regex));
}
// Some part of the text matches; takes ownership of regex.
inline internal::RegexMatcher ContainsRegex(const internal::RE* regex) {
  return internal::RegexMatcher(std::shared_ptr<const internal::RE>(regex), false);
}
inline internal::RegexMatcher ContainsRegex(const std::string& regex) {
  return ContainsRegex(new internal::RE(regex));
}

}  // namespace testing
