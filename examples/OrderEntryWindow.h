// A small order-entry window of the sales example: type a customer, then
// item lines (an item and a quantity) that "Add" puts on the order, watch the
// total, and "Ship" the order after confirming it in a message box.
//
// Every control bears an object name, so tests find it as a person would
// find it by its label.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "Sales.h"
#include "platform/qt/Forms.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QMessageBox;
class QPushButton;
class QSpinBox;

namespace Sales {

class TOrderEntryWindow : public Forms::TForm {
 public:
  explicit TOrderEntryWindow(QWidget* parent = nullptr);
  ~TOrderEntryWindow() override;

  // Prices of the items the window knows, in cents, by upper-case name.
  static const std::map<std::string, int64_t>& PriceList();

  const TOrder* Order() const { return FOrder.get(); }
  int64_t TotalCents() const { return FInvoice.TotalCents(); }

 private:
  void AddLine();
  void AskToShip();
  void Ship();
  void UpdateButtons();

  QLineEdit* FCustomerEdit;
  QLineEdit* FItemEdit;
  QSpinBox* FQuantitySpin;
  QPushButton* FAddButton;
  QPushButton* FShipButton;
  QListWidget* FLinesList;
  QLabel* FTotalLabel;
  QLabel* FStatusLabel;
  TInvoice FInvoice;
  std::unique_ptr<TOrder> FOrder;
  int FItemCount = 0;
};

// Money as the window shows it: "12.50".
std::string FormatCents(int64_t cents);

}  // namespace Sales
