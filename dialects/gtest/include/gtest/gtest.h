// Tessel's GoogleTest dialect: test sources written for GoogleTest compile
// against this header unchanged and run on Tessel's run loop, with
// GoogleTest's command line, console layout and reports, and Tessel's own
// options (--runner=gui, --isolate, --jobs, --timeout, --report=...).
//
// Link Tessel::gtest_main (or Tessel::gtest and a main of your own calling
// testing::InitGoogleTest and RUN_ALL_TESTS()).
//
// Each test suite is a Tessel suite and each test a test case under the
// registry's root. A test body runs as a member of the fixture class the
// macro declares, derived from testing::Test, which has GoogleTest's members
// only: a free function called there is never captured by a framework name.
#pragma once
#pragma GCC system_header

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <ostream>
#include <string>
#include <type_traits>
#include <vector>

#include "gtest/gtest-assertion-result.h"
#include "gtest/gtest-message.h"
#include "gtest/gtest-printers.h"
#include "gtest/gtest-test-part.h"
#include "gtest/internal/gtest-internal.h"

namespace testing {

// ---------------------------------------------------------------------------
// Flags. InitGoogleTest reads them from the command line (and GTEST_*
// variables); a program may also set them before RUN_ALL_TESTS.

extern bool FLAGS_gtest_also_run_disabled_tests;
extern bool FLAGS_gtest_break_on_failure;
extern bool FLAGS_gtest_catch_exceptions;
extern std::string FLAGS_gtest_color;
extern std::string FLAGS_gtest_death_test_style;
extern bool FLAGS_gtest_death_test_use_fork;
extern bool FLAGS_gtest_fail_fast;
extern std::string FLAGS_gtest_filter;
extern bool FLAGS_gtest_install_failure_signal_handler;
extern std::string FLAGS_gtest_internal_run_death_test;
extern bool FLAGS_gtest_list_tests;
extern std::string FLAGS_gtest_output;
extern bool FLAGS_gtest_brief;
extern bool FLAGS_gtest_print_time;
extern bool FLAGS_gtest_print_utf8;
extern int32_t FLAGS_gtest_random_seed;
extern int32_t FLAGS_gtest_repeat;
extern bool FLAGS_gtest_recreate_environments_when_repeating;
extern bool FLAGS_gtest_shuffle;
extern int32_t FLAGS_gtest_stack_trace_depth;
extern std::string FLAGS_gtest_stream_result_to;
extern bool FLAGS_gtest_throw_on_failure;

#define GTEST_FLAG(name) FLAGS_gtest_##name
#define GTEST_FLAG_GET(name) ::testing::GTEST_FLAG(name)
#define GTEST_FLAG_SET(name, value) (void)(::testing::GTEST_FLAG(name) = value)

// ---------------------------------------------------------------------------
// A fixture: every test is an object of a class derived from it.

class Test {
 public:
  virtual ~Test();

  // Run once before the first and after the last test of a suite.
  static void SetUpTestSuite() {}
  static void TearDownTestSuite() {}
  static void SetUpTestCase() {}
  static void TearDownTestCase() {}

  // About the test that is running.
  static bool HasFatalFailure();
  static bool HasNonfatalFailure();
  static bool IsSkipped();
  static bool HasFailure() { return HasFatalFailure() || HasNonfatalFailure(); }

  // A key and value kept with the running test (or suite, or the whole run
  // outside them) in the XML and JSON reports.
  static void RecordProperty(const std::string& key, const std::string& value);
  static void RecordProperty(const std::string& key, int value);

 protected:
  Test();
  virtual void SetUp();
  virtual void TearDown();

