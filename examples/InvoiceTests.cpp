// Invoices: a fixture built in SetUp, checks on money, an expected exception
// and a test method that runs several times in a row.
#include <memory>

#include "Sales.h"
#include "framework/TestFramework.h"

using namespace TestFramework;

namespace {

class TInvoiceTests : public TTestCase {
  TESSEL_TESTCASE(TInvoiceTests, TTestCase)
 public:
  // Every test method starts from a fresh invoice with two lines.
  void SetUp() override {
    FInvoice = std::make_unique<Sales::TInvoice>();
    FInvoice->AddLine("Notebook", 3, 250);   // 7.50
    FInvoice->AddLine("Fountain pen", 1, 1999);  // 19.99
  }
  void TearDown() override { FInvoice.reset(); }

  TESSEL_TEST(SubtotalAddsUpTheLines) { CheckEquals(2749, FInvoice->SubtotalCents(), "subtotal in cents"); }

  TESSEL_TEST(DiscountComesOffBeforeTax) {
    FInvoice->SetDiscountPercent(10);
    FInvoice->SetTaxPercent(20);
    CheckEquals(274, FInvoice->DiscountCents(), "discount");
    CheckEquals(495, FInvoice->TaxCents(), "tax on 24.75, rounded to a cent");
    CheckEquals(2970, FInvoice->TotalCents(), "total");
  }

  TESSEL_TEST(ZeroQuantityIsRejected) {
    // The test passes only if this exception comes.
    ExpectException<Sales::EInvalidLine>();
    FInvoice->AddLine("Eraser", 0, 80);
  }

  TESSEL_TEST(DiscountAboveAHundredPercentIsRejected) {
    CheckException([this] { FInvoice->SetDiscountPercent(101); }, ExceptionClassOf<Sales::EInvalidLine>());
    CheckEquals(0, FInvoice->DiscountCents(), "the old discount stays");
  }

  // Runs five times on the same fixture: SetUp and TearDown come once around
  // all five runs, so the invoice keeps growing.
  TESSEL_TEST_RUNCOUNT(EveryLineCounts, 5) {
    int before = FInvoice->LineCount();
    FInvoice->AddLine("Sticker", 1, 10);
    CheckEquals(before + 1, FInvoice->LineCount());
  }

 private:
  std::unique_ptr<Sales::TInvoice> FInvoice;
};

TESSEL_REGISTER("Sales.Invoices", TInvoiceTests);

}  // namespace
