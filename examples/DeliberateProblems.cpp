// Two tests that go wrong on purpose, so that a first run shows what a
// failure and an error look like in the report. Delete this file in a real
// test program.
#include <stdexcept>

#include "Sales.h"
#include "framework/TestFramework.h"

using namespace TestFramework;

namespace {

class TDeliberateProblems : public TTestCase {
  TESSEL_TESTCASE(TDeliberateProblems, TTestCase)
 public:
  // A failure: a check that does not hold.
  TESSEL_TEST(ShowsAFailure) {
    Sales::TInvoice invoice;
    invoice.AddLine("Notebook", 2, 250);
    CheckEquals(600, invoice.TotalCents(), "deliberate: the total is really 500");
  }

  // An error: an exception the test did not expect.
  TESSEL_TEST(ShowsAnError) {
    Sales::TStock stock;
    stock.Reserve("INK-BLUE", 1);  // nothing on hand: raises
  }
};

TESSEL_REGISTER("Demo.DeliberateProblems", TDeliberateProblems);

}  // namespace