 private:
  virtual void TestBody() = 0;
  friend struct internal::FixtureAccess;
  Test(const Test&) = delete;
  Test& operator=(const Test&) = delete;
};

using SetUpTestSuiteFunc = internal::SetUpTestSuiteFunc;
using TearDownTestSuiteFunc = internal::TearDownTestSuiteFunc;

namespace internal {
// Derived from the fixture, so that protected suite functions can be named.
template <class F>
struct SuiteFunctions_ : F {
  static SetUpTestSuiteFunc SetUpFunction_() {
    if (&F::SetUpTestCase != &Test::SetUpTestCase) return &F::SetUpTestCase;
    if (&F::SetUpTestSuite != &Test::SetUpTestSuite) return &F::SetUpTestSuite;
    return nullptr;
  }
  static TearDownTestSuiteFunc TearDownFunction_() {
    if (&F::TearDownTestCase != &Test::TearDownTestCase) return &F::TearDownTestCase;
    if (&F::TearDownTestSuite != &Test::TearDownTestSuite) return &F::TearDownTestSuite;
    return nullptr;
  }
};
template <class F>
SetUpTestSuiteFunc SetUpSuiteOf() {
  return SuiteFunctions_<F>::SetUpFunction_();
}
template <class F>
TearDownTestSuiteFunc TearDownSuiteOf() {
  return SuiteFunctions_<F>::TearDownFunction_();
}
struct UnitTestState;
struct TestInfoState;

// Fixtures made by a callable (testing::RegisterTest).
struct CallableFactoryBase_ {
  virtual ~CallableFactoryBase_() = default;
  virtual Test* Create() = 0;
};
template <class F>
struct CallableFactory_ : CallableFactoryBase_ {
  explicit CallableFactory_(F f) : factory(std::move(f)) {}
  Test* Create() override { return factory(); }
  F factory;
};
TestInfo* RegisterCallableTest_(const char* suite, const char* name, const char* typeParam, const char* valueParam,
                                const char* file, int line, CallableFactoryBase_* factory,
                                SetUpTestSuiteFunc setUp, TearDownTestSuiteFunc tearDown);

// The parameter of the value-parameterised test that is running.
const void* CurrentParam_();
}  // namespace internal

// ---------------------------------------------------------------------------
// Results, as the listeners and the reflection calls see them.

class TestProperty {
 public:
  TestProperty(const std::string& a_key, const std::string& a_value) : key_(a_key), value_(a_value) {}
  const char* key() const { return key_.c_str(); }
  const char* value() const { return value_.c_str(); }
  void SetValue(const std::string& new_value) { value_ = new_value; }

 private:
  std::string key_;
  std::string value_;
};

class TestResult {
 public:
  TestResult();
  ~TestResult();
  int total_part_count() const { return static_cast<int>(parts_.size()); }
  int test_property_count() const { return static_cast<int>(properties_.size()); }
  bool Passed() const { return !Skipped() && !Failed(); }
  bool Skipped() const;
  bool Failed() const;
  bool HasFatalFailure() const;
  bool HasNonfatalFailure() const;
  TimeInMillis elapsed_time() const { return elapsed_time_; }
  TimeInMillis start_timestamp() const { return start_timestamp_; }
  const TestPartResult& GetTestPartResult(int i) const;
  const TestProperty& GetTestProperty(int i) const;

 private:
  friend struct internal::UnitTestState;
  std::vector<TestPartResult> parts_;
  std::vector<TestProperty> properties_;
  TimeInMillis elapsed_time_ = 0;
  TimeInMillis start_timestamp_ = 0;
};

class TestInfo {
 public:
  ~TestInfo();
  const char* test_suite_name() const { return test_suite_name_.c_str(); }
  const char* test_case_name() const { return test_suite_name(); }
  const char* name() const { return name_.c_str(); }
  const char* type_param() const { return type_param_.empty() ? nullptr : type_param_.c_str(); }
  const char* value_param() const { return value_param_.empty() ? nullptr : value_param_.c_str(); }
  const char* file() const { return file_; }
  int line() const { return line_; }
  bool is_in_another_shard() const { return is_in_another_shard_; }
  bool should_run() const { return should_run_; }
  bool is_reportable() const { return matches_filter_ && !is_in_another_shard_; }
  const TestResult* result() const { return result_; }

 private:
  friend struct internal::UnitTestState;
  friend struct internal::TestInfoState;
  TestInfo(std::string suite, std::string name, const char* typeParam, const char* valueParam, const char* file,
           int line, internal::TestFactoryFn factory);
  std::string test_suite_name_;
  std::string name_;
  std::string type_param_;
  std::string value_param_;
  const char* file_;
  int line_;
  internal::TestFactoryFn factory_;
  internal::CallableFactoryBase_* callable_ = nullptr;
  bool should_run_ = false;
  bool is_disabled_ = false;
  bool matches_filter_ = false;
  bool is_in_another_shard_ = false;
  // Kept apart, in memory a forked process sees as an empty result: the
  // process that reports writes every test's result while its workers run.
  TestResult* result_;
  void* node_ = nullptr;  // the Tessel test case that runs it
  TestInfo(const TestInfo&) = delete;
  TestInfo& operator=(const TestInfo&) = delete;
};

class TestSuite {
 public:
  virtual ~TestSuite();
  const char* name() const { return name_.c_str(); }
  const char* type_param() const { return type_param_.empty() ? nullptr : type_param_.c_str(); }
  bool should_run() const { return should_run_; }
  int successful_test_count() const;
  int skipped_test_count() const;
  int failed_test_count() const;
  int reportable_disabled_test_count() const;
  int disabled_test_count() const;
  int reportable_test_count() const;
  int test_to_run_count() const;
  int total_test_count() const { return static_cast<int>(tests_.size()); }
  bool Passed() const { return !Failed(); }
  bool Failed() const { return failed_test_count() > 0 || ad_hoc_test_result().Failed(); }
  TimeInMillis elapsed_time() const { return run_->Elapsed; }
  TimeInMillis start_timestamp() const { return run_->Start; }
  const TestInfo* GetTestInfo(int i) const;
  const TestResult& ad_hoc_test_result() const { return run_->AdHoc; }

