// What the dialect's macros expand to. Nothing here is for test code to
// call; the names follow the macros that use them.
//
// Every check is an inline comparison and, on the failing path only, a call
// into the library: a passing check costs the comparison, and a test file
// compiles no failure text of its own.
#pragma once
#pragma GCC system_header

#include <cstddef>
#include <cstdint>
#include <exception>
#include <iosfwd>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <utility>

#include "gtest/gtest-assertion-result.h"
#include "gtest/gtest-message.h"
#include "gtest/gtest-printers.h"
#include "gtest/gtest-test-part.h"

#define GTEST_CONCAT_TOKEN_IMPL_(a, b) a##b
#define GTEST_CONCAT_TOKEN_(a, b) GTEST_CONCAT_TOKEN_IMPL_(a, b)
#define GTEST_STRINGIFY_HELPER_(name, ...) #name
#define GTEST_STRINGIFY_(...) GTEST_STRINGIFY_HELPER_(__VA_ARGS__, )
#define GTEST_ATTRIBUTE_UNUSED_ [[maybe_unused]]
#define GTEST_MUST_USE_RESULT_ [[nodiscard]]
#define GTEST_DISALLOW_COPY_AND_ASSIGN_(type) \
  type(const type&) = delete;                 \
  type& operator=(const type&) = delete
// Lets "if (c) EXPECT_EQ(a, b); else ..." bind the else to the user's if.
#define GTEST_AMBIGUOUS_ELSE_BLOCKER_ \
  switch (0)                          \
  case 0:                             \
  default:  // NOLINT
#define GTEST_TEST_CLASS_NAME_(test_suite_name, test_name) test_suite_name##_##test_name##_Test
#define GTEST_HAS_DEATH_TEST 1
#define GTEST_HAS_EXCEPTIONS 1
#define GTEST_HAS_STD_WSTRING 1
#define GTEST_HAS_PARAM_TEST 1
#define GTEST_HAS_TYPED_TEST 1
#define GTEST_HAS_TYPED_TEST_P 1
#define GTEST_OS_LINUX 1
#define GTEST_HAS_RTTI 1
#define GTEST_API_

namespace testing {

class Test;
class TestInfo;
class TestSuite;
class UnitTest;
class Environment;
using TestCase = TestSuite;
using TimeInMillis = int64_t;

namespace internal {

using BiggestInt = long long;  // NOLINT
using TestFactoryFn = Test* (*)();
using SetUpTestSuiteFunc = void (*)();
using TearDownTestSuiteFunc = void (*)();

template <class T>
Test* CreateTest() {
  return new T;
}

// A suite's one-time set-up and tear-down, or null when the fixture keeps
// testing::Test's empty ones. The legacy *TestCase names win, as they do in
// the original.
template <class F>
SetUpTestSuiteFunc SetUpSuiteOf();
template <class F>
TearDownTestSuiteFunc TearDownSuiteOf();

struct CodeLocation {
  CodeLocation(std::string a_file, int a_line) : file(std::move(a_file)), line(a_line) {}
  std::string file;
  int line;
};

// Makes a test known before main; type and value parameters are the printed
// TypeParam and GetParam(), or null.
TestInfo* RegisterTest_(const char* suite, const char* name, const char* file, int line, TestFactoryFn factory,
                        SetUpTestSuiteFunc setUp, TearDownTestSuiteFunc tearDown, const char* typeParam = nullptr,
                        const char* valueParam = nullptr);

// A check's outcome: passed, or the failure text it owns until an
// AssertHelper reports it. Trivially copied and destroyed, so that a check
// that passes leaves no clean-up code behind.
class CheckResult {
 public:
  constexpr CheckResult() noexcept = default;
  explicit CheckResult(std::string* failure) noexcept : failure_(failure) {}
  explicit operator bool() const noexcept { return failure_ == nullptr; }
  std::string* failure() const noexcept { return failure_; }

 private:
  std::string* failure_ = nullptr;
};

// What "<<" after a check starts from: no Message is made unless the test
// streams something into it.
struct MessageStart {};
template <class T>
Message operator<<(MessageStart, const T& value) {
  Message m;
  m << value;
  return m;
}
Message operator<<(MessageStart, std::ostream& (*manip)(std::ostream&));
Message operator<<(MessageStart, std::ios_base& (*manip)(std::ios_base&));

// Reports a part result of the running test once its streamed message is known.
class AssertHelper {
 public:
  AssertHelper(TestPartResult::Type type, const char* file, int line, const char* message) noexcept
      : type_(type), file_(file), line_(line), text_(message) {}
  AssertHelper(TestPartResult::Type type, const char* file, int line, CheckResult failure) noexcept
      : type_(type), file_(file), line_(line), owned_(failure.failure()) {}
  AssertHelper(TestPartResult::Type type, const char* file, int line, const std::string& message) noexcept
      : type_(type), file_(file), line_(line), text_(message.c_str()) {}
  void operator=(const Message& message) const;
  void operator=(MessageStart) const;

