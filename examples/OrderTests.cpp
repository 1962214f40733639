// Orders and stock, registered under paths written with "/" and "\".
#include "Sales.h"
#include "framework/TestFramework.h"

using namespace TestFramework;

namespace {

class TOrderTests : public TTestCase {
  TESSEL_TESTCASE(TOrderTests, TTestCase)
 public:
  void SetUp() override {
    FOrder = Sales::TOrder("Ada's Bakery");
    FOrder.Add("FLOUR-25KG", 2);
  }

  TESSEL_TEST(SameItemAddsUp) {
    FOrder.Add("FLOUR-25KG", 3);
    CheckEquals(5, FOrder.Quantity("FLOUR-25KG"));
  }

  TESSEL_TEST(ShippingClosesTheOrder) {
    FOrder.Ship();
    CheckTrue(FOrder.Status() == Sales::TOrderStatus::Shipped, "shipped");
    CheckException([this] { FOrder.Add("SUGAR-5KG", 1); }, ExceptionClassOf<Sales::EOrderState>(),
                   "a shipped order takes no more items");
  }

  TESSEL_TEST(EmptyOrderCannotShip) {
    Sales::TOrder empty("Nobody");
    ExpectException<Sales::EOrderState>();
    empty.Ship();
  }

 private:
  Sales::TOrder FOrder{""};
};

class TStockTests : public TTestCase {
  TESSEL_TESTCASE(TStockTests, TTestCase)
 public:
  void SetUp() override { FStock.Receive("FLOUR-25KG", 10); }
  // The same test object may run again (the demo runs everything three
  // times), so the fixture starts empty every time.
  void TearDown() override { FStock = Sales::TStock(); }

  TESSEL_TEST(ReservingTakesFromTheShelf) {
    FStock.Reserve("FLOUR-25KG", 4);
    CheckEquals(6, FStock.OnHand("FLOUR-25KG"));
  }

  TESSEL_TEST(CannotReserveMoreThanOnHand) {
    CheckException([this] { FStock.Reserve("FLOUR-25KG", 11); }, ExceptionClassOf<Sales::EOutOfStock>());
    CheckEquals(10, FStock.OnHand("FLOUR-25KG"), "a refused reservation takes nothing");
  }

 private:
  Sales::TStock FStock;
};

TESSEL_REGISTER("Sales/Orders", TOrderTests);
TESSEL_REGISTER("Warehouse\\Stock", TStockTests);

}  // namespace
