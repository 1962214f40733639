// A GoogleTest program shown in Tessel's window: plain, fixture,
// parameterised, typed and disabled tests, two of them failing with
// expectations whose texts, files and lines the window must show.
#include <gtest/gtest.h>

#include <string>

TEST(Plain, Passes) { EXPECT_EQ(2, 1 + 1); }

TEST(Plain, FailsTwice) {
  const int answer = 41;
  EXPECT_EQ(42, answer) << "the first expectation";
  EXPECT_TRUE(answer % 2 == 0) << "the second expectation";
}

TEST(Plain, DISABLED_Unticked) { FAIL() << "a disabled test never runs"; }

class Counter : public testing::Test {
 protected:
  void SetUp() override { count_ = 3; }
  int count_ = 0;
};

TEST_F(Counter, StartsAtThree) { EXPECT_EQ(3, count_); }

class Widths : public testing::TestWithParam<int> {};

TEST_P(Widths, AreSmall) { ASSERT_LT(GetParam(), 10) << "width " << GetParam(); }

INSTANTIATE_TEST_SUITE_P(Some, Widths, testing::Values(1, 5, 12));

template <typename T>
class Holders : public testing::Test {};

using HeldTypes = testing::Types<int, std::string>;
TYPED_TEST_SUITE(Holders, HeldTypes);

TYPED_TEST(Holders, DefaultIsEmpty) { EXPECT_EQ(TypeParam(), TypeParam()); }
