// Value-parameterised tests: TEST_P, INSTANTIATE_TEST_SUITE_P and the
// generators Values, ValuesIn, Range, Bool and Combine.
//
// The tests of a fixture are made when InitGoogleTest runs (or RUN_ALL_TESTS,
// if it was not called), so that an instantiation may stand in another file
// than the TEST_P it instantiates, and a generator may read data that other
// files set up before main.
#pragma once
#pragma GCC system_header

#include <cstddef>
#include <iterator>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "gtest/internal/gtest-internal.h"

namespace testing {

// The values of a parameterised suite's instantiation, in order.
template <typename T>
class ParamGenerator {
 public:
  using iterator = typename std::vector<T>::const_iterator;
  using value_type = T;
  ParamGenerator() : values_(std::make_shared<const std::vector<T>>()) {}
  explicit ParamGenerator(std::vector<T> values) : values_(std::make_shared<const std::vector<T>>(std::move(values))) {}
  iterator begin() const { return values_->begin(); }
  iterator end() const { return values_->end(); }
  const std::vector<T>& values() const { return *values_; }

 private:
  std::shared_ptr<const std::vector<T>> values_;
};

template <class ParamType>
struct TestParamInfo {
  TestParamInfo(const ParamType& a_param, size_t an_index) : param(a_param), index(an_index) {}
  ParamType param;
  size_t index;
};

// Names each test after its printed parameter.
struct PrintToStringParamName {
  template <class ParamType>
  std::string operator()(const TestParamInfo<ParamType>& info) const {
    return PrintToString(info.param);
  }
};

namespace internal {

template <class... Ts>
class ValueArray {
 public:
  explicit ValueArray(Ts... values) : values_(std::move(values)...) {}
  template <typename T>
  operator ParamGenerator<T>() const {  // NOLINT: converts to the suite's parameter type
    return std::apply([](const auto&... v) { return ParamGenerator<T>(std::vector<T>{static_cast<T>(v)...}); },
                      values_);
  }

 private:
  std::tuple<Ts...> values_;
};

template <class T>
std::vector<std::tuple<T>> Singles_(const ParamGenerator<T>& g) {
  std::vector<std::tuple<T>> out;
  for (const T& v : g) out.emplace_back(v);
  return out;
}

// Every combination, the last generator's values varying fastest.
template <class T, class... Rest>
std::vector<std::tuple<T, Rest...>> Product_(const ParamGenerator<T>& first, const ParamGenerator<Rest>&... rest) {
  if constexpr (sizeof...(Rest) == 0) {
    return Singles_(first);
  } else {
    std::vector<std::tuple<Rest...>> tails = Product_(rest...);
    std::vector<std::tuple<T, Rest...>> out;
    for (const T& v : first)
      for (const auto& tail : tails) out.push_back(std::tuple_cat(std::tuple<T>(v), tail));
    return out;
  }
}

template <class... Gen>
class CartesianProductHolder {
 public:
  explicit CartesianProductHolder(const Gen&... generators) : generators_(generators...) {}
  template <typename... T>
  operator ParamGenerator<std::tuple<T...>>() const {  // NOLINT
    return std::apply(
        [](const auto&... g) {
          return ParamGenerator<std::tuple<T...>>(Product_(static_cast<ParamGenerator<T>>(g)...));
        },
        generators_);
  }

 private:
  std::tuple<Gen...> generators_;
};

template <class ParamType>
std::string DefaultParamName(const TestParamInfo<ParamType>& info) {
  return std::to_string(info.index);
}

// What a fixture's tests and instantiations become once the flags are read.
class ParamSuiteBase_ {
 public:
  virtual ~ParamSuiteBase_() = default;
  virtual void RegisterTests() = 0;
};
void AddParamSuite_(ParamSuiteBase_* suite);
TestInfo* RegisterParamTest_(const std::string& suite, const std::string& name, const char* file, int line,
                             TestFactoryFn factory, SetUpTestSuiteFunc setUp, TearDownTestSuiteFunc tearDown,
                             const std::string& valueParam, const void* param);
// Stops the program when a generated test name is not made of letters,
// digits and underscores, or is given twice.
void CheckParamName_(const std::string& name, const std::string& suite, const char* file, int line, bool duplicate);
// A suite of TEST_P tests that no instantiation gave a test, or an
// instantiation of a suite without TEST_P: a failing test of
// GoogleTestVerification says so, unless the suite was allowed to be.
void UninstantiatedParamSuite_(const std::string& suite, const char* file, int line, bool hasTests);
bool AllowUninstantiated_(const char* suite);

template <class Fixture>
class ParamSuite_ : public ParamSuiteBase_ {
 public:
  using P = typename Fixture::ParamType;
  using Generator = ParamGenerator<P> (*)();
  using Namer = std::string (*)(const TestParamInfo<P>&);