 private:
  friend struct internal::UnitTestState;
  TestSuite(std::string name, const char* typeParam, internal::SetUpTestSuiteFunc setUp,
            internal::TearDownTestSuiteFunc tearDown);
  std::string name_;
  std::string type_param_;
  internal::SetUpTestSuiteFunc set_up_;
  internal::TearDownTestSuiteFunc tear_down_;
  std::vector<TestInfo*> tests_;
  bool should_run_ = false;
  // Kept apart, as a test's result is (see TestInfo).
  struct TRun {
    TestResult AdHoc;
    TimeInMillis Elapsed = 0;
    TimeInMillis Start = 0;
  };
  TRun* run_;
  void* node_ = nullptr;  // the Tessel suite that runs it
  TestSuite(const TestSuite&) = delete;
  TestSuite& operator=(const TestSuite&) = delete;
};

// Set up before the first test and torn down after the last one.
class Environment {
 public:
  virtual ~Environment() = default;
  virtual void SetUp() {}
  virtual void TearDown() {}
};

// ---------------------------------------------------------------------------
// Event listeners: OnX...Start events reach the listeners in the order they
// were appended, OnX...End events in the reverse order.

class TestEventListener {
 public:
  virtual ~TestEventListener() = default;
  virtual void OnTestProgramStart(const UnitTest& unit_test) = 0;
  virtual void OnTestIterationStart(const UnitTest& unit_test, int iteration) = 0;
  virtual void OnEnvironmentsSetUpStart(const UnitTest& unit_test) = 0;
  virtual void OnEnvironmentsSetUpEnd(const UnitTest& unit_test) = 0;
  virtual void OnTestSuiteStart(const TestSuite& /*test_suite*/) {}
  virtual void OnTestCaseStart(const TestCase& /*test_case*/) {}
  virtual void OnTestStart(const TestInfo& test_info) = 0;
  virtual void OnTestDisabled(const TestInfo& /*test_info*/) {}
  virtual void OnTestPartResult(const TestPartResult& test_part_result) = 0;
  virtual void OnTestEnd(const TestInfo& test_info) = 0;
  virtual void OnTestSuiteEnd(const TestSuite& /*test_suite*/) {}
  virtual void OnTestCaseEnd(const TestCase& /*test_case*/) {}
  virtual void OnEnvironmentsTearDownStart(const UnitTest& unit_test) = 0;
  virtual void OnEnvironmentsTearDownEnd(const UnitTest& unit_test) = 0;
  virtual void OnTestIterationEnd(const UnitTest& unit_test, int iteration) = 0;
  virtual void OnTestProgramEnd(const UnitTest& unit_test) = 0;
};

class EmptyTestEventListener : public TestEventListener {
 public:
  void OnTestProgramStart(const UnitTest&) override {}
  void OnTestIterationStart(const UnitTest&, int) override {}
  void OnEnvironmentsSetUpStart(const UnitTest&) override {}
  void OnEnvironmentsSetUpEnd(const UnitTest&) override {}
  void OnTestSuiteStart(const TestSuite&) override {}
  void OnTestCaseStart(const TestCase&) override {}
  void OnTestStart(const TestInfo&) override {}
  void OnTestDisabled(const TestInfo&) override {}
  void OnTestPartResult(const TestPartResult&) override {}
  void OnTestEnd(const TestInfo&) override {}
  void OnTestSuiteEnd(const TestSuite&) override {}
  void OnTestCaseEnd(const TestCase&) override {}
  void OnEnvironmentsTearDownStart(const UnitTest&) override {}
  void OnEnvironmentsTearDownEnd(const UnitTest&) override {}
  void OnTestIterationEnd(const UnitTest&, int) override {}
  void OnTestProgramEnd(const UnitTest&) override {}
};

class TestEventListeners {
 public:
  TestEventListeners();
  ~TestEventListeners();
  // Takes ownership.
  void Append(TestEventListener* listener);
  // Gives ownership back; null when the listener is not in the list.
  TestEventListener* Release(TestEventListener* listener);
  TestEventListener* default_result_printer() const { return default_result_printer_; }
  TestEventListener* default_xml_generator() const { return default_xml_generator_; }

