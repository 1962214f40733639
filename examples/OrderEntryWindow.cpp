#include "OrderEntryWindow.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cstdio>

#include "platform/qt/QtText.h"

namespace Sales {

using QtText::FromQ;
using QtText::ToQ;

namespace {

template <class W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(QLatin1String(name));
  return widget;
}

}  // namespace

std::string FormatCents(int64_t cents) {
  char text[32];
  std::snprintf(text, sizeof text, "%s%lld.%02lld", cents < 0 ? "-" : "", static_cast<long long>(std::llabs(cents) / 100),
                static_cast<long long>(std::llabs(cents) % 100));
  return text;
}

const std::map<std::string, int64_t>& TOrderEntryWindow::PriceList() {
  static const std::map<std::string, int64_t> prices = {{"WIDGET", 350}, {"GADGET", 1200}, {"SPROCKET", 75}};
  return prices;
}

TOrderEntryWindow::TOrderEntryWindow(QWidget* parent) : Forms::TForm(parent) {
  setObjectName(QStringLiteral("OrderEntryWindow"));
  setWindowTitle(QStringLiteral("Order entry"));

  // Created in Tab order: customer, item, quantity, Add, Ship.
  FCustomerEdit = Named(new QLineEdit(this), "CustomerEdit");
  FItemEdit = Named(new QLineEdit(this), "ItemEdit");
  FItemEdit->setPlaceholderText(QStringLiteral("Widget, Gadget or Sprocket"));
  FQuantitySpin = Named(new QSpinBox(this), "QuantitySpin");
  FQuantitySpin->setRange(1, 999);
  FAddButton = Named(new QPushButton(QStringLiteral("&Add"), this), "AddButton");
  FShipButton = Named(new QPushButton(QStringLiteral("&Ship"), this), "ShipButton");
  FLinesList = Named(new QListWidget(this), "LinesList");
  FLinesList->setFocusPolicy(Qt::NoFocus);  // shows the lines; nothing to edit there
  FTotalLabel = Named(new QLabel(QStringLiteral("Total: 0.00"), this), "TotalLabel");
  FStatusLabel = Named(new QLabel(QStringLiteral("New order"), this), "StatusLabel");

  auto* fields = new QFormLayout;
  fields->addRow(QStringLiteral("&Customer:"), FCustomerEdit);
  fields->addRow(QStringLiteral("&Item:"), FItemEdit);
  fields->addRow(QStringLiteral("&Quantity:"), FQuantitySpin);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(FAddButton);
  buttons->addStretch();
  buttons->addWidget(FShipButton);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addLayout(buttons);
  layout->addWidget(FLinesList);
  layout->addWidget(FTotalLabel);
  layout->addWidget(FStatusLabel);
  resize(360, 320);

  connect(FCustomerEdit, &QLineEdit::textChanged, this, [this] { UpdateButtons(); });
  connect(FItemEdit, &QLineEdit::textChanged, this, [this] { UpdateButtons(); });
  connect(FItemEdit, &QLineEdit::returnPressed, this, [this] { AddLine(); });
  connect(FAddButton, &QPushButton::clicked, this, [this] { AddLine(); });
  connect(FShipButton, &QPushButton::clicked, this, [this] { AskToShip(); });
  UpdateButtons();
}

TOrderEntryWindow::~TOrderEntryWindow() = default;

void TOrderEntryWindow::UpdateButtons() {
  const bool open = !FOrder || FOrder->Status() == TOrderStatus::Open;
  FAddButton->setEnabled(open && !FCustomerEdit->text().trimmed().isEmpty() && !FItemEdit->text().trimmed().isEmpty());
  FShipButton->setEnabled(open && FItemCount > 0);
}

void TOrderEntryWindow::AddLine() {
  if (!FAddButton->isEnabled()) return;
  const std::string item = FromQ(FItemEdit->text().trimmed());
  const auto price = PriceList().find(FromQ(FItemEdit->text().trimmed().toUpper()));
  if (price == PriceList().end()) {
    FStatusLabel->setText(ToQ("Unknown item: " + item));
    FItemEdit->selectAll();
    return;
  }
  const int quantity = FQuantitySpin->value();
  if (!FOrder) {
    // The first line fixes the customer of the order.
    FOrder = std::make_unique<TOrder>(FromQ(FCustomerEdit->text().trimmed()));
    FCustomerEdit->setReadOnly(true);
  }
  FOrder->Add(price->first, quantity);
  FInvoice.AddLine(price->first, quantity, price->second);
  FItemCount += quantity;
  FLinesList->addItem(ToQ(std::to_string(quantity) + " x " + item + " at " + FormatCents(price->second)));
  FTotalLabel->setText(ToQ("Total: " + FormatCents(FInvoice.TotalCents())));
  FStatusLabel->setText(ToQ(std::to_string(FInvoice.LineCount()) + " line(s) for " + FOrder->Customer()));
  // Ready for the next line, as a clerk types them one after the other.
  FItemEdit->clear();
  FQuantitySpin->setValue(1);
  FItemEdit->setFocus();
  UpdateButtons();
}

// The question waits without blocking the event loop (open(), not exec()), so
// the window, and a test driving it, go on while it is shown.
void TOrderEntryWindow::AskToShip() {
  auto* box = new QMessageBox(QMessageBox::Question, QStringLiteral("Ship order"),
                              ToQ("Ship " + std::to_string(FItemCount) + " item(s) to " + FOrder->Customer() +
                                  " for " + FormatCents(FInvoice.TotalCents()) + "?"),
                              QMessageBox::NoButton, this);
  box->setObjectName(QStringLiteral("ConfirmShipBox"));
  box->setAttribute(Qt::WA_DeleteOnClose);
  QPushButton* yes = Named(box->addButton(QStringLiteral("&Yes"), QMessageBox::YesRole), "ConfirmYes");
  Named(box->addButton(QStringLiteral("&No"), QMessageBox::NoRole), "ConfirmNo");
  box->setDefaultButton(yes);
  connect(box, &QMessageBox::finished, this, [this, box, yes] {
    if (box->clickedButton() == yes) Ship();
  });
  box->open();
}

void TOrderEntryWindow::Ship() {
  FOrder->Ship();
  FStatusLabel->setText(ToQ("Shipped to " + FOrder->Customer()));
  for (QWidget* w : std::initializer_list<QWidget*>{FCustomerEdit, FItemEdit, FQuantitySpin}) w->setEnabled(false);
  UpdateButtons();
}

}  // namespace Sales
