// Fixtures, suites, environments, skips, properties and disabled tests,
// built against GoogleTest and against the dialect.
#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>

namespace {

class Environment : public testing::Environment {
 public:
  void SetUp() override { std::printf("environment set up\n"); }
  void TearDown() override { std::printf("environment torn down\n"); }
};

class Ordered : public testing::Test {
 protected:
  static void SetUpTestSuite() { std::printf("SetUpTestSuite\n"); }
  static void TearDownTestSuite() { std::printf("TearDownTestSuite\n"); }
  Ordered() { std::printf("constructor\n"); }
  ~Ordered() override { std::printf("destructor\n"); }
  void SetUp() override { std::printf("SetUp\n"); }
  void TearDown() override { std::printf("TearDown\n"); }
  int value_ = 42;
};

class SuiteSetUpFails : public testing::Test {
 protected:
  static void SetUpTestSuite() { ADD_FAILURE() << "in SetUpTestSuite"; }
};

class SuiteSetUpThrows : public testing::Test {
 protected:
  static void SetUpTestSuite() { throw std::runtime_error("suite"); }
  static void TearDownTestSuite() { FAIL() << "in TearDownTestSuite"; }
};

class LegacySuite : public testing::Test {
 protected:
  static void SetUpTestCase() { std::printf("SetUpTestCase\n"); }
  static void TearDownTestCase() { std::printf("TearDownTestCase\n"); }
};

class ConstructorThrows : public testing::Test {
 protected:
  ConstructorThrows() { throw std::runtime_error("constructor"); }
};

class SetUpAsserts : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(false) << "in SetUp"; }
  void TearDown() override { std::printf("TearDown still runs\n"); }
};

class TearDownThrows : public testing::Test {
 protected:
  void TearDown() override { throw std::logic_error("tear-down"); }
};

class SetUpSkips : public testing::Test {
 protected:
  void SetUp() override { GTEST_SKIP() << "not on this machine"; }
};

class Recorded : public testing::Test {
 protected:
  static void SetUpTestSuite() { RecordProperty("suite_key", "suite value"); }
};

}  // namespace

TEST_F(Ordered, First) {
  std::printf("body %d\n", value_);
  EXPECT_EQ(42, value_);
}
TEST_F(Ordered, Second) { value_ = 0; }

TEST_F(SuiteSetUpFails, A) {}
TEST_F(SuiteSetUpFails, B) {}
TEST_F(SuiteSetUpThrows, A) {}
TEST_F(LegacySuite, A) {}
TEST_F(ConstructorThrows, A) {}
TEST_F(SetUpAsserts, BodyNotRun) { std::printf("must not print\n"); }
TEST_F(TearDownThrows, A) {}
TEST_F(SetUpSkips, A) { std::printf("must not print\n"); }
TEST_F(Recorded, Properties) {
  RecordProperty("key", "value & <markup> \"quoted\"");
  RecordProperty("count", 3);
}

TEST(Skips, WithoutMessage) { GTEST_SKIP(); }
TEST(Skips, WithMessage) { GTEST_SKIP() << "later"; }
TEST(Skips, AfterAFailure) {
  ADD_FAILURE() << "first";
  GTEST_SKIP() << "a failed test stays failed";
}
TEST(Skips, CheckedByIsSkipped) {
  EXPECT_FALSE(IsSkipped());
}

TEST(Disabled, DISABLED_Test) { ADD_FAILURE() << "must not run"; }
TEST(DISABLED_Suite, Test) { ADD_FAILURE() << "must not run"; }
TEST(Disabled, Runs) {}

TEST(Output, PrintsToStdoutAndStderr) {
  std::printf("to stdout\n");
  std::fflush(stdout);
}

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::AddGlobalTestEnvironment(new Environment);
  return RUN_ALL_TESTS();
}