 private:
  friend struct internal::UnitTestState;
  std::vector<TestEventListener*> listeners_;
  TestEventListener* default_result_printer_ = nullptr;
  TestEventListener* default_xml_generator_ = nullptr;
  TestEventListeners(const TestEventListeners&) = delete;
  TestEventListeners& operator=(const TestEventListeners&) = delete;
};

class UnitTest {
 public:
  static UnitTest* GetInstance();
  [[nodiscard]] int Run();

  const char* original_working_dir() const;
  const TestSuite* current_test_suite() const;
  const TestCase* current_test_case() const { return current_test_suite(); }
  const TestInfo* current_test_info() const;
  int random_seed() const;

  int successful_test_suite_count() const;
  int failed_test_suite_count() const;
  int total_test_suite_count() const;
  int test_suite_to_run_count() const;
  int successful_test_case_count() const { return successful_test_suite_count(); }
  int failed_test_case_count() const { return failed_test_suite_count(); }
  int total_test_case_count() const { return total_test_suite_count(); }
  int test_case_to_run_count() const { return test_suite_to_run_count(); }
  int successful_test_count() const;
  int skipped_test_count() const;
  int failed_test_count() const;
  int reportable_disabled_test_count() const;
  int disabled_test_count() const;
  int reportable_test_count() const;
  int total_test_count() const;
  int test_to_run_count() const;
  TimeInMillis start_timestamp() const;
  TimeInMillis elapsed_time() const;
  bool Passed() const { return !Failed(); }
  bool Failed() const;
  const TestSuite* GetTestSuite(int i) const;
  const TestCase* GetTestCase(int i) const { return GetTestSuite(i); }
  const TestResult& ad_hoc_test_result() const;
  TestEventListeners& listeners();

 private:
  UnitTest();
  ~UnitTest();
  friend struct internal::UnitTestState;
  friend Environment* AddGlobalTestEnvironment(Environment* env);
  internal::UnitTestState* state_;
  UnitTest(const UnitTest&) = delete;
  UnitTest& operator=(const UnitTest&) = delete;
};

// Takes ownership; set up in the order added, torn down in the reverse order.
Environment* AddGlobalTestEnvironment(Environment* env);

// Reads and removes the --gtest_* options and Tessel's own options from the
// arguments; the program's own arguments stay.
void InitGoogleTest(int* argc, char** argv);
void InitGoogleTest(int* argc, wchar_t** argv);
void InitGoogleTest();

// ---------------------------------------------------------------------------
// Value-parameterised fixtures.

template <typename T>
class WithParamInterface {
 public:
  using ParamType = T;
  virtual ~WithParamInterface() = default;
  // The parameter of the running test.
  static const ParamType& GetParam() { return *static_cast<const ParamType*>(internal::CurrentParam_()); }
};

template <typename T>
class TestWithParam : public Test, public WithParamInterface<T> {};

// ---------------------------------------------------------------------------
// Traces and small helpers of the assertion reference.

class ScopedTrace {
 public:
  template <typename T>
  ScopedTrace(const char* file, int line, const T& message) {
    internal::PushTrace(file, line, (Message() << message).GetString());
  }
  ScopedTrace(const char* file, int line, const char* message) { internal::PushTrace(file, line, message ? message : "(null)"); }
  ScopedTrace(const char* file, int line, const std::string& message) { internal::PushTrace(file, line, message); }
  ~ScopedTrace() { internal::PopTrace(); }
  ScopedTrace(const ScopedTrace&) = delete;
  ScopedTrace& operator=(const ScopedTrace&) = delete;
};

AssertionResult FloatLE(const char* expr1, const char* expr2, float val1, float val2);
AssertionResult DoubleLE(const char* expr1, const char* expr2, double val1, double val2);
AssertionResult IsSubstring(const char* needle_expr, const char* haystack_expr, const char* needle,
                            const char* haystack);
AssertionResult IsSubstring(const char* needle_expr, const char* haystack_expr, const std::string& needle,
                            const std::string& haystack);
AssertionResult IsNotSubstring(const char* needle_expr, const char* haystack_expr, const char* needle,
                               const char* haystack);
AssertionResult IsNotSubstring(const char* needle_expr, const char* haystack_expr, const std::string& needle,
                               const std::string& haystack);

template <typename T1, typename T2>
constexpr bool StaticAssertTypeEq() noexcept {
  static_assert(std::is_same_v<T1, T2>, "T1 and T2 are not the same type");
  return true;
}

// Registers a test whose fixture is made by factory (a callable returning
// a new fixture object) and returns its TestInfo.
template <int&... ExplicitParameterBarrier, typename Factory>
TestInfo* RegisterTest(const char* test_suite_name, const char* test_name, const char* type_param,
                       const char* value_param, const char* file, int line, Factory factory) {
  using TestT = typename std::remove_pointer<decltype(factory())>::type;
  return internal::RegisterCallableTest_(test_suite_name, test_name, type_param, value_param, file, line,
                                         new internal::CallableFactory_<Factory>(std::move(factory)),
                                         internal::SetUpSuiteOf<TestT>(), internal::TearDownSuiteOf<TestT>());
}

}  // namespace testing

