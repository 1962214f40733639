// The checks: what passes, and the exact message of what fails.
#include <cmath>
#include <functional>
#include <limits>
#include <source_location>
#include <stdexcept>

#include "framework/TestFramework.h"
#include "platform/LocaleSettings.h"

using namespace TestFramework;

namespace {

class EFoo : public Exception { TESSEL_EXCEPTION_CLASS(EFoo, Exception) };
class EFooChild : public EFoo { TESSEL_EXCEPTION_CLASS(EFooChild, EFoo) };

// The object checks are called on; any test object will do.
class TProbe : public TTestCase {
  TESSEL_TESTCASE(TProbe, TTestCase)
};

// Replaces Fail so that failures are collected instead of raised, and
// FailNotEquals so that it fails once more (nested) before it reads its operands.
class TCollector : public TTestCase {
  TESSEL_TESTCASE(TCollector, TTestCase)
 public:
  std::vector<std::string> Seen;
  bool Nest = false;
  uint32_t InnerLine = 0;
  void Fail(std::string_view msg, TCodeLocation ErrorAddrs = Loc::current()) override {
    Seen.push_back(std::string(msg) + "@" + std::to_string(ErrorAddrs.Line));
  }
  void FailNotEquals(const std::string& expected, const std::string& actual, std::string_view msg = {},
                     TCodeLocation ErrorAddrs = Loc::current()) override {
    if (Nest) {
      Nest = false;
      InnerLine = __LINE__ + 1;
      CheckEquals(7, 8, "inner");
      CheckTrue(false, "inner2");
    }
    TTestCase::FailNotEquals(expected, actual, msg, ErrorAddrs);
  }
};

// Each replaces one failure operation only, and counts its calls.
class TCountsNotEquals : public TTestCase {
  TESSEL_TESTCASE(TCountsNotEquals, TTestCase)
 public:
  int Calls = 0;
  void FailNotEquals(const std::string& expected, const std::string& actual, std::string_view msg = {},
                     TCodeLocation ErrorAddrs = Loc::current()) override {
    ++Calls;
    TTestCase::FailNotEquals(expected, actual, msg, ErrorAddrs);
  }
};

class TCountsEquals : public TTestCase {
  TESSEL_TESTCASE(TCountsEquals, TTestCase)
 public:
  int Calls = 0;
  void FailEquals(const std::string& expected, const std::string& actual, std::string_view msg = {},
                  TCodeLocation ErrorAddrs = Loc::current()) override {
    ++Calls;
    TTestCase::FailEquals(expected, actual, msg, ErrorAddrs);
  }
};

const char* const kPass = "<passed>";

// Runs one check on a fresh probe: kPass, or the failure's message.
std::string Outcome(const std::function<void(TProbe&)>& check) {
  auto probe = std::make_shared<TProbe>("probe");
  try {
    check(*probe);
  } catch (const ETestFailure& e) {
    return e.Message();
  }
  return kPass;
}

struct Case {
  const char* name;
  std::function<void(TProbe&)> check;
  std::string expected;
};

const double inf = std::numeric_limits<double>::infinity();
const double nan = std::numeric_limits<double>::quiet_NaN();

class TChecksTests : public TTestCase {
  TESSEL_TESTCASE(TChecksTests, TTestCase)
 public:
  void RunTable(const std::vector<Case>& cases) {
    for (const Case& c : cases) CheckEquals(c.expected, Outcome(c.check), c.name);
  }

  TESSEL_TEST(TestBooleanAndPlainChecks) {
    RunTable({
        {"Check true", [](TProbe& p) { p.Check(true); }, kPass},
        {"Check false, no message", [](TProbe& p) { p.Check(false); }, ""},
        {"Check false, message", [](TProbe& p) { p.Check(false, "x"); }, "x"},
        {"CheckTrue", [](TProbe& p) { p.CheckTrue(false, "flag"); }, "flag, expected: <True> but was: <False>"},
        {"CheckFalse", [](TProbe& p) { p.CheckFalse(true); }, "expected: <False> but was: <True>"},
        {"CheckEquals bool", [](TProbe& p) { p.CheckEquals(true, false); }, "expected: <True> but was: <False>"},
        {"CheckNotEquals bool", [](TProbe& p) { p.CheckNotEquals(true, true, "m"); },
         "m, expected and actual were: <True>"},
    });
  }

