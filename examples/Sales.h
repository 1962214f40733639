// A tiny sales domain for the example tests: invoices with lines, discounts
// and tax, orders that move from open to shipped, and a stock that hands out
// reservations. Money is kept in whole cents.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace Sales {

class EInvalidLine : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

class EOrderState : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

class EOutOfStock : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TInvoiceLine {
  std::string Product;
  int Quantity;
  int64_t UnitPriceCents;
};

class TInvoice {
 public:
  // Raises EInvalidLine for a quantity below 1 or a negative price.
  void AddLine(const std::string& product, int quantity, int64_t unitPriceCents);
  void SetDiscountPercent(int percent);
  void SetTaxPercent(int percent) { FTaxPercent = percent; }

  int LineCount() const { return static_cast<int>(FLines.size()); }
  int64_t SubtotalCents() const;
  int64_t DiscountCents() const;
  // Tax on the discounted subtotal, rounded half up to a cent.
  int64_t TaxCents() const;
  int64_t TotalCents() const { return SubtotalCents() - DiscountCents() + TaxCents(); }

 private:
  std::vector<TInvoiceLine> FLines;
  int FDiscountPercent = 0;
  int FTaxPercent = 0;
};

enum class TOrderStatus { Open, Shipped, Cancelled };

class TOrder {
 public:
  explicit TOrder(std::string customer) : FCustomer(std::move(customer)) {}
  void Add(const std::string& sku, int quantity);
  // Raises EOrderState unless the order is open and has lines.
  void Ship();
  // Raises EOrderState once the order has shipped.
  void Cancel();
  TOrderStatus Status() const { return FStatus; }
  int Quantity(const std::string& sku) const;
  const std::string& Customer() const { return FCustomer; }

 private:
  std::string FCustomer;
  std::map<std::string, int> FLines;
  TOrderStatus FStatus = TOrderStatus::Open;
};

class TStock {
 public:
  void Receive(const std::string& sku, int quantity) { FOnHand[sku] += quantity; }
  // Takes quantity off the shelf; raises EOutOfStock when there is not enough.
  void Reserve(const std::string& sku, int quantity);
  int OnHand(const std::string& sku) const;

 private:
  std::map<std::string, int> FOnHand;
};

}  // namespace Sales