// ---------------------------------------------------------------------------
// Defining tests

#define GTEST_TEST_(test_suite_name, test_name, parent_class)                                                  \
  static_assert(sizeof(GTEST_STRINGIFY_(test_suite_name)) > 1, "test_suite_name must not be empty");          \
  static_assert(sizeof(GTEST_STRINGIFY_(test_name)) > 1, "test_name must not be empty");                      \
  class GTEST_TEST_CLASS_NAME_(test_suite_name, test_name) : public parent_class {                            \
   public:                                                                                                     \
    GTEST_TEST_CLASS_NAME_(test_suite_name, test_name)() = default;                                           \
                                                                                                               \
   private:                                                                                                    \
    void TestBody() override;                                                                                  \
    static ::testing::TestInfo* const test_info_ GTEST_ATTRIBUTE_UNUSED_;                                      \
  };                                                                                                           \
  ::testing::TestInfo* const GTEST_TEST_CLASS_NAME_(test_suite_name, test_name)::test_info_ =                 \
      ::testing::internal::RegisterTest_(                                                                      \
          #test_suite_name, #test_name, __FILE__, __LINE__,                                                    \
          &::testing::internal::CreateTest<GTEST_TEST_CLASS_NAME_(test_suite_name, test_name)>,               \
          ::testing::internal::SetUpSuiteOf<parent_class>(), ::testing::internal::TearDownSuiteOf<parent_class>()); \
  void GTEST_TEST_CLASS_NAME_(test_suite_name, test_name)::TestBody()

#define GTEST_TEST(test_suite_name, test_name) GTEST_TEST_(test_suite_name, test_name, ::testing::Test)
#if !defined(GTEST_DONT_DEFINE_TEST) || !GTEST_DONT_DEFINE_TEST
#define TEST(test_suite_name, test_name) GTEST_TEST(test_suite_name, test_name)
#endif
#define GTEST_TEST_F(test_fixture, test_name) GTEST_TEST_(test_fixture, test_name, test_fixture)
#if !defined(GTEST_DONT_DEFINE_TEST_F) || !GTEST_DONT_DEFINE_TEST_F
#define TEST_F(test_fixture, test_name) GTEST_TEST_F(test_fixture, test_name)
#endif

inline int RUN_ALL_TESTS() { return ::testing::UnitTest::GetInstance()->Run(); }

// ---------------------------------------------------------------------------
// Assertions. EXPECT_* records a failure and the test goes on; ASSERT_*
// records it and returns from the function it is in. "<<" after either adds
// to the message.

#define GTEST_MESSAGE_AT_(file, line, message, result_type) \
  ::testing::internal::AssertHelper(result_type, file, line, message) = ::testing::internal::MessageStart()
#define GTEST_MESSAGE_(message, result_type) GTEST_MESSAGE_AT_(__FILE__, __LINE__, message, result_type)
#define GTEST_FATAL_FAILURE_(message) return GTEST_MESSAGE_(message, ::testing::TestPartResult::kFatalFailure)
#define GTEST_NONFATAL_FAILURE_(message) GTEST_MESSAGE_(message, ::testing::TestPartResult::kNonFatalFailure)
#define GTEST_SUCCESS_(message) GTEST_MESSAGE_(message, ::testing::TestPartResult::kSuccess)
#define GTEST_SKIP_(message) return GTEST_MESSAGE_(message, ::testing::TestPartResult::kSkip)

// A check that yields a testing::internal::CheckResult.
#define GTEST_CHECK_(check, on_failure)                                   \
  GTEST_AMBIGUOUS_ELSE_BLOCKER_                                           \
  if (const ::testing::internal::CheckResult gtest_cr = (check))          \
    ;                                                                     \
  else                                                                    \
    on_failure(gtest_cr)

// A check that yields a testing::AssertionResult.
#define GTEST_ASSERT_(expression, on_failure)                            \
  GTEST_AMBIGUOUS_ELSE_BLOCKER_                                          \
  if (const ::testing::AssertionResult gtest_ar = (expression))          \
    ;                                                                    \
  else                                                                   \
    on_failure(gtest_ar.failure_message())

