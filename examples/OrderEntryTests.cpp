// GUI tests of the order-entry window, written as a clerk would use it: type,
// Tab to the next field, press the buttons, answer the question, and read
// the total. They run headless (QT_QPA_PLATFORM=offscreen).
#include <QLabel>
#include <QListWidget>

#include "OrderEntryWindow.h"
#include "framework/TestFramework.h"
#include "gui/GUITesting.h"
#include "platform/Paths.h"
#include "platform/qt/QtText.h"

namespace {

using GUITesting::ssAlt;
using GUITesting::ssCtrl;

class TOrderEntryTests : public GUITesting::TGUITestCase {
  TESSEL_TESTCASE(TOrderEntryTests, GUITesting::TGUITestCase)
 public:
  void SetUp() override {
    FActionDelay = 0;  // no one is watching; 100 ms per action otherwise
    FGUI = new Sales::TOrderEntryWindow;
    Show();  // shows FGUI and lets it take the focus
    CheckFocused("CustomerEdit");
  }

  std::string TextOf(const std::string& labelName) {
    return QtText::FromQ(static_cast<QLabel*>(FindControl(labelName))->text());
  }

  // Item, Tab, quantity (typed over the 1), Add.
  void AddLine(const std::string& item, const std::string& quantity) {
    EnterTextInto("ItemEdit", item);
    Tab();
    CheckFocused("QuantitySpin");
    EnterKey(Qt::Key_A, {ssCtrl});
    EnterText(quantity);
    Click("AddButton");
  }

  TESSEL_TEST(TestCustomerThenTabToTheItem) {
    CheckFalse(FindControl("AddButton")->isEnabled(), "nothing to add yet");
    EnterText("Acme Stores");
    Tab();
    CheckFocused("ItemEdit");
    EnterText("Widget");
    CheckEnabled("AddButton");
    CheckFalse(FindControl("ShipButton")->isEnabled(), "no line to ship yet");
  }

  TESSEL_TEST(TestLinesAddUpToTheTotal) {
    EnterText("Acme Stores");
    Tab();
    AddLine("Widget", "3");
    CheckEquals(std::string("Total: 10.50"), TextOf("TotalLabel"));
    CheckFocused("ItemEdit");  // back for the next line
    AddLine("gadget", "2");
    CheckEquals(std::string("Total: 34.50"), TextOf("TotalLabel"));
    CheckEquals(2, static_cast<QListWidget*>(FindControl("LinesList"))->count(), "lines");
    CheckEnabled("ShipButton");
    const std::string shot = Platform::ProgramDir() + "order-entry.png";
    CheckTrue(FGUI->grab().save(QtText::ToQ(shot)), "screenshot " + shot);
  }

  TESSEL_TEST(TestUnknownItemIsRefused) {
    EnterText("Acme Stores");
    Tab();
    AddLine("Doohickey", "1");
    CheckEquals(std::string("Unknown item: Doohickey"), TextOf("StatusLabel"));
    CheckEquals(std::string("Total: 0.00"), TextOf("TotalLabel"));
  }

  TESSEL_TEST(TestShipAfterConfirming) {
    EnterText("Acme Stores");
    CheckTabTo("ItemEdit");
    AddLine("Sprocket", "4");
    // The Ship button's mnemonic. Qt animates a mnemonic's click: the button
    // is released 100 ms after the key, so this step waits longer than that.
    FActionDelay = 150;
    EnterKey(U's', {ssAlt});
    FActionDelay = 0;
    CheckEquals(std::string("ConfirmShipBox"), QtText::FromQ(GUITesting::ActiveForm()->objectName()), "the question");
    CheckVisible("ConfirmYes");
    const std::string shot = Platform::ProgramDir() + "order-entry-question.png";
    CheckTrue(GUITesting::ActiveForm()->grab().save(QtText::ToQ(shot)), "screenshot " + shot);
    CheckEquals(std::string("Ship 4 item(s) to Acme Stores for 3.00?"),
                QtText::FromQ(static_cast<QLabel*>(FindControl("qt_msgbox_label"))->text()));
    Click("ConfirmYes");
    CheckEquals(std::string("Shipped to Acme Stores"), TextOf("StatusLabel"));
    CheckFalse(FindControl("ShipButton")->isEnabled(), "shipped once");
  }

  TESSEL_TEST(TestNotShippedWhenTheAnswerIsNo) {
    EnterText("Acme Stores");
    Tab();
    AddLine("Widget", "1");
    Click("ShipButton");
    Click("ConfirmNo");
    CheckEnabled("ShipButton");
    CheckEquals(std::string("1 line(s) for Acme Stores"), TextOf("StatusLabel"));
  }
};
TESSEL_REGISTER("Demo.GUI", TOrderEntryTests);

}  // namespace
