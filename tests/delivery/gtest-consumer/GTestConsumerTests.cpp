// Written for GoogleTest; built against an installed Tessel.
#include <gtest/gtest.h>

#include <vector>

namespace {

int Twice(int n) { return 2 * n; }

TEST(Consumer, Passes) { EXPECT_EQ(Twice(21), 42); }

class Numbers : public testing::TestWithParam<int> {};
TEST_P(Numbers, AreEven) { EXPECT_EQ(Twice(GetParam()) % 2, 0); }
INSTANTIATE_TEST_SUITE_P(Small, Numbers, testing::Values(1, 2));

TEST(Consumer, FailsOnPurpose) {
  std::vector<int> v{1, 2};
  EXPECT_EQ(v.size(), 3u) << "planned";
}

}  // namespace
