// The Qt side of the platform: exceptions out of event handlers, the screen's
// form lists, the class list, and code-point text cuts.
#include <QLineEdit>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

#include "framework/TestFramework.h"
#include "platform/qt/Forms.h"
#include "platform/qt/QtText.h"

using namespace TestFramework;

namespace {

// Raises from inside Qt's event dispatch, as a slot of the code under test would.
class TThrowingWidget : public QWidget {
 protected:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) throw std::runtime_error("thrown in a handler");
    return QWidget::event(e);
  }
};

class TFormsTests : public TTestCase {
  TESSEL_TESTCASE(TFormsTests, TTestCase)
 public:
  void SetUp() override { CheckTrue(Forms::EnsureApplication(), "no application"); }

  TESSEL_TEST(TestHandlerExceptionReachesTheTestOnlyWhileHeld) {
    TThrowingWidget w;
    std::vector<std::string> reported;
    Forms::TApplication::Instance()->OnException = [&](const std::string& cls, const std::string& msg) {
      reported.push_back(cls + ": " + msg);
    };
    QCoreApplication::postEvent(&w, new QEvent(QEvent::User));
    Forms::ProcessMessages();  // not held: reported, not raised
    CheckEquals(1, static_cast<int>(reported.size()), "reported outside a test");
    CheckEquals(std::string("std::runtime_error: thrown in a handler"), reported[0]);

    Forms::THoldExceptions hold;
    QCoreApplication::postEvent(&w, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&w, new QEvent(QEvent::User));
    std::string caught;
    try {
      Forms::ProcessMessages();
    } catch (const std::runtime_error& e) {
      caught = e.what();
    }
    CheckEquals(std::string("thrown in a handler"), caught, "the first held exception is raised");
    Forms::ProcessMessages();  // the second was dropped, not raised later
    CheckEquals(1, static_cast<int>(reported.size()));
    Forms::TApplication::Instance()->OnException = nullptr;
  }

  // Only the offscreen platform's size-hint line is dropped; other warnings
  // still reach stderr.
  TESSEL_TEST(TestOtherWarningsStillPrinted) {
    std::FILE* saved = std::tmpfile();
    int keep = dup(fileno(stderr));
    std::fflush(stderr);
    dup2(fileno(saved), fileno(stderr));
    qWarning("This plugin does not support propagateSizeHints()");
    qWarning("a warning of the code under test");
    std::fflush(stderr);
    dup2(keep, fileno(stderr));
    close(keep);
    std::rewind(saved);
    char buf[512] = {};
    std::string text(buf, std::fread(buf, 1, sizeof buf - 1, saved));
    std::fclose(saved);
    CheckTrue(text.find("a warning of the code under test") != std::string::npos, "warning kept: " + text);
    CheckTrue(text.find("propagateSizeHints") == std::string::npos, "noise dropped: " + text);
  }

  TESSEL_TEST(TestScreenKeepsOrderAndForgetsDeletedForms) {
    int before = Forms::Screen().FormCount();
    auto* a = new Forms::TForm;
    auto* b = new Forms::TForm;
    auto* c = new Forms::TForm;
    CheckEquals(before + 3, Forms::Screen().FormCount());
    delete b;
    CheckEquals(before + 2, Forms::Screen().FormCount());
    CheckTrue(Forms::Screen().Form(before) == a && Forms::Screen().Form(before + 1) == c, "order kept");
    c->show();
    Forms::ProcessMessages();
    CheckTrue(Forms::Screen().ActiveForm() == c, "a shown form is active even with no window manager");
    auto* edit = new QLineEdit(c);
    edit->show();
    edit->setFocus();
    Forms::ProcessMessages();
    CheckTrue(Forms::Screen().ActiveControl() == edit, "active control");
    delete c;
    CheckTrue(Forms::Screen().ActiveForm() != c, "a deleted form is never active");
    delete a;
    CheckEquals(before, Forms::Screen().FormCount());
  }

  TESSEL_TEST(TestClassListFindsByNameInAnyCase) {
    Forms::TClassList list;
    list.Register({"TfrmOrders", Forms::TClassKind::Form, nullptr});
    list.Register({"TdmSales", Forms::TClassKind::DataModule, nullptr});
    list.Register({"TFRMORDERS", Forms::TClassKind::Form, [](QWidget*) { return new QObject; }});
    CheckEquals(2, list.Count(), "registering again replaces in place");
    CheckEquals(std::string("TFRMORDERS"), list.Item(0).Name);
    CheckTrue(list.Find("tdmsales") != nullptr && list.Find("TdmOther") == nullptr);
    list.Unregister("tfrmorders");
    CheckEquals(std::string("TdmSales"), list.Item(0).Name);
  }

  TESSEL_TEST(TestCopyCharsCountsCodePointsAndClamps) {
    struct Row {
      const char* text;
      long start, count;
      const char* expected;
    } rows[] = {
        {"ação€𝄞x", 2, 3, "ção"}, {"ação€𝄞x", 5, 2, "€𝄞"}, {"abc", 0, 2, "ab"},
        {"abc", 3, 99, "c"},      {"abc", 4, 1, ""},      {"abc", 1, 0, ""},
    };
    for (const Row& r : rows)
      CheckEquals(std::string(r.expected), QtText::CopyChars(r.text, r.start, r.count), r.text);
    CheckEquals(7, static_cast<int>(QtText::CharCount("ação€𝄞x")));
    CheckEquals(std::string("AÇÃO-Z"), QtText::UpperAscii("aÇÃo-z"));
  }
};

TESSEL_REGISTER("Platform.Qt", TFormsTests);

}  // namespace