  TESSEL_TEST(TestIntegerChecks) {
    RunTable({
        {"int equal", [](TProbe& p) { p.CheckEquals(3, 3); }, kPass},
        {"int rows", [](TProbe& p) { p.CheckEquals(3, 4, "rows"); }, "rows, expected: <3> but was: <4>"},
        {"negative", [](TProbe& p) { p.CheckEquals(-1, 1); }, "expected: <-1> but was: <1>"},
        {"uint32 max", [](TProbe& p) { p.CheckEquals(std::numeric_limits<uint32_t>::max(), 0u); },
         "expected: <4294967295> but was: <0>"},
        {"int64", [](TProbe& p) { p.CheckEquals(int64_t{1} << 40, int64_t{0}); },
         "expected: <1099511627776> but was: <0>"},
        {"uint64 top bit", [](TProbe& p) { p.CheckEquals(~uint64_t{0}, uint64_t{1}); },
         "expected: <18446744073709551615> but was: <1>"},
        {"mixed sign equal", [](TProbe& p) { p.CheckEquals(3, size_t{3}); }, kPass},
        {"mixed sign negative", [](TProbe& p) { p.CheckEquals(-1, ~size_t{0}); },
         "expected: <-1> but was: <18446744073709551615>"},
        {"NotEquals int", [](TProbe& p) { p.CheckNotEquals(5, 5); }, "expected and actual were: <5>"},
        {"NotEquals uint", [](TProbe& p) { p.CheckNotEquals(7u, 7u, "u"); }, "u, expected and actual were: <7>"},
        {"NotEquals int64", [](TProbe& p) { p.CheckNotEquals(int64_t{-9}, int64_t{-9}); },
         "expected and actual were: <-9>"},
        {"NotEquals differs", [](TProbe& p) { p.CheckNotEquals(1, 2); }, kPass},
        {"Hex", [](TProbe& p) { p.CheckEqualsHex(255, 254, "", 4); }, "expected: <00FF> but was: <00FE>"},
        {"Hex keeps digits", [](TProbe& p) { p.CheckEqualsHex(255, 1, "", 1); }, "expected: <FF> but was: <1>"},
        {"NotEqualsHex", [](TProbe& p) { p.CheckNotEqualsHex(10, 10, "", 2); }, "expected and actual were: <0A>"},
        {"Bin", [](TProbe& p) { p.CheckEqualsBin(5, 4, "", 4); }, "expected: <0101> but was: <0100>"},
        {"Bin 3 digits", [](TProbe& p) { p.CheckEqualsBin(0, 1, "", 3); }, "expected: <000> but was: <001>"},
        {"Bin hides high bits", [](TProbe& p) { p.CheckEqualsBin(16, 0, "", 4); }, "expected: <0000> but was: <0000>"},
        {"Bin 0 digits", [](TProbe& p) { p.CheckEqualsBin(1, 0, "", 0); }, "expected: <> but was: <>"},
        {"NotEqualsBin", [](TProbe& p) { p.CheckNotEqualsBin(3, 3, "", 2); }, "expected and actual were: <11>"},
    });
  }