 private:
  TestPartResult::Type type_;
  const char* file_;
  int line_;
  const char* text_ = nullptr;
  std::string* owned_ = nullptr;
};

// ---------------------------------------------------------------------------
// Failure texts, built out of line.

CheckResult EqFailure(const char* lhsExpr, const char* rhsExpr, const std::string& lhs, const std::string& rhs,
                      bool ignoringCase);
CheckResult CmpFailure(const char* lhsExpr, const char* rhsExpr, const char* op, const std::string& lhs,
                       const std::string& rhs);
CheckResult BoolFailure(const char* text, const char* explanation, const char* actual, const char* expected);
CheckResult PredFailure(const char* predText, int count, const char* const* exprs, const std::string* values);
CheckResult ThrowFailure(const char* statement, const char* expected, const char* actual);
CheckResult ThrowFailureOf(const char* statement, const char* expected, const std::exception& e);
CheckResult NoThrowFailureOf(const char* statement, const std::exception& e);

// Why a passing-or-failing boolean is what it is: an AssertionResult's message.
template <class T>
inline const char* ExplanationOf(const T&) noexcept {
  return "";
}
inline const char* ExplanationOf(const AssertionResult& r) noexcept { return r.message(); }

// How a value is shown in a comparison's failure. A C string compared with
// a string object is shown as text; any other char pointer by its address,
// since it may not point to a terminated string.
template <class T>
struct IsStringObject_ : std::false_type {};
template <class C, class Tr, class A>
struct IsStringObject_<std::basic_string<C, Tr, A>> : std::true_type {};
template <class C, class Tr>
struct IsStringObject_<std::basic_string_view<C, Tr>> : std::true_type {};
template <class T>
inline constexpr bool IsCharPointer_ =
    std::is_pointer_v<T> && (std::is_same_v<std::remove_cv_t<std::remove_pointer_t<T>>, char> ||
                             std::is_same_v<std::remove_cv_t<std::remove_pointer_t<T>>, wchar_t> ||
                             std::is_same_v<std::remove_cv_t<std::remove_pointer_t<T>>, char8_t> ||
                             std::is_same_v<std::remove_cv_t<std::remove_pointer_t<T>>, char16_t> ||
                             std::is_same_v<std::remove_cv_t<std::remove_pointer_t<T>>, char32_t>);

template <class T, class Other>
std::string FormatForComparison_(const T& value) {
  if constexpr (std::is_array_v<T>) {
    return FormatForComparison_<const std::remove_extent_t<T>*, Other>(value);
  } else if constexpr (IsCharPointer_<T>) {
    if constexpr (IsStringObject_<std::remove_cv_t<Other>>::value)
      return ::testing::PrintToString(value);
    else
      return ::testing::PrintToString(static_cast<const void*>(value));
  } else {
    return ::testing::PrintToString(value);
  }
}

template <class T1, class T2>
[[gnu::noinline]] CheckResult EqFailureOf(const char* e1, const char* e2, const T1& v1, const T2& v2) {
  return EqFailure(e1, e2, FormatForComparison_<T1, T2>(v1), FormatForComparison_<T2, T1>(v2), false);
}

template <class T1, class T2>
[[gnu::noinline]] CheckResult CmpFailureOf(const char* e1, const char* e2, const char* op, const T1& v1,
                                           const T2& v2) {
  return CmpFailure(e1, e2, op, FormatForComparison_<T1, T2>(v1), FormatForComparison_<T2, T1>(v2));
}

template <class T1, class T2>
inline CheckResult CmpHelperEQ(const char* e1, const char* e2, const T1& lhs, const T2& rhs) {
  if (lhs == rhs) return CheckResult();
  return EqFailureOf(e1, e2, lhs, rhs);
}

class EqHelper {
 public:
  template <class T1, class T2,
            std::enable_if_t<!std::is_integral_v<T1> || !std::is_pointer_v<T2>, int> = 0>
  static CheckResult Compare(const char* e1, const char* e2, const T1& lhs, const T2& rhs) {
    return CmpHelperEQ(e1, e2, lhs, rhs);
  }
  // Enumerators of unnamed enums compare as integers.
  static CheckResult Compare(const char* e1, const char* e2, BiggestInt lhs, BiggestInt rhs) {
    return CmpHelperEQ(e1, e2, lhs, rhs);
  }
  // A literal 0 or nullptr on the left compared with a pointer.
  template <class T>
  static CheckResult Compare(const char* e1, const char* e2, std::nullptr_t, T* rhs) {
    return CmpHelperEQ(e1, e2, static_cast<T*>(nullptr), rhs);
  }
};

#define GTEST_IMPL_CMP_HELPER_(op_name, op)                                                             \
  template <class T1, class T2>                                                                         \
  inline CheckResult CmpHelper##op_name(const char* e1, const char* e2, const T1& v1, const T2& v2) { \
    if (v1 op v2) return CheckResult();                                                                 \
    return CmpFailureOf(e1, e2, #op, v1, v2);                                                           \
  }
GTEST_IMPL_CMP_HELPER_(NE, !=)
GTEST_IMPL_CMP_HELPER_(LE, <=)
GTEST_IMPL_CMP_HELPER_(LT, <)
GTEST_IMPL_CMP_HELPER_(GE, >=)
GTEST_IMPL_CMP_HELPER_(GT, >)
#undef GTEST_IMPL_CMP_HELPER_

// C strings: a null pointer equals only a null pointer.
CheckResult CmpHelperSTREQ(const char* e1, const char* e2, const char* s1, const char* s2);
CheckResult CmpHelperSTRNE(const char* e1, const char* e2, const char* s1, const char* s2);
CheckResult CmpHelperSTRCASEEQ(const char* e1, const char* e2, const char* s1, const char* s2);
CheckResult CmpHelperSTRCASENE(const char* e1, const char* e2, const char* s1, const char* s2);
CheckResult CmpHelperSTREQ(const char* e1, const char* e2, const wchar_t* s1, const wchar_t* s2);
CheckResult CmpHelperSTRNE(const char* e1, const char* e2, const wchar_t* s1, const wchar_t* s2);

// Floating point: equal within 4 units in the last place; NaN equals nothing.
CheckResult CmpHelperFloatEQ(const char* e1, const char* e2, float v1, float v2);
CheckResult CmpHelperDoubleEQ(const char* e1, const char* e2, double v1, double v2);
CheckResult CmpHelperNear(const char* e1, const char* e2, const char* eAbs, double v1, double v2, double absError);
bool AlmostEqualFloats(float a, float b) noexcept;
bool AlmostEqualDoubles(double a, double b) noexcept;

template <class RawType>
AssertionResult CmpHelperFloatingPointEQ(const char* e1, const char* e2, RawType v1, RawType v2);
template <>
AssertionResult CmpHelperFloatingPointEQ<float>(const char* e1, const char* e2, float v1, float v2);
template <>
AssertionResult CmpHelperFloatingPointEQ<double>(const char* e1, const char* e2, double v1, double v2);
AssertionResult DoubleNearPredFormat(const char* e1, const char* e2, const char* eAbs, double v1, double v2,
                                     double absError);

// Predicates: "pred(a, b) evaluates to false, where" and each value.
template <class... T>
[[gnu::noinline]] CheckResult PredFailureOf(const char* predText, const char* const* exprs, const T&... values) {
  const std::string printed[] = {::testing::PrintToString(values)...};
  return PredFailure(predText, static_cast<int>(sizeof...(T)), exprs, printed);
}

template <class Pred, class... T>
inline CheckResult PredHelper(const char* predText, const char* const* exprs, const Pred& pred, const T&... values) {
  if (pred(values...)) return CheckResult();
  return PredFailureOf(predText, exprs, values...);
}

// An exception type that no statement throws: where the expected type is
// std::exception itself, the "any other std::exception" handler catches this.
struct NeverThrown {};
inline CheckResult ThrowFailureOf(const char* statement, const char* expected, const NeverThrown&) {
  return ThrowFailure(statement, expected, "");
}

// Adds SCOPED_TRACE's lines to every part result reported while it lives.
void PushTrace(const char* file, int line, std::string message);
void PopTrace();

// A statement's result for the death tests and other macros that need to
// run code and then branch.
struct TrueWithString {
  TrueWithString() = default;
  explicit operator bool() const { return true; }
  const char* value = nullptr;
};

bool AlwaysTrue();
inline bool AlwaysFalse() { return !AlwaysTrue(); }


// The fixture's protected and private members that the run needs.
struct FixtureAccess;

}  // namespace internal
}  // namespace testing
