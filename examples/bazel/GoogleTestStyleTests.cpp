// Tests written for GoogleTest, built on Tessel's GoogleTest dialect: the
// cc_test names "@tessel//:gtest_main" where it named GoogleTest's main.
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Reversed(std::string s) { return {s.rbegin(), s.rend()}; }

TEST(Reversing, EmptyStaysEmpty) { EXPECT_EQ(Reversed(""), ""); }
TEST(Reversing, Word) { EXPECT_EQ(Reversed("tessel"), "lesset"); }

class Basket : public testing::Test {
 protected:
  std::vector<int> items_{3, 1, 2};
};

TEST_F(Basket, HoldsThree) { ASSERT_EQ(items_.size(), 3u); }
TEST_F(Basket, SumsUp) {
  int sum = 0;
  for (int i : items_) sum += i;
  EXPECT_EQ(sum, 6);
}

class Lengths : public testing::TestWithParam<int> {};
TEST_P(Lengths, ReversedKeepsLength) {
  const std::string s(static_cast<size_t>(GetParam()), 'x');
  EXPECT_EQ(Reversed(s).size(), s.size());
}
INSTANTIATE_TEST_SUITE_P(Some, Lengths, testing::Values(0, 1, 7));

}  // namespace