  TESSEL_TEST(TestFloatChecks) {
    RunTable({
        {"within delta", [](TProbe& p) { p.CheckEquals(1.0, 1.05, 0.1); }, kPass},
        {"outside delta", [](TProbe& p) { p.CheckEquals(1.0, 1.2, 0.1); }, "expected: <1> but was: <1.2>"},
        {"no delta", [](TProbe& p) { p.CheckEquals(0.5, 0.25); }, "expected: <0.5> but was: <0.25>"},
        {"15 digits", [](TProbe& p) { p.CheckEquals(1.0 / 3, 0.0); },
         "expected: <0.333333333333333> but was: <0>"},
        {"exponent", [](TProbe& p) { p.CheckEquals(1e20, 1.5e-10); }, "expected: <1E20> but was: <1.5E-10>"},
        {"NotEquals near", [](TProbe& p) { p.CheckNotEquals(1.0, 1.05, 0.1); }, "expected: <1> but was: <1.05>"},
        {"NotEquals far", [](TProbe& p) { p.CheckNotEquals(1.0, 2.0, 0.1); }, kPass},
        {"inf inf", [](TProbe& p) { p.CheckEquals(inf, inf, 0); }, kPass},
        {"inf vs huge", [](TProbe& p) { p.CheckEquals(inf, 1e308, 1e308); }, "expected: <INF> but was: <1E308>"},
        {"NaN vs inf", [](TProbe& p) { p.CheckEquals(nan, inf, 1); }, "expected: <NAN> but was: <INF>"},
        {"-inf vs finite", [](TProbe& p) { p.CheckEquals(-inf, 0.0, 1); }, "expected: <-INF> but was: <0>"},
        // A NaN never equals anything: abs(NaN - x) > delta is false, which used to pass.
        {"NaN vs finite", [](TProbe& p) { p.CheckEquals(nan, 1.0, 0.5); }, "expected: <NAN> but was: <1>"},
        {"finite vs NaN", [](TProbe& p) { p.CheckEquals(1.0, nan); }, "expected: <1> but was: <NAN>"},
        {"NaN vs NaN", [](TProbe& p) { p.CheckEquals(nan, nan, 1); }, "expected: <NAN> but was: <NAN>"},
        {"NotEquals NaN passes", [](TProbe& p) { p.CheckNotEquals(nan, 1.0, 0.5); }, kPass},
        {"NotEquals NaN NaN passes", [](TProbe& p) { p.CheckNotEquals(nan, nan, 0.5); }, kPass},
    });
    char saved = Platform::FormatSettings().DecimalSeparator;
    Platform::FormatSettings().DecimalSeparator = ',';
    std::string msg = Outcome([](TProbe& p) { p.CheckEquals(1.5, 2.0); });
    Platform::FormatSettings().DecimalSeparator = saved;
    CheckEquals(std::string("expected: <1,5> but was: <2>"), msg, "comma locale");
    CheckTrue(TAbstractTest::CompareFloatRelative(100.0, 100.000001));
    CheckFalse(TAbstractTest::CompareFloatRelative(100.0, 101.0));
    CheckTrue(TAbstractTest::CompareFloatRelative(0.0, 0.0));
  }

  TESSEL_TEST(TestTextChecks) {
    const std::string latin1 = "\xE9t\xE9";  // "été" in Latin-1 bytes
    RunTable({
        {"equal", [](TProbe& p) { p.CheckEquals("abc", "abc"); }, kPass},
        {"case matters", [](TProbe& p) { p.CheckEquals("abc", "ABC"); }, "expected: <abc> but was: <ABC>"},
        {"string", [](TProbe& p) { p.CheckEqualsString("a", "b", "m"); }, "m, expected: <a> but was: <b>"},
        {"NotEquals", [](TProbe& p) { p.CheckNotEquals("a", "a", "m"); }, "m, expected and actual were: <a>"},
        {"NotEqualsString", [](TProbe& p) { p.CheckNotEqualsString("z", "z"); }, "expected and actual were: <z>"},
        {"wide", [](TProbe& p) { p.CheckEqualsWideString(L"\u00e9", L"e"); }, "expected: <\u00e9> but was: <e>"},
        {"wide literal", [](TProbe& p) { p.CheckEquals(L"x", L"y"); }, "expected: <x> but was: <y>"},
        {"NotEqualsWide", [](TProbe& p) { p.CheckNotEqualsWideString(L"q", L"q"); }, "expected and actual were: <q>"},
        {"ansi", [&](TProbe& p) { p.CheckEquals(AnsiString(latin1), AnsiString("ete")); },
         "expected: <\u00e9t\u00e9> but was: <ete>"},
        {"NotEquals ansi", [&](TProbe& p) { p.CheckNotEquals(AnsiString("a"), AnsiString("a")); },
         "expected and actual were: <a>"},
        {"short", [](TProbe& p) { p.CheckEquals(ShortString("ab"), ShortString("abc")); },
         "expected: <ab> but was: <abc>"},
        {"short cut at 255", [](TProbe& p) {
           p.CheckEquals(ShortString(std::string(300, 'a')), ShortString(std::string(255, 'a')));
         }, kPass},
        {"char array prefix", [](TProbe& p) { p.CheckEquals(TextToCharArray("abc"), TextToCharArray("abcd")); },
         kPass},
        {"char array empty", [](TProbe& p) { p.CheckEquals(TCharArray{}, TextToCharArray("abcd")); }, kPass},
        {"char array differs", [](TProbe& p) { p.CheckEquals(TextToCharArray("abc"), TextToCharArray("abd")); },
         "expected: <abc> but was: <abd>"},
        {"NotEquals char array", [](TProbe& p) { p.CheckNotEquals(TextToCharArray("ab"), TextToCharArray("abc")); },
         "expected and actual were: <ab>"},
    });
  }

