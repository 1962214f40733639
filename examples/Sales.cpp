#include "Sales.h"

namespace Sales {

void TInvoice::AddLine(const std::string& product, int quantity, int64_t unitPriceCents) {
  if (quantity < 1) throw EInvalidLine("quantity of " + product + " must be at least 1");
  if (unitPriceCents < 0) throw EInvalidLine("price of " + product + " must not be negative");
  FLines.push_back({product, quantity, unitPriceCents});
}

void TInvoice::SetDiscountPercent(int percent) {
  if (percent < 0 || percent > 100) throw EInvalidLine("discount must lie between 0 and 100 percent");
  FDiscountPercent = percent;
}

int64_t TInvoice::SubtotalCents() const {
  int64_t sum = 0;
  for (const TInvoiceLine& l : FLines) sum += l.Quantity * l.UnitPriceCents;
  return sum;
}

int64_t TInvoice::DiscountCents() const { return SubtotalCents() * FDiscountPercent / 100; }

int64_t TInvoice::TaxCents() const { return ((SubtotalCents() - DiscountCents()) * FTaxPercent + 50) / 100; }

void TOrder::Add(const std::string& sku, int quantity) {
  if (FStatus != TOrderStatus::Open) throw EOrderState("order of " + FCustomer + " is no longer open");
  FLines[sku] += quantity;
}

void TOrder::Ship() {
  if (FStatus != TOrderStatus::Open) throw EOrderState("only an open order can ship");
  if (FLines.empty()) throw EOrderState("an empty order cannot ship");
  FStatus = TOrderStatus::Shipped;
}

void TOrder::Cancel() {
  if (FStatus == TOrderStatus::Shipped) throw EOrderState("a shipped order cannot be cancelled");
  FStatus = TOrderStatus::Cancelled;
}

int TOrder::Quantity(const std::string& sku) const {
  auto it = FLines.find(sku);
  return it == FLines.end() ? 0 : it->second;
}

void TStock::Reserve(const std::string& sku, int quantity) {
  int& onHand = FOnHand[sku];
  if (onHand < quantity) throw EOutOfStock("only " + std::to_string(onHand) + " of " + sku + " on hand");
  onHand -= quantity;
}

int TStock::OnHand(const std::string& sku) const {
  auto it = FOnHand.find(sku);
  return it == FOnHand.end() ? 0 : it->second;
}

}  // namespace Sales
