// Decorators: a journal opened once for a whole suite (TTestSetup), and the
// same suite run in three rounds (TRepeatedTest), stopping at the first
// round that goes wrong.
#include <cstdio>
#include <memory>

#include "extensions/TestExtensions.h"
#include "framework/TestFramework.h"

using namespace TestFramework;
using namespace TestExtensions;

namespace {

std::FILE* gJournal = nullptr;  // opened once, shared by every test of the suite

class TJournalTests : public TTestCase {
  TESSEL_TESTCASE(TJournalTests, TTestCase)
 public:
  TESSEL_TEST(TestAppend) { CheckTrue(std::fputs("entry\n", gJournal) >= 0, "append"); }
  TESSEL_TEST(TestGrows) { CheckTrue(std::ftell(gJournal) > 0, "journal grew"); }
};

// SetUp runs before the first test of the wrapped suite, TearDown after the last.
class TJournalSetup : public TTestSetup {
  TESSEL_DECORATOR_CLASS(TJournalSetup, TTestSetup)
  void SetUp() override { Check((gJournal = std::tmpfile()) != nullptr, "cannot open the journal"); }
  void TearDown() override {
    if (gJournal) std::fclose(gJournal);
    gJournal = nullptr;
  }
};

ITestPtr Rounds() {
  auto rounds = std::make_shared<TRepeatedTest>(std::make_shared<TJournalSetup>(TJournalTests::Suite()), 3);
  rounds->SetHaltOnError(true);
  return rounds;
}

[[maybe_unused]] const bool registered = (RegisterTest("Sales.Journal", Rounds()), true);

}  // namespace