  TESSEL_TEST(TestMemoryChecks) {
    const unsigned char a[] = {1, 2, 3, 0x0A, 5};
    const unsigned char b[] = {1, 2, 3, 0x0B, 5};
    RunTable({
        {"equal", [&](TProbe& p) { p.CheckEqualsMem(a, a, 5); }, kPass},
        {"size 0", [&](TProbe& p) { p.CheckEqualsMem(a, b, 0); }, kPass},
        {"differs", [&](TProbe& p) { p.CheckEqualsMem(a, b, 5); }, "expected: <0A> but was: <0B> at Offset = 0003h"},
        {"differs, message", [&](TProbe& p) { p.CheckEqualsMem(a, b, 5, "m"); },
         "m, expected: <0A> but was: <0B> at Offset = 0003h"},
        {"NotEquals differs", [&](TProbe& p) { p.CheckNotEqualsMem(a, b, 5); }, kPass},
        {"NotEquals identical", [&](TProbe& p) { p.CheckNotEqualsMem(a, a, 5); }, "Memory content was identical:"},
        {"NotEquals identical, message", [&](TProbe& p) { p.CheckNotEqualsMem(a, a, 5, "m"); },
         "Memory content was identical:m, "},
    });
  }

  TESSEL_TEST(TestReferenceAndClassChecks) {
    int value = 0;
    const void* obj = &value;
    auto i1 = std::make_shared<int>(1);
    auto i2 = std::make_shared<int>(1);
    const std::string addr = PtrToStr(obj);
    RunTable({
        {"NotNull iface", [&](TProbe& p) { p.CheckNotNull(std::shared_ptr<int>(), "none"); }, "none"},
        {"Null iface", [&](TProbe& p) { p.CheckNull(i1, "some"); }, "some"},
        {"Same iface", [&](TProbe& p) { p.CheckSame(i1, i1); }, kPass},
        {"Same iface differs", [&](TProbe& p) { p.CheckSame(i1, i2); },
         "expected: <" + PtrToStr(i1.get()) + "> but was: <" + PtrToStr(i2.get()) + ">"},
        {"Same object", [&](TProbe& p) { p.CheckSame(obj, nullptr); }, "expected: <" + addr + "> but was: <0000000000000000>"},
        {"NotNull object", [&](TProbe& p) { p.CheckNotNull(static_cast<const void*>(nullptr)); },
         "expected: <object> but was: <0000000000000000>"},
        {"Null object", [&](TProbe& p) { p.CheckNull(obj); }, "expected: <nil> but was: <" + addr + ">"},
        {"class equal", [](TProbe& p) { p.CheckEquals(&ETestFailure::ClassInfo(), &ETestFailure::ClassInfo()); }, kPass},
        {"class both nil", [](TProbe& p) { p.CheckEquals(static_cast<const TClass*>(nullptr), nullptr); }, kPass},
        {"class differs", [](TProbe& p) { p.CheckEquals(&ETestFailure::ClassInfo(), nullptr); },
         "expected: <ETestFailure> but was: <nil>"},
        {"Inherits", [](TProbe& p) { p.CheckInherits(&EAbort::ClassInfo(), &EStopTestsFailure::ClassInfo()); }, kPass},
        {"Inherits no", [](TProbe& p) { p.CheckInherits(&ETestFailure::ClassInfo(), &EAbort::ClassInfo()); },
         "expected: <ETestFailure> but was: <EAbort>"},
        {"Inherits nil nil", [](TProbe& p) { p.CheckInherits(nullptr, nullptr); }, "expected: <nil> but was: <nil>"},
        {"Inherits nil expected", [](TProbe& p) { p.CheckInherits(nullptr, &EAbort::ClassInfo()); },
         "expected: <nil> but was: <EAbort>"},
        {"Is", [](TProbe& p) { p.CheckIs(&p, &TTestCase::ClassInfo()); }, kPass},
        {"Is not", [](TProbe& p) { p.CheckIs(&p, &TTestSuite::ClassInfo()); }, "expected: <TTestSuite> but was: <TProbe>"},
        {"Is nil object", [](TProbe& p) { p.CheckIs(nullptr, &TTestSuite::ClassInfo()); },
         "expected: <TTestSuite> but was: <nil>"},
        {"Is nil class", [](TProbe& p) { p.CheckIs(&p, nullptr); }, "expected: <nil> but was: <TProbe>"},
    });
  }

