// Type-parameterised tests: TYPED_TEST_SUITE and TYPED_TEST, and the
// pattern form TYPED_TEST_SUITE_P, TYPED_TEST_P, REGISTER_TYPED_TEST_SUITE_P
// and INSTANTIATE_TYPED_TEST_SUITE_P. Each type makes a suite of its own,
// named Suite/0, Suite/1, ... (or after the name generator).
#pragma once
#pragma GCC system_header

#include <string>
#include <vector>

#include "gtest/internal/gtest-internal.h"

namespace testing {

template <typename... Ts>
struct Types {};

namespace internal {

// A single type in place of a list means a list of that one type.
template <class T>
struct TypeList_ {
  using type = Types<T>;
};
template <class... Ts>
struct TypeList_<Types<Ts...>> {
  using type = Types<Ts...>;
};

template <template <class> class... Ts>
struct Templates_ {};

struct DefaultNameGenerator {
  template <typename T>
  static std::string GetName(int i) {
    return std::to_string(i);
  }
};
template <class NameGenerator = DefaultNameGenerator, class... Unused>
struct NameGeneratorSelector_ {
  using type = NameGenerator;
};

template <class NameGenerator, class... Ts>
std::vector<std::string> TypeNames_(Types<Ts...>) {
  int i = 0;
  return {NameGenerator::template GetName<Ts>(i++)...};
}

std::string TypedSuiteName_(const char* prefix, const char* suite, const std::string& typeName);

template <template <class> class Fixture, template <class> class TestT>
struct TypedTestRegistrar_ {
  template <class NameGenerator, class... Ts>
  static bool Register(const char* prefix, const char* suite, const char* name, const char* file, int line,
                       Types<Ts...> types) {
    const std::vector<std::string> names = TypeNames_<NameGenerator>(types);
    size_t i = 0;
    (RegisterTest_(TypedSuiteName_(prefix, suite, names[i++]).c_str(), name, file, line, &CreateTest<TestT<Ts>>,
                   SetUpSuiteOf<Fixture<Ts>>(), TearDownSuiteOf<Fixture<Ts>>(), GetTypeName<Ts>().c_str()),
     ...);
    return true;
  }
};

// What TYPED_TEST_SUITE_P and TYPED_TEST_P collect for the registration.
class TypedTestSuitePState {
 public:
  bool AddTestName(const char* file, int line, const char* suite, const char* test);
  // Checks the list of REGISTER_TYPED_TEST_SUITE_P against the tests defined;
  // a mismatch stops the program with the reason.
  const char* VerifyRegisteredTestNames(const char* suite, const char* file, int line, const char* names);
  const char* FileOf(const std::string& test) const;
  int LineOf(const std::string& test) const;

 private:
  struct Defined {
    std::string name;
    const char* file;
    int line;
  };
  std::vector<Defined> defined_;
  bool registered_ = false;
};

std::vector<std::string> SplitTestNames_(const char* names);
// A suite that REGISTER_TYPED_TEST_SUITE_P registered, and its instantiations:
// one never instantiated is a failing test of GoogleTestVerification.
void RegisteredTypedSuite_(const char* suite, const char* file, int line);
void InstantiatedTypedSuite_(const char* suite);

template <template <class> class Fixture, class Tests>
struct TypedSuitePRegistrar_;
template <template <class> class Fixture, template <class> class... Tests>
struct TypedSuitePRegistrar_<Fixture, Templates_<Tests...>> {
  template <class NameGenerator, class... Ts>
  static bool Register(const char* prefix, const char* suite, const TypedTestSuitePState& state,
                       const char* registeredNames, Types<Ts...> types) {
    InstantiatedTypedSuite_(suite);
    const std::vector<std::string> testNames = SplitTestNames_(registeredNames);
    size_t t = 0;
    (RegisterOne<NameGenerator, Tests>(prefix, suite, state, testNames[t++], types), ...);
    return true;
  }

 private:
  template <class NameGenerator, template <class> class TestT, class... Ts>
  static void RegisterOne(const char* prefix, const char* suite, const TypedTestSuitePState& state,
                          const std::string& test, Types<Ts...> types) {
    const std::vector<std::string> names = TypeNames_<NameGenerator>(types);
    size_t i = 0;
    (RegisterTest_(TypedSuiteName_(prefix, suite, names[i++]).c_str(), test.c_str(), state.FileOf(test),
                   state.LineOf(test), &CreateTest<TestT<Ts>>, SetUpSuiteOf<Fixture<Ts>>(),
                   TearDownSuiteOf<Fixture<Ts>>(), GetTypeName<Ts>().c_str()),
     ...);
  }
};

}  // namespace internal
}  // namespace testing

#define GTEST_TYPE_PARAMS_(TestSuiteName) gtest_type_params_##TestSuiteName##_
#define GTEST_NAME_GENERATOR_(TestSuiteName) gtest_type_params_##TestSuiteName##_NameGenerator

#define TYPED_TEST_SUITE(CaseName, Types, ...)                                                  \
  typedef ::testing::internal::TypeList_<Types>::type GTEST_TYPE_PARAMS_(CaseName);              \
  typedef ::testing::internal::NameGeneratorSelector_<__VA_ARGS__>::type GTEST_NAME_GENERATOR_(CaseName)
