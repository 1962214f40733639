// Value- and type-parameterised tests: names, parameters and types as
// GoogleTest spells them, built against GoogleTest and against the dialect.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

class Numbers : public testing::TestWithParam<int> {};
TEST_P(Numbers, IsSmall) { EXPECT_LT(GetParam(), 3); }
TEST_P(Numbers, IsPositive) { EXPECT_GT(GetParam(), 0); }
INSTANTIATE_TEST_SUITE_P(Listed, Numbers, testing::Values(1, 2, 3));
INSTANTIATE_TEST_SUITE_P(Ranged, Numbers, testing::Range(0, 6, 2));
const int kArray[] = {5, 1};
INSTANTIATE_TEST_SUITE_P(FromArray, Numbers, testing::ValuesIn(kArray));
INSTANTIATE_TEST_SUITE_P(Named, Numbers, testing::Values(7, 1),
                         [](const testing::TestParamInfo<int>& info) {
                           return "value" + std::to_string(info.param) + "_at" + std::to_string(info.index);
                         });
INSTANTIATE_TEST_SUITE_P(PrintedNames, Numbers, testing::Values(4, 2), testing::PrintToStringParamName());

class Words : public testing::TestWithParam<std::string> {};
TEST_P(Words, NotEmpty) { EXPECT_FALSE(GetParam().empty()); }
const std::vector<std::string> kWords = {"alpha", "", "gamma"};
INSTANTIATE_TEST_SUITE_P(, Words, testing::ValuesIn(kWords));

class Pairs : public testing::TestWithParam<std::tuple<bool, int>> {};
TEST_P(Pairs, Combined) {
  const bool flag = std::get<0>(GetParam());
  EXPECT_TRUE(flag || std::get<1>(GetParam()) > 5);
}
INSTANTIATE_TEST_SUITE_P(All, Pairs, testing::Combine(testing::Bool(), testing::Values(1, 10)));

class Fixture : public testing::Test {};
TEST_F(Fixture, Plain) {}

template <class T>
class Typed : public testing::Test {
 protected:
  T value_{};
};
using TypedTypes = testing::Types<int, char, std::string>;
TYPED_TEST_SUITE(Typed, TypedTypes);
TYPED_TEST(Typed, DefaultIsEmpty) { EXPECT_EQ(TypeParam(), this->value_); }
TYPED_TEST(Typed, SizeIsSmall) { EXPECT_LE(sizeof(TypeParam), 4u); }

class TypeNames {
 public:
  template <typename T>
  static std::string GetName(int i) {
    if (std::is_same_v<T, int>) return "int";
    if (std::is_same_v<T, double>) return "double";
    return "other" + std::to_string(i);
  }
};
template <class T>
class NamedTyped : public testing::Test {};
using NamedTypes = testing::Types<int, double, long>;
TYPED_TEST_SUITE(NamedTyped, NamedTypes, TypeNames);
TYPED_TEST(NamedTyped, Works) { EXPECT_GT(sizeof(TypeParam), 3u); }

template <class T>
class Pattern : public testing::Test {};
TYPED_TEST_SUITE_P(Pattern);
TYPED_TEST_P(Pattern, Zero) { EXPECT_EQ(TypeParam(0), TypeParam()); }
TYPED_TEST_P(Pattern, Narrow) { EXPECT_EQ(1u, sizeof(TypeParam)) << "TypeParam is wider"; }
REGISTER_TYPED_TEST_SUITE_P(Pattern, Zero, Narrow);
using PatternTypes = testing::Types<int, unsigned char>;
INSTANTIATE_TYPED_TEST_SUITE_P(Ints, Pattern, PatternTypes);
INSTANTIATE_TYPED_TEST_SUITE_P(Single, Pattern, testing::Types<double>);

}  // namespace