  TESSEL_TEST(TestCheckException) {
    ExceptionClass foo = ExceptionClassOf<EFoo>();
    RunTable({
        {"nothing raised", [&](TProbe& p) { p.CheckException([] {}, foo); }, "expected: <EFoo> but was: <nothing>"},
        {"descendant", [&](TProbe& p) { p.CheckException([] { throw EFooChild("c"); }, foo); }, kPass},
        {"std descendant",
         [&](TProbe& p) { p.CheckException([] { throw std::out_of_range("r"); }, ExceptionClassOf<std::logic_error>()); },
         kPass},
        {"other class", [&](TProbe& p) { p.CheckException([] { throw std::runtime_error("r"); }, foo, "m"); },
         "m, expected: <EFoo> but was: <std::runtime_error>"},
        {"no class, nothing raised", [&](TProbe& p) { p.CheckException([] {}, nullptr); }, kPass},
    });
    bool passedThrough = false;
    try {
      Outcome([](TProbe& p) { p.CheckException([] { throw 7; }, nullptr); });
    } catch (int v) {
      passedThrough = v == 7;
    }
    CheckTrue(passedThrough, "with no class the exception passes unchanged");
  }

  TESSEL_TEST(TestFailOperations) {
    RunTable({
        {"FailEquals", [](TProbe& p) { p.FailEquals("a", "b", "m"); }, "m, expected and actual were: <a>"},
        {"FailNotEquals", [](TProbe& p) { p.FailNotEquals("a", "b"); }, "expected: <a> but was: <b>"},
        {"FailNotSame", [](TProbe& p) { p.FailNotSame("a", "b"); }, "expected: <a> but was: <b>"},
        {"FailNotEquals wide", [](TProbe& p) { p.FailNotEquals(std::wstring(L"\u20ac"), std::wstring(L"b")); },
         "expected: <\u20ac> but was: <b>"},
        {"SetAllowedLeakArray 4", [](TProbe& p) { p.SetAllowedLeakArray({1, 2, 3, 4}); },
         "Too many values in for AllowedLeakArray. Limit = 3"},
    });
    bool stopped = false;
    try {
      auto p = std::make_shared<TProbe>("p");
      p->StopTests("halt");
    } catch (const EStopTestsFailure& e) {
      stopped = e.Message() == "halt";
    }
    CheckTrue(stopped);
  }

  TESSEL_TEST(TestEveryCheckMarksCheckCalled) {
    const std::vector<std::function<void(TProbe&)>> checks = {
        [](TProbe& p) { p.Check(false); },
        [](TProbe& p) { p.CheckEquals(1.0, 2.0); },
        [](TProbe& p) { p.CheckEquals(1, 1); },
        [](TProbe& p) { p.CheckNotEquals("a", "b"); },
        [](TProbe& p) { p.CheckEqualsMem(nullptr, nullptr, 0); },
        [](TProbe& p) { p.CheckNull(static_cast<const void*>(nullptr)); },
        [](TProbe& p) { p.CheckException([] {}, nullptr); },
    };
    for (const auto& check : checks) {
      auto p = std::make_shared<TProbe>("p");
      try {
        check(*p);
      } catch (const ETestFailure&) {
      }
      CheckTrue(p->CheckCalled());
    }
    auto p = std::make_shared<TProbe>("p");
    try {
      p->Fail("only a failure");
    } catch (const ETestFailure&) {
    }
    CheckFalse(p->CheckCalled(), "Fail alone is no check");
  }

  TESSEL_TEST(TestOneReplacedFailureOperationSeesItsFailures) {
    // An object that keeps every failure operation gets its failures raised
    // by the check itself; one that replaces a single operation must still
    // get each call of it, and all must raise the same failures.
    struct TSeen {
      std::string Messages, Lines;
    };
    auto runAll = [](TAbstractTestBase& t) {
      TSeen seen;
      const std::vector<std::function<void()>> checks = {
          [&] { t.CheckEquals(1, 2, "m"); }, [&] { t.CheckNotEquals(3, 3); }, [&] { t.CheckTrue(false); },
          [&] { t.CheckEquals(std::string("x"), std::string("y")); }, [&] { t.CheckEquals(true, false); }};
      for (const auto& check : checks) try {
          check();
          seen.Messages += "<passed>\n";
        } catch (const ETestFailure& e) {
          seen.Messages += e.Message() + "\n";
          seen.Lines += std::to_string(e.Location().Line) + " ";
        }
      return seen;
    };
    auto plain = std::make_shared<TProbe>("p");
    auto notEquals = std::make_shared<TCountsNotEquals>("n");
    auto equals = std::make_shared<TCountsEquals>("e");
    const std::string want =
        "m, expected: <1> but was: <2>\nexpected and actual were: <3>\nexpected: <True> but was: <False>\n"
        "expected: <x> but was: <y>\nexpected: <True> but was: <False>\n";
    const TSeen own = runAll(*plain);
    CheckEquals(want, own.Messages, "keeps all");
    CheckFalse(own.Lines.find("0 ") == 0, "lines known");
    const TSeen n = runAll(*notEquals);
    CheckEquals(want, n.Messages, "replaces FailNotEquals");
    CheckEquals(own.Lines, n.Lines, "replaces FailNotEquals: lines");
    CheckEquals(4, notEquals->Calls, "FailNotEquals calls");
    const TSeen e = runAll(*equals);
    CheckEquals(want, e.Messages, "replaces FailEquals");
    CheckEquals(own.Lines, e.Lines, "replaces FailEquals: lines");
    CheckEquals(1, equals->Calls, "FailEquals calls");
  }