  // The suite is where its first TEST_P or instantiation is.
  static ParamSuite_& Get(const char* suite, const char* file, int line) {
    static ParamSuite_* self = [&] {
      auto* s = new ParamSuite_(suite, file, line);  // lives as long as the program
      AddParamSuite_(s);
      return s;
    }();
    return *self;
  }
  int AddTestPattern(const char* name, TestFactoryFn factory, const char* file, int line) {
    patterns_.push_back({name, factory, file, line});
    return 0;
  }
  int AddInstantiation(const char* prefix, Generator generator, Namer namer, const char* file, int line) {
    instantiations_.push_back({prefix, generator, namer, file, line, {}});
    return 0;
  }
  void RegisterTests() override {
    bool generated = false;
    for (Instantiation& inst : instantiations_) inst.values = inst.generator();
    for (const Pattern& pattern : patterns_) {
      for (Instantiation& inst : instantiations_) {
        const std::string suite = inst.prefix.empty() ? suite_ : inst.prefix + "/" + suite_;
        std::vector<std::string> names;
        size_t index = 0;
        for (const P& value : inst.values) {
          std::string paramName = inst.namer(TestParamInfo<P>(value, index));
          bool duplicate = false;
          for (const std::string& n : names) duplicate = duplicate || n == paramName;
          CheckParamName_(paramName, suite, inst.file, inst.line, duplicate);
          names.push_back(paramName);
          generated = true;
          RegisterParamTest_(suite, std::string(pattern.name) + "/" + paramName, pattern.file, pattern.line,
                             pattern.factory, SetUpSuiteOf<Fixture>(), TearDownSuiteOf<Fixture>(),
                             PrintToString(value), &value);
          ++index;
        }
      }
    }
    if (!generated) UninstantiatedParamSuite_(suite_, file_, line_, !patterns_.empty());
  }

 private:
  ParamSuite_(const char* suite, const char* file, int line) : suite_(suite), file_(file), line_(line) {}
  struct Pattern {
    const char* name;
    TestFactoryFn factory;
    const char* file;
    int line;
  };
  struct Instantiation {
    std::string prefix;
    Generator generator;
    Namer namer;
    const char* file;
    int line;
    ParamGenerator<P> values;  // kept for the life of the program: the tests point into it
  };
  std::string suite_;
  const char* file_;
  int line_;
  std::vector<Pattern> patterns_;
  std::vector<Instantiation> instantiations_;
};

}  // namespace internal

template <typename T, typename IncrementT>
ParamGenerator<T> Range(T start, T end, IncrementT step) {
  std::vector<T> values;
  for (T v = start; v < end; v = static_cast<T>(v + step)) values.push_back(v);
  return ParamGenerator<T>(std::move(values));
}
template <typename T>
ParamGenerator<T> Range(T start, T end) {
  return Range(start, end, 1);
}

template <typename ForwardIterator>
ParamGenerator<typename std::iterator_traits<ForwardIterator>::value_type> ValuesIn(ForwardIterator begin,
                                                                                    ForwardIterator end) {
  using T = typename std::iterator_traits<ForwardIterator>::value_type;
  return ParamGenerator<T>(std::vector<T>(begin, end));
}
template <typename T, size_t N>
ParamGenerator<T> ValuesIn(const T (&array)[N]) {
  return ValuesIn(array, array + N);
}
template <class Container>
ParamGenerator<typename Container::value_type> ValuesIn(const Container& container) {
  return ValuesIn(container.begin(), container.end());
}

template <typename... T>
internal::ValueArray<T...> Values(T... v) {
  return internal::ValueArray<T...>(std::move(v)...);
}

inline internal::ValueArray<bool, bool> Bool() { return Values(false, true); }

template <typename... Generator>
internal::CartesianProductHolder<Generator...> Combine(const Generator&... g) {
  return internal::CartesianProductHolder<Generator...>(g...);
}

}  // namespace testing