#define TYPED_TEST_CASE TYPED_TEST_SUITE

#define TYPED_TEST(CaseName, TestName)                                                                       \
  static_assert(sizeof(GTEST_STRINGIFY_(TestName)) > 1, "test-name must not be empty");                     \
  template <typename gtest_TypeParam_>                                                                       \
  class GTEST_TEST_CLASS_NAME_(CaseName, TestName) : public CaseName<gtest_TypeParam_> {                    \
   private:                                                                                                  \
    typedef CaseName<gtest_TypeParam_> TestFixture;                                                          \
    typedef gtest_TypeParam_ TypeParam;                                                                      \
    void TestBody() override;                                                                                \
  };                                                                                                         \
  static bool gtest_##CaseName##_##TestName##_registered_ GTEST_ATTRIBUTE_UNUSED_ =                          \
      ::testing::internal::TypedTestRegistrar_<CaseName, GTEST_TEST_CLASS_NAME_(CaseName, TestName)>::       \
          Register<GTEST_NAME_GENERATOR_(CaseName)>("", #CaseName, #TestName, __FILE__, __LINE__,            \
                                                    GTEST_TYPE_PARAMS_(CaseName){});                         \
  template <typename gtest_TypeParam_>                                                                       \
  void GTEST_TEST_CLASS_NAME_(CaseName, TestName)<gtest_TypeParam_>::TestBody()

#define GTEST_SUITE_NAMESPACE_(TestSuiteName) gtest_suite_##TestSuiteName##_
#define GTEST_TYPED_TEST_SUITE_P_STATE_(TestSuiteName) gtest_typed_test_suite_p_state_##TestSuiteName##_
#define GTEST_REGISTERED_TEST_NAMES_(TestSuiteName) gtest_registered_test_names_##TestSuiteName##_

#define TYPED_TEST_SUITE_P(SuiteName) \
  static ::testing::internal::TypedTestSuitePState GTEST_TYPED_TEST_SUITE_P_STATE_(SuiteName)
#define TYPED_TEST_CASE_P TYPED_TEST_SUITE_P

#define TYPED_TEST_P(SuiteName, TestName)                                                                       \
  namespace GTEST_SUITE_NAMESPACE_(SuiteName) {                                                                 \
  template <typename gtest_TypeParam_>                                                                          \
  class TestName : public SuiteName<gtest_TypeParam_> {                                                         \
   private:                                                                                                     \
    typedef SuiteName<gtest_TypeParam_> TestFixture;                                                            \
    typedef gtest_TypeParam_ TypeParam;                                                                         \
    void TestBody() override;                                                                                   \
  };                                                                                                            \
  static bool gtest_##TestName##_defined_ GTEST_ATTRIBUTE_UNUSED_ =                                             \
      GTEST_TYPED_TEST_SUITE_P_STATE_(SuiteName).AddTestName(__FILE__, __LINE__, GTEST_STRINGIFY_(SuiteName),   \
                                                             GTEST_STRINGIFY_(TestName));                       \
  }                                                                                                             \
  template <typename gtest_TypeParam_>                                                                          \
  void GTEST_SUITE_NAMESPACE_(SuiteName)::TestName<gtest_TypeParam_>::TestBody()

#define REGISTER_TYPED_TEST_SUITE_P(SuiteName, ...)                                                         \
  namespace GTEST_SUITE_NAMESPACE_(SuiteName) {                                                             \
  typedef ::testing::internal::Templates_<__VA_ARGS__> gtest_AllTests_;                                     \
  }                                                                                                         \
  static const char* const GTEST_REGISTERED_TEST_NAMES_(SuiteName) GTEST_ATTRIBUTE_UNUSED_ =                \
      GTEST_TYPED_TEST_SUITE_P_STATE_(SuiteName).VerifyRegisteredTestNames(GTEST_STRINGIFY_(SuiteName),     \
                                                                           __FILE__, __LINE__, #__VA_ARGS__)
#define REGISTER_TYPED_TEST_CASE_P REGISTER_TYPED_TEST_SUITE_P

#define INSTANTIATE_TYPED_TEST_SUITE_P(Prefix, SuiteName, Types, ...)                                          \
  static_assert(sizeof(GTEST_STRINGIFY_(Prefix)) > 1, "test-suit-prefix must not be empty");                 \
  static bool gtest_##Prefix##_##SuiteName GTEST_ATTRIBUTE_UNUSED_ =                                          \
      ::testing::internal::TypedSuitePRegistrar_<SuiteName, GTEST_SUITE_NAMESPACE_(SuiteName)::gtest_AllTests_>:: \
          Register<::testing::internal::NameGeneratorSelector_<__VA_ARGS__>::type>(                            \
              GTEST_STRINGIFY_(Prefix), GTEST_STRINGIFY_(SuiteName), GTEST_TYPED_TEST_SUITE_P_STATE_(SuiteName), \
              GTEST_REGISTERED_TEST_NAMES_(SuiteName), ::testing::internal::TypeList_<Types>::type{})
#define INSTANTIATE_TYPED_TEST_CASE_P INSTANTIATE_TYPED_TEST_SUITE_P