#define GTEST_TEST_BOOLEAN_(expression, text, actual, expected, fail)                                        \
  GTEST_AMBIGUOUS_ELSE_BLOCKER_                                                                              \
  if (const auto& gtest_b = (expression); static_cast<bool>(gtest_b) == expected)                              \
    ;                                                                                                          \
  else                                                                                                         \
    fail(::testing::internal::BoolFailure(text, ::testing::internal::ExplanationOf(gtest_b), #actual, #expected))

#define SUCCEED() GTEST_SUCCESS_("Succeeded")
#define ADD_FAILURE() GTEST_NONFATAL_FAILURE_("Failed")
#define ADD_FAILURE_AT(file, line) \
  GTEST_MESSAGE_AT_(file, line, "Failed", ::testing::TestPartResult::kNonFatalFailure)
#define GTEST_FAIL() GTEST_FATAL_FAILURE_("Failed")
#define GTEST_FAIL_AT(file, line) \
  return GTEST_MESSAGE_AT_(file, line, "Failed", ::testing::TestPartResult::kFatalFailure)
#if !defined(GTEST_DONT_DEFINE_FAIL) || !GTEST_DONT_DEFINE_FAIL
#define FAIL() GTEST_FAIL()
#endif
#define GTEST_SUCCEED() SUCCEED()
#define GTEST_SKIP() GTEST_SKIP_("")

#define EXPECT_TRUE(condition) GTEST_TEST_BOOLEAN_(condition, #condition, false, true, GTEST_NONFATAL_FAILURE_)
#define EXPECT_FALSE(condition) GTEST_TEST_BOOLEAN_(condition, #condition, true, false, GTEST_NONFATAL_FAILURE_)
#define ASSERT_TRUE(condition) GTEST_TEST_BOOLEAN_(condition, #condition, false, true, GTEST_FATAL_FAILURE_)
#define ASSERT_FALSE(condition) GTEST_TEST_BOOLEAN_(condition, #condition, true, false, GTEST_FATAL_FAILURE_)
#define GTEST_EXPECT_TRUE(condition) EXPECT_TRUE(condition)
#define GTEST_EXPECT_FALSE(condition) EXPECT_FALSE(condition)
#define GTEST_ASSERT_TRUE(condition) ASSERT_TRUE(condition)
#define GTEST_ASSERT_FALSE(condition) ASSERT_FALSE(condition)

#define EXPECT_EQ(val1, val2) \
  GTEST_CHECK_(::testing::internal::EqHelper::Compare(#val1, #val2, val1, val2), GTEST_NONFATAL_FAILURE_)
#define EXPECT_NE(val1, val2) \
  GTEST_CHECK_(::testing::internal::CmpHelperNE(#val1, #val2, val1, val2), GTEST_NONFATAL_FAILURE_)
#define EXPECT_LE(val1, val2) \
  GTEST_CHECK_(::testing::internal::CmpHelperLE(#val1, #val2, val1, val2), GTEST_NONFATAL_FAILURE_)
#define EXPECT_LT(val1, val2) \
  GTEST_CHECK_(::testing::internal::CmpHelperLT(#val1, #val2, val1, val2), GTEST_NONFATAL_FAILURE_)
#define EXPECT_GE(val1, val2) \
  GTEST_CHECK_(::testing::internal::CmpHelperGE(#val1, #val2, val1, val2), GTEST_NONFATAL_FAILURE_)
#define EXPECT_GT(val1, val2) \
  GTEST_CHECK_(::testing::internal::CmpHelperGT(#val1, #val2, val1, val2), GTEST_NONFATAL_FAILURE_)
#define GTEST_ASSERT_EQ(val1, val2) \
  GTEST_CHECK_(::testing::internal::EqHelper::Compare(#val1, #val2, val1, val2), GTEST_FATAL_FAILURE_)
#define GTEST_ASSERT_NE(val1, val2) \
  GTEST_CHECK_(::testing::internal::CmpHelperNE(#val1, #val2, val1, val2), GTEST_FATAL_FAILURE_)
#define GTEST_ASSERT_LE(val1, val2) \
  GTEST_CHECK_(::testing::internal::CmpHelperLE(#val1, #val2, val1, val2), GTEST_FATAL_FAILURE_)
#define GTEST_ASSERT_LT(val1, val2) \
  GTEST_CHECK_(::testing::internal::CmpHelperLT(#val1, #val2, val1, val2), GTEST_FATAL_FAILURE_)
#define GTEST_ASSERT_GE(val1, val2) \
  GTEST_CHECK_(::testing::internal::CmpHelperGE(#val1, #val2, val1, val2), GTEST_FATAL_FAILURE_)
#define GTEST_ASSERT_GT(val1, val2) \
  GTEST_CHECK_(::testing::internal::CmpHelperGT(#val1, #val2, val1, val2), GTEST_FATAL_FAILURE_)
#if !defined(GTEST_DONT_DEFINE_ASSERT_EQ) || !GTEST_DONT_DEFINE_ASSERT_EQ
#define ASSERT_EQ(val1, val2) GTEST_ASSERT_EQ(val1, val2)
#endif
#if !defined(GTEST_DONT_DEFINE_ASSERT_NE) || !GTEST_DONT_DEFINE_ASSERT_NE
#define ASSERT_NE(val1, val2) GTEST_ASSERT_NE(val1, val2)
#endif
#if !defined(GTEST_DONT_DEFINE_ASSERT_LE) || !GTEST_DONT_DEFINE_ASSERT_LE
#define ASSERT_LE(val1, val2) GTEST_ASSERT_LE(val1, val2)
#endif
#if !defined(GTEST_DONT_DEFINE_ASSERT_LT) || !GTEST_DONT_DEFINE_ASSERT_LT
#define ASSERT_LT(val1, val2) GTEST_ASSERT_LT(val1, val2)
#endif
#if !defined(GTEST_DONT_DEFINE_ASSERT_GE) || !GTEST_DONT_DEFINE_ASSERT_GE
#define ASSERT_GE(val1, val2) GTEST_ASSERT_GE(val1, val2)
#endif
#if !defined(GTEST_DONT_DEFINE_ASSERT_GT) || !GTEST_DONT_DEFINE_ASSERT_GT
#define ASSERT_GT(val1, val2) GTEST_ASSERT_GT(val1, val2)
#endif

#define EXPECT_STREQ(s1, s2) \
  GTEST_CHECK_(::testing::internal::CmpHelperSTREQ(#s1, #s2, s1, s2), GTEST_NONFATAL_FAILURE_)
#define EXPECT_STRNE(s1, s2) \
  GTEST_CHECK_(::testing::internal::CmpHelperSTRNE(#s1, #s2, s1, s2), GTEST_NONFATAL_FAILURE_)
#define EXPECT_STRCASEEQ(s1, s2) \
  GTEST_CHECK_(::testing::internal::CmpHelperSTRCASEEQ(#s1, #s2, s1, s2), GTEST_NONFATAL_FAILURE_)
#define EXPECT_STRCASENE(s1, s2) \
  GTEST_CHECK_(::testing::internal::CmpHelperSTRCASENE(#s1, #s2, s1, s2), GTEST_NONFATAL_FAILURE_)
#define ASSERT_STREQ(s1, s2) \
  GTEST_CHECK_(::testing::internal::CmpHelperSTREQ(#s1, #s2, s1, s2), GTEST_FATAL_FAILURE_)
#define ASSERT_STRNE(s1, s2) \
  GTEST_CHECK_(::testing::internal::CmpHelperSTRNE(#s1, #s2, s1, s2), GTEST_FATAL_FAILURE_)
#define ASSERT_STRCASEEQ(s1, s2) \
  GTEST_CHECK_(::testing::internal::CmpHelperSTRCASEEQ(#s1, #s2, s1, s2), GTEST_FATAL_FAILURE_)
#define ASSERT_STRCASENE(s1, s2) \
  GTEST_CHECK_(::testing::internal::CmpHelperSTRCASENE(#s1, #s2, s1, s2), GTEST_FATAL_FAILURE_)

#define EXPECT_FLOAT_EQ(val1, val2) \
  GTEST_CHECK_(::testing::internal::CmpHelperFloatEQ(#val1, #val2, val1, val2), GTEST_NONFATAL_FAILURE_)
#define EXPECT_DOUBLE_EQ(val1, val2) \
  GTEST_CHECK_(::testing::internal::CmpHelperDoubleEQ(#val1, #val2, val1, val2), GTEST_NONFATAL_FAILURE_)
#define ASSERT_FLOAT_EQ(val1, val2) \
  GTEST_CHECK_(::testing::internal::CmpHelperFloatEQ(#val1, #val2, val1, val2), GTEST_FATAL_FAILURE_)
#define ASSERT_DOUBLE_EQ(val1, val2) \
  GTEST_CHECK_(::testing::internal::CmpHelperDoubleEQ(#val1, #val2, val1, val2), GTEST_FATAL_FAILURE_)
#define EXPECT_NEAR(val1, val2, abs_error)                                                           \
  GTEST_CHECK_(::testing::internal::CmpHelperNear(#val1, #val2, #abs_error, val1, val2, abs_error), \
               GTEST_NONFATAL_FAILURE_)
#define ASSERT_NEAR(val1, val2, abs_error)                                                           \
  GTEST_CHECK_(::testing::internal::CmpHelperNear(#val1, #val2, #abs_error, val1, val2, abs_error), \
               GTEST_FATAL_FAILURE_)

// Exceptions. The statement runs once; the failure says what it threw.
#define GTEST_TEST_THROW_(statement, expected_exception, fail)                                                   \
  GTEST_AMBIGUOUS_ELSE_BLOCKER_                                                                                  \
  if (::testing::internal::CheckResult gtest_cr{}; ::testing::internal::AlwaysTrue()) {                         \
    try {                                                                                                        \
      statement;                                                                                                 \
      gtest_cr = ::testing::internal::ThrowFailure(#statement, #expected_exception, nullptr);                    \
    } catch (expected_exception const&) {                                                                        \
    } catch (std::conditional_t<std::is_same_v<std::remove_cv_t<std::remove_reference_t<expected_exception>>,    \
                                               std::exception>,                                                  \
                                const ::testing::internal::NeverThrown&, const std::exception&> gtest_e) {       \
      gtest_cr = ::testing::internal::ThrowFailureOf(#statement, #expected_exception, gtest_e);                  \
    } catch (...) {                                                                                              \
      gtest_cr = ::testing::internal::ThrowFailure(#statement, #expected_exception, "");                         \
    }                                                                                                            \
    if (!gtest_cr) goto GTEST_CONCAT_TOKEN_(gtest_label_testthrow_, __LINE__);                                   \
  } else                                                                                                         \
    GTEST_CONCAT_TOKEN_(gtest_label_testthrow_, __LINE__) : fail(gtest_cr)

#define GTEST_TEST_NO_THROW_(statement, fail)                                                                 \
  GTEST_AMBIGUOUS_ELSE_BLOCKER_                                                                               \
  if (::testing::internal::CheckResult gtest_cr{}; ::testing::internal::AlwaysTrue()) {                      \
    try {                                                                                                     \
      statement;                                                                                              \
    } catch (const std::exception& gtest_e) {                                                                 \
      gtest_cr = ::testing::internal::NoThrowFailureOf(#statement, gtest_e);                                  \
    } catch (...) {                                                                                           \
      gtest_cr = ::testing::internal::ThrowFailure(#statement, nullptr, "");                                  \
    }                                                                                                         \
    if (!gtest_cr) goto GTEST_CONCAT_TOKEN_(gtest_label_testnothrow_, __LINE__);                              \
  } else                                                                                                      \
    GTEST_CONCAT_TOKEN_(gtest_label_testnothrow_, __LINE__) : fail(gtest_cr)

#define GTEST_TEST_ANY_THROW_(statement, fail)                                                         \
  GTEST_AMBIGUOUS_ELSE_BLOCKER_                                                                        \
  if (::testing::internal::CheckResult gtest_cr{}; ::testing::internal::AlwaysTrue()) {               \
    try {                                                                                              \
      statement;                                                                                       \
      gtest_cr = ::testing::internal::ThrowFailure(#statement, nullptr, nullptr);                      \
    } catch (...) {                                                                                    \
    }                                                                                                  \
    if (!gtest_cr) goto GTEST_CONCAT_TOKEN_(gtest_label_testanythrow_, __LINE__);                      \
  } else                                                                                               \
    GTEST_CONCAT_TOKEN_(gtest_label_testanythrow_, __LINE__) : fail(gtest_cr)

#define EXPECT_THROW(statement, expected_exception) \
  GTEST_TEST_THROW_(statement, expected_exception, GTEST_NONFATAL_FAILURE_)
#define EXPECT_NO_THROW(statement) GTEST_TEST_NO_THROW_(statement, GTEST_NONFATAL_FAILURE_)
#define EXPECT_ANY_THROW(statement) GTEST_TEST_ANY_THROW_(statement, GTEST_NONFATAL_FAILURE_)
#define ASSERT_THROW(statement, expected_exception) \
  GTEST_TEST_THROW_(statement, expected_exception, GTEST_FATAL_FAILURE_)
#define ASSERT_NO_THROW(statement) GTEST_TEST_NO_THROW_(statement, GTEST_FATAL_FAILURE_)
#define ASSERT_ANY_THROW(statement) GTEST_TEST_ANY_THROW_(statement, GTEST_FATAL_FAILURE_)

#define SCOPED_TRACE(message) \
  const ::testing::ScopedTrace GTEST_CONCAT_TOKEN_(gtest_trace_, __LINE__)(__FILE__, __LINE__, (message))

#include "gtest/gtest-death-test.h"
#include "gtest/gtest-param-test.h"
#include "gtest/gtest-typed-test.h"
#include "gtest/gtest_pred_impl.h"
#include "gtest/gtest_prod.h"