  TESSEL_TEST(TestAReplacedFailSeesEveryFailure) {
    // Fail returns here, so every check goes on to the next; the texts of
    // each failure must stay its own, also when a failure operation fails
    // again before it has read its operands.
    auto c = std::make_shared<TCollector>("c");
    const uint32_t line = __LINE__ + 1;
    c->CheckEquals(1, 2, "a");
    c->CheckEquals(uint64_t(1) << 63, uint64_t(5));
    c->CheckNotEquals(-4, -4, "b");
    c->CheckFalse(true);
    c->CheckEquals(std::string("x"), std::string("y"));
    c->Nest = true;
    c->CheckEquals(int64_t(-3), int64_t(3), "outer");
    c->CheckNotEquals(true, true);
    c->CheckEquals(3u, -3);
    auto at = [&](int k) { return "@" + std::to_string(line + k); };
    std::vector<std::string> expected = {
        "a, expected: <1> but was: <2>" + at(0),
        "expected: <9223372036854775808> but was: <5>" + at(1),
        "b, expected and actual were: <-4>" + at(2),
        "expected: <False> but was: <True>" + at(3),
        "expected: <x> but was: <y>" + at(4),
        "inner, expected: <7> but was: <8>@" + std::to_string(c->InnerLine),
        "inner2, expected: <True> but was: <False>@" + std::to_string(c->InnerLine + 1),
        "outer, expected: <-3> but was: <3>" + at(6),
        "expected and actual were: <True>" + at(7),
        "expected: <3> but was: <-3>" + at(8),
    };
    std::string want, got;
    for (const std::string& e : expected) want += e + "\n";
    for (const std::string& e : c->Seen) got += e + "\n";
    CheckEquals(want, got);
  }

  TESSEL_TEST(TestFailureLocationIsTheCaller) {
    auto p = std::make_shared<TProbe>("p");
    uint32_t line = 0;
    try {
      line = __LINE__ + 1;
      p->CheckEquals(1, 2);
    } catch (const ETestFailure& e) {
      CheckEquals(line, e.Location().Line);
      Check(std::string(e.Location().File).find("ChecksTests.cpp") != std::string::npos);
    }
    CheckNotEquals(0u, line);
  }

  // A helper that takes its caller's std::source_location hands it on: the
  // failure is placed at the helper's caller. A call over several lines is
  // placed on its first line.
  // (With a compiler that has no std::source_location, the framework's own
  // TSourceLine is handed on the same way.)
#ifdef __cpp_lib_source_location
  using TCallerLine = std::source_location;
#else
  using TCallerLine = TSourceLine;
#endif
  static void CheckPositive(TAbstractTestBase& t, int v, TCallerLine at = TCallerLine::current()) {
    t.Check(v > 0, "positive", at);
  }

  TESSEL_TEST(TestLocationsHandedOnAndSpreadOverLines) {
    auto p = std::make_shared<TProbe>("p");
    auto lineOf = [&](auto call) -> uint32_t {
      try {
        call();
      } catch (const ETestFailure& e) {
        return e.Location().Line;
      }
      return 0;
    };
    const uint32_t helper = __LINE__ + 1;
    CheckEquals(helper, lineOf([&] { CheckPositive(*p, -1); }), "handed on");
    const uint32_t spread = __LINE__ + 1;
    CheckEquals(spread, lineOf([&] { p->CheckEquals(1,
                                                   2, "spread"); }),
                "spread over lines");
  }
};

TESSEL_REGISTER("Core.Checks", TChecksTests);

}  // namespace