#define TEST_P(test_suite_name, test_name)                                                                        \
  class GTEST_TEST_CLASS_NAME_(test_suite_name, test_name) : public test_suite_name {                            \
   public:                                                                                                        \
    GTEST_TEST_CLASS_NAME_(test_suite_name, test_name)() = default;                                              \
    void TestBody() override;                                                                                     \
                                                                                                                  \
   private:                                                                                                       \
    static int AddToRegistry() {                                                                                  \
      return ::testing::internal::ParamSuite_<test_suite_name>::Get(#test_suite_name, __FILE__, __LINE__)        \
          .AddTestPattern(#test_name,                                                                             \
                          &::testing::internal::CreateTest<GTEST_TEST_CLASS_NAME_(test_suite_name, test_name)>, \
                          __FILE__, __LINE__);                                                                    \
    }                                                                                                             \
    static int gtest_registering_dummy_ GTEST_ATTRIBUTE_UNUSED_;                                                  \
  };                                                                                                              \
  int GTEST_TEST_CLASS_NAME_(test_suite_name, test_name)::gtest_registering_dummy_ =                             \
      GTEST_TEST_CLASS_NAME_(test_suite_name, test_name)::AddToRegistry();                                       \
  void GTEST_TEST_CLASS_NAME_(test_suite_name, test_name)::TestBody()

#define GTEST_PARAM_FIRST_(first, ...) first
#define GTEST_PARAM_SECOND_(first, second, ...) second
#define GTEST_PARAM_THIRD_(first, second, third, ...) third

// INSTANTIATE_TEST_SUITE_P(Prefix, Suite, generator[, name_generator])
#define INSTANTIATE_TEST_SUITE_P(prefix, test_suite_name, ...)                                                    \
  static_assert(sizeof(GTEST_STRINGIFY_(test_suite_name)) > 1, "test-suite-name must not be empty");             \
  static_assert(GTEST_PARAM_THIRD_(__VA_ARGS__, 1, 1, 0), "Too Many Args!");                                      \
  static ::testing::ParamGenerator<test_suite_name::ParamType> gtest_##prefix##test_suite_name##_EvalGenerator_() { \
    return GTEST_PARAM_FIRST_(__VA_ARGS__, _);                                                                    \
  }                                                                                                               \
  static ::std::string gtest_##prefix##test_suite_name##_EvalGenerateName_(                                       \
      const ::testing::TestParamInfo<test_suite_name::ParamType>& info) {                                         \
    return GTEST_PARAM_SECOND_(__VA_ARGS__, ::testing::internal::DefaultParamName<test_suite_name::ParamType>,   \
                               _)(info);                                                                          \
  }                                                                                                               \
  static int gtest_##prefix##test_suite_name##_dummy_ GTEST_ATTRIBUTE_UNUSED_ =                                   \
      ::testing::internal::ParamSuite_<test_suite_name>::Get(#test_suite_name, __FILE__, __LINE__)               \
          .AddInstantiation(#prefix, &gtest_##prefix##test_suite_name##_EvalGenerator_,                           \
                            &gtest_##prefix##test_suite_name##_EvalGenerateName_, __FILE__, __LINE__)

#define INSTANTIATE_TEST_CASE_P INSTANTIATE_TEST_SUITE_P

// A suite of TEST_P or TYPED_TEST_P tests that no instantiation needs to name.
#define GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(T) \
  static const bool gtest_allow_ignore_##T GTEST_ATTRIBUTE_UNUSED_ = ::testing::internal::AllowUninstantiated_(#T)
