// Tessel core: the checks, the failure operations and their message texts.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "framework/MemberCode.h"
#include "framework/TestFramework.h"
#include "framework/TesselConsts.h"
#include "platform/Format.h"
#include "platform/LocaleSettings.h"

namespace TestFramework {

using Platform::Format;

// ---------------------------------------------------------------------------
// Value texts

std::string PtrToStr(const void* address) {
  char buf[20];
  std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(address)));
  return buf;
}

std::string BoolToStr(bool ABool) { return ABool ? "True" : "False"; }

std::string FloatToStr(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15G", value);
  std::string s = buf;
  // "1.5E-10" and "1E+20" become "1.5E-10" and "1E20", as people write them.
  size_t e = s.find('E');
  if (e != std::string::npos) {
    std::string mant = s.substr(0, e);
    std::string exp = s.substr(e + 1);
    bool neg = !exp.empty() && exp[0] == '-';
    if (!exp.empty() && (exp[0] == '+' || exp[0] == '-')) exp.erase(0, 1);
    while (exp.size() > 1 && exp[0] == '0') exp.erase(0, 1);
    s = mant + "E" + (neg ? "-" : "") + exp;
  }
  char sep = Platform::FormatSettings().DecimalSeparator;
  if (sep != '.')
    for (char& c : s)
      if (c == '.') c = sep;
  return s;
}

std::string IntToHexText(uint32_t value, int digits) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%0*X", digits < 0 ? 0 : (digits > 40 ? 40 : digits), value);
  return buf;
}

std::string IntToBinText(uint32_t value, int digits) {
  std::string s;
  if (digits <= 0) return s;
  s.reserve(static_cast<size_t>(digits));
  for (int k = 0; k < digits; ++k) {
    int bit = digits - 1 - k;
    s += (bit < 32 && (value >> bit) & 1u) ? '1' : '0';
  }
  return s;
}

int64_t FirstByteDiff(const void* p1, const void* p2, uint32_t count, uint8_t& b1, uint8_t& b2) {
  const auto* a = static_cast<const uint8_t*>(p1);
  const auto* b = static_cast<const uint8_t*>(p2);
  for (uint32_t i = 0; i < count; ++i)
    if (a[i] != b[i]) {
      b1 = a[i];
      b2 = b[i];
      return i;
    }
  return -1;
}

namespace {
// A value's decimal text in a buffer that needs no clean-up.
struct TNumberText {
  char Buf[24];
  size_t Len = 0;
  TNumberText(bool isSigned, uint64_t v) noexcept {
    auto r = isSigned ? std::to_chars(Buf, Buf + sizeof Buf, static_cast<int64_t>(v))
                      : std::to_chars(Buf, Buf + sizeof Buf, v);
    Len = static_cast<size_t>(r.ptr - Buf);
  }
  std::string_view View() const noexcept { return {Buf, Len}; }
};

std::string Prefix(std::string_view msg) {
  std::string p(msg);
  if (!p.empty()) p += ", ";
  return p;
}

// The texts of the two message layouts.
std::string EqualsText(std::string_view expected, std::string_view msg) {
  return Format(TesselConsts::sExpAndActualFmt, Prefix(msg), expected);
}
std::string NotEqualsText(std::string_view expected, std::string_view actual, std::string_view msg) {
  return Format(TesselConsts::sExpButWasFmt, Prefix(msg), expected, actual);
}

// Raising a failure where it is found.
//
// A check that fails calls FailNotEquals (say), which builds the message and
// calls Fail, which raises ETestFailure: each of those is one more frame that
// the unwinder visits twice, and unwinding is most of what a failure costs.
// When the test object keeps the base's own failure operations, a check or a
// failure operation raises the same failure itself; an object that replaces
// one of them still gets every call.
using TFailOp = void (TAbstractTestBase::*)(std::string_view, TCodeLocation);
using TFailPairOp = void (TAbstractTestBase::*)(const std::string&, const std::string&, std::string_view,
                                                TCodeLocation);
constexpr TFailOp kFail = &TAbstractTestBase::Fail;
constexpr TFailPairOp kFailEquals = &TAbstractTestBase::FailEquals;
constexpr TFailPairOp kFailNotEquals = &TAbstractTestBase::FailNotEquals;

// The base's own code of those operations, as a virtual call on an object
// that keeps them reaches it; null where that cannot be told.
struct TOwnFailureOps {
  const void* Fail;
  const void* FailEquals;
  const void* FailNotEquals;
};

const TOwnFailureOps& OwnFailureOps() noexcept {
  static const TOwnFailureOps own = [] {
    struct TProbe : TAbstractTestBase {
      TProbe() : TAbstractTestBase(std::string()) {}
    };
    const TProbe probe;
    const TAbstractTestBase* base = &probe;
    return TOwnFailureOps{CodeTarget(base, kFail), CodeTarget(base, kFailEquals), CodeTarget(base, kFailNotEquals)};
  }();
  return own;
}

// Whether test's slot for op still reaches the base's own code.
template <class Op>
bool KeepsOwn(const TAbstractTestBase& test, Op op, const void* own) noexcept {
  return own && CodeTarget(&test, op) == own;
}

// Fail with the message that build makes of the operands. Inlined, so that
// it adds no frame of its own.
using TMessageBuilder = std::string (TAbstractTestBase::*)(const std::string&, const std::string&, std::string_view);
[[gnu::always_inline]] inline void FailWithMessage(TAbstractTestBase& test, TMessageBuilder build,
                                                   const std::string& expected, const std::string& actual,
                                                   std::string_view msg, const TCodeLocation& where) {
  if (KeepsOwn(test, kFail, OwnFailureOps().Fail)) throw ETestFailure((test.*build)(expected, actual, msg), where);
  test.Fail((test.*build)(expected, actual, msg), where);
}

// FailNotEquals (or FailEquals when equalsLayout) with two value texts.
// Inlined into each check: a frame of its own would be one more for every
// failure to be thrown through.
[[gnu::always_inline]] inline void FailTexts(TAbstractTestBase& test, bool equalsLayout, std::string_view expected,
                                             std::string_view actual, std::string_view msg,
                                             const TSourceLine& loc) {
  const TOwnFailureOps& own = OwnFailureOps();
  if (KeepsOwn(test, kFail, own.Fail) && (equalsLayout ? KeepsOwn(test, kFailEquals, own.FailEquals)
                                                       : KeepsOwn(test, kFailNotEquals, own.FailNotEquals)))
    throw ETestFailure(equalsLayout ? EqualsText(expected, msg) : NotEqualsText(expected, actual, msg), loc);
  if (equalsLayout) test.FailEquals(std::string(expected), std::string(actual), msg, loc);
  else test.FailNotEquals(std::string(expected), std::string(actual), msg, loc);
}

const char* NameOf(const TClass* c) { return c ? c->Name : "nil"; }
}  // namespace

// ---------------------------------------------------------------------------
// Message builders

std::string TAbstractTestBase::EqualsErrorMessage(const std::string& expected, const std::string&, std::string_view msg) {
  return EqualsText(expected, msg);
}

std::string TAbstractTestBase::NotEqualsErrorMessage(const std::string& expected, const std::string& actual,
                                                 std::string_view msg) {
  return NotEqualsText(expected, actual, msg);
}

std::string TAbstractTestBase::NotSameErrorMessage(const std::string& expected, const std::string& actual,
                                               std::string_view msg) {
  return NotEqualsText(expected, actual, msg);
}

std::wstring TAbstractTestBase::EqualsErrorMessage(const std::wstring& expected, const std::wstring& actual,
                                               std::string_view msg) {
  return Utf8ToWide(EqualsErrorMessage(WideToUtf8(expected), WideToUtf8(actual), msg));
}

std::wstring TAbstractTestBase::NotEqualsErrorMessage(const std::wstring& expected, const std::wstring& actual,
                                                  std::string_view msg) {
  return Utf8ToWide(NotEqualsErrorMessage(WideToUtf8(expected), WideToUtf8(actual), msg));
}

std::wstring TAbstractTestBase::NotSameErrorMessage(const std::wstring& expected, const std::wstring& actual,
                                                std::string_view msg) {
  return Utf8ToWide(NotSameErrorMessage(WideToUtf8(expected), WideToUtf8(actual), msg));
}

std::string TAbstractTestBase::GetMemDiffStr(const void* expected, const void* actual, uint32_t size,
                                         std::string_view msg) {
  uint8_t b1 = 0, b2 = 0;
  int64_t offset = FirstByteDiff(expected, actual, size, b1, b2);
  return NotEqualsErrorMessage(IntToHexText(b1, 2), IntToHexText(b2, 2), msg) + " at Offset = " +
         IntToHexText(static_cast<uint32_t>(offset), 4) + "h";
}

bool TAbstractTestBase::CompareFloatRelative(double expected, double actual, double RelativeError) {
  if (expected == actual) return true;
  return RelativeError > std::fabs((actual - expected) / expected);
}

// ---------------------------------------------------------------------------
// Failure operations

void TAbstractTestBase::Fail(std::string_view msg, TCodeLocation ErrorAddrs) {
  throw ETestFailure(std::string(msg), ErrorAddrs);
}

void TAbstractTestBase::FailEquals(const std::string& expected, const std::string& actual, std::string_view msg,
                               TCodeLocation ErrorAddrs) {
  FailWithMessage(*this, &TAbstractTestBase::EqualsErrorMessage, expected, actual, msg, ErrorAddrs);
}

void TAbstractTestBase::FailNotEquals(const std::string& expected, const std::string& actual, std::string_view msg,
                                  TCodeLocation ErrorAddrs) {
  FailWithMessage(*this, &TAbstractTestBase::NotEqualsErrorMessage, expected, actual, msg, ErrorAddrs);
}

void TAbstractTestBase::FailNotSame(const std::string& expected, const std::string& actual, std::string_view msg,
                                TCodeLocation ErrorAddrs) {
  FailWithMessage(*this, &TAbstractTestBase::NotSameErrorMessage, expected, actual, msg, ErrorAddrs);
}

void TAbstractTestBase::FailEquals(const std::wstring& expected, const std::wstring& actual, std::string_view msg,
                               TCodeLocation ErrorAddrs) {
  Fail(WideToUtf8(EqualsErrorMessage(expected, actual, msg)), ErrorAddrs);
}

void TAbstractTestBase::FailNotEquals(const std::wstring& expected, const std::wstring& actual, std::string_view msg,
                                  TCodeLocation ErrorAddrs) {
  Fail(WideToUtf8(NotEqualsErrorMessage(expected, actual, msg)), ErrorAddrs);
}

void TAbstractTestBase::FailNotSame(const std::wstring& expected, const std::wstring& actual, std::string_view msg,
                                TCodeLocation ErrorAddrs) {
  Fail(WideToUtf8(NotSameErrorMessage(expected, actual, msg)), ErrorAddrs);
}

void TAbstractTestBase::StopTests(std::string_view msg) { throw EStopTestsFailure(std::string(msg)); }

// ---------------------------------------------------------------------------
// Checks

void TAbstractTestBase::Check(bool condition, std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  if (!condition) Fail(msg, loc);
}

void TAbstractTestBase::CheckTrue(bool condition, std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  if (!condition) FailTexts(*this, false, "True", "False", msg, loc);
}

void TAbstractTestBase::CheckFalse(bool condition, std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  if (condition) FailTexts(*this, false, "False", "True", msg, loc);
}

void TAbstractTestBase::CheckEquals(double expected, double actual, std::string_view msg, Loc loc) {
  CheckEquals(expected, actual, 0.0, msg, loc);
}

void TAbstractTestBase::CheckEquals(double expected, double actual, double delta, std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  const bool expInf = std::isinf(expected) && expected > 0;
  const bool actInf = std::isinf(actual) && actual > 0;
  bool pass;
  if (expInf && actInf) pass = true;
  else if (expInf || actInf) pass = false;
  // A NaN equals nothing: without this, abs(NaN - x) > delta is false and passes.
  else if (std::isnan(expected) || std::isnan(actual) || std::isnan(delta)) pass = false;
  else pass = !(std::fabs(expected - actual) > delta);
  if (!pass) FailNotEquals(FloatToStr(expected), FloatToStr(actual), msg, loc);
}

void TAbstractTestBase::CheckEquals(int32_t expected, int32_t actual, std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  if (expected != actual)
    FailTexts(*this, false, TNumberText(true, static_cast<uint64_t>(expected)).View(),
              TNumberText(true, static_cast<uint64_t>(actual)).View(), msg, loc);
}

void TAbstractTestBase::CheckEquals(uint32_t expected, uint32_t actual, std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  if (expected != actual)
    FailTexts(*this, false, TNumberText(false, static_cast<uint64_t>(expected)).View(),
              TNumberText(false, static_cast<uint64_t>(actual)).View(), msg, loc);
}

void TAbstractTestBase::CheckEquals(int64_t expected, int64_t actual, std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  if (expected != actual)
    FailTexts(*this, false, TNumberText(true, static_cast<uint64_t>(expected)).View(),
              TNumberText(true, static_cast<uint64_t>(actual)).View(), msg, loc);
}

void TAbstractTestBase::CheckEquals(uint64_t expected, uint64_t actual, std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  if (expected != actual)
    FailTexts(*this, false, TNumberText(false, static_cast<uint64_t>(expected)).View(),
              TNumberText(false, static_cast<uint64_t>(actual)).View(), msg, loc);
}

void TAbstractTestBase::CheckEquals(const std::string& expected, const std::string& actual, std::string_view msg,
                                Loc loc) {
  FRun->CheckCalled = true;
  if (expected != actual) FailNotEquals(expected, actual, msg, loc);
}

void TAbstractTestBase::CheckEquals(const ShortString& expected, const ShortString& actual, std::string_view msg,
                                Loc loc) {
  FRun->CheckCalled = true;
  if (expected.Bytes != actual.Bytes) FailNotEquals(AnsiToWide(expected.Bytes), AnsiToWide(actual.Bytes), msg, loc);
}

void TAbstractTestBase::CheckEqualsString(const std::string& expected, const std::string& actual, std::string_view msg,
                                      Loc loc) {
  FRun->CheckCalled = true;
  if (expected != actual) FailNotEquals(expected, actual, msg, loc);
}

void TAbstractTestBase::CheckEquals(const AnsiString& expected, const AnsiString& actual, std::string_view msg,
                                Loc loc) {
  FRun->CheckCalled = true;
  if (expected.Bytes != actual.Bytes) FailNotEquals(AnsiToWide(expected.Bytes), AnsiToWide(actual.Bytes), msg, loc);
}

void TAbstractTestBase::CheckEqualsWideString(const std::wstring& expected, const std::wstring& actual,
                                          std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  if (expected != actual) FailNotEquals(expected, actual, msg, loc);
}

void TAbstractTestBase::CheckEqualsMem(const void* expected, const void* actual, uint32_t size, std::string_view msg,
                                   Loc loc) {
  FRun->CheckCalled = true;
  if (size == 0 || std::memcmp(expected, actual, size) == 0) return;
  Fail(GetMemDiffStr(expected, actual, size, msg), loc);
}

void TAbstractTestBase::CheckEquals(bool expected, bool actual, std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  if (expected != actual) FailTexts(*this, false, expected ? "True" : "False", actual ? "True" : "False", msg, loc);
}

void TAbstractTestBase::CheckEqualsBin(uint32_t expected, uint32_t actual, std::string_view msg, int digits, Loc loc) {
  FRun->CheckCalled = true;
  if (expected != actual) FailNotEquals(IntToBinText(expected, digits), IntToBinText(actual, digits), msg, loc);
}

void TAbstractTestBase::CheckEqualsHex(uint32_t expected, uint32_t actual, std::string_view msg, int digits, Loc loc) {
  FRun->CheckCalled = true;
  if (expected != actual) FailNotEquals(IntToHexText(expected, digits), IntToHexText(actual, digits), msg, loc);
}

namespace {
// Arrays compare over the shorter length: a prefix equals the longer array.
bool CharArraysEqual(const TCharArray& a, const TCharArray& b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return false;
  return true;
}
}  // namespace

void TAbstractTestBase::CheckEquals(const TCharArray& expected, const TCharArray& actual, std::string_view msg,
                                Loc loc) {
  FRun->CheckCalled = true;
  if (!CharArraysEqual(expected, actual))
    FailNotEquals(CharArrayToText(expected), CharArrayToText(actual), msg, loc);
}

void TAbstractTestBase::CheckNotEquals(int32_t expected, int32_t actual, std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  if (expected == actual)
    FailTexts(*this, true, TNumberText(true, static_cast<uint64_t>(expected)).View(),
              TNumberText(true, static_cast<uint64_t>(actual)).View(), msg, loc);
}

void TAbstractTestBase::CheckNotEquals(uint32_t expected, uint32_t actual, std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  if (expected == actual)
    FailTexts(*this, true, TNumberText(false, static_cast<uint64_t>(expected)).View(),
              TNumberText(false, static_cast<uint64_t>(actual)).View(), msg, loc);
}

void TAbstractTestBase::CheckNotEquals(int64_t expected, int64_t actual, std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  if (expected == actual)
    FailTexts(*this, true, TNumberText(true, static_cast<uint64_t>(expected)).View(),
              TNumberText(true, static_cast<uint64_t>(actual)).View(), msg, loc);
}

void TAbstractTestBase::CheckNotEquals(double expected, double actual, double delta, std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  // A NaN differs from everything, so it passes here.
  if (std::isnan(expected) || std::isnan(actual)) return;
  if (!(std::fabs(expected - actual) > delta)) FailNotEquals(FloatToStr(expected), FloatToStr(actual), msg, loc);
}

void TAbstractTestBase::CheckNotEquals(const std::string& expected, const std::string& actual, std::string_view msg,
                                   Loc loc) {
  FRun->CheckCalled = true;
  if (expected == actual) FailEquals(expected, actual, msg, loc);
}

void TAbstractTestBase::CheckNotEquals(const ShortString& expected, const ShortString& actual, std::string_view msg,
                                   Loc loc) {
  FRun->CheckCalled = true;
  if (expected.Bytes == actual.Bytes) FailEquals(AnsiToWide(expected.Bytes), AnsiToWide(actual.Bytes), msg, loc);
}

void TAbstractTestBase::CheckNotEqualsString(const std::string& expected, const std::string& actual,
                                         std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  if (expected == actual) FailEquals(expected, actual, msg, loc);
}

void TAbstractTestBase::CheckNotEquals(const AnsiString& expected, const AnsiString& actual, std::string_view msg,
                                   Loc loc) {
  FRun->CheckCalled = true;
  if (expected.Bytes == actual.Bytes) FailEquals(AnsiToWide(expected.Bytes), AnsiToWide(actual.Bytes), msg, loc);
}

void TAbstractTestBase::CheckNotEqualsWideString(const std::wstring& expected, const std::wstring& actual,
                                             std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  if (expected == actual) FailEquals(expected, actual, msg, loc);
}

void TAbstractTestBase::CheckNotEqualsMem(const void* expected, const void* actual, uint32_t size, std::string_view msg,
                                      Loc loc) {
  FRun->CheckCalled = true;
  uint8_t b1, b2;
  if (FirstByteDiff(expected, actual, size, b1, b2) >= 0) return;
  std::string text = TesselConsts::sIdenticalContent;
  if (!msg.empty()) text.append(msg).append(", ");
  Fail(text, loc);
}

void TAbstractTestBase::CheckNotEquals(bool expected, bool actual, std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  if (expected == actual) FailTexts(*this, true, expected ? "True" : "False", actual ? "True" : "False", msg, loc);
}

void TAbstractTestBase::CheckNotEqualsBin(uint32_t expected, uint32_t actual, std::string_view msg, int digits,
                                      Loc loc) {
  FRun->CheckCalled = true;
  if (expected == actual) FailEquals(IntToBinText(expected, digits), IntToBinText(actual, digits), msg, loc);
}

void TAbstractTestBase::CheckNotEqualsHex(uint32_t expected, uint32_t actual, std::string_view msg, int digits,
                                      Loc loc) {
  FRun->CheckCalled = true;
  if (expected == actual) FailEquals(IntToHexText(expected, digits), IntToHexText(actual, digits), msg, loc);
}

void TAbstractTestBase::CheckNotEquals(const TCharArray& expected, const TCharArray& actual, std::string_view msg,
                                   Loc loc) {
  FRun->CheckCalled = true;
  if (CharArraysEqual(expected, actual)) FailEquals(CharArrayToText(expected), CharArrayToText(actual), msg, loc);
}

void TAbstractTestBase::CheckNotNull(const std::shared_ptr<const void>& obj, std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  if (!obj) Fail(msg, loc);
}

void TAbstractTestBase::CheckNull(const std::shared_ptr<const void>& obj, std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  if (obj) Fail(msg, loc);
}

void TAbstractTestBase::CheckSame(const std::shared_ptr<const void>& expected, const std::shared_ptr<const void>& actual,
                              std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  if (expected.get() != actual.get()) FailNotSame(PtrToStr(expected.get()), PtrToStr(actual.get()), msg, loc);
}

void TAbstractTestBase::CheckSame(const void* expected, const void* actual, std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  if (expected != actual) FailNotSame(PtrToStr(expected), PtrToStr(actual), msg, loc);
}

void TAbstractTestBase::CheckNotNull(const void* obj, std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  if (!obj) FailNotSame("object", PtrToStr(nullptr), msg, loc);
}

void TAbstractTestBase::CheckNull(const void* obj, std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  if (obj) FailNotSame("nil", PtrToStr(obj), msg, loc);
}

void TAbstractTestBase::CheckEquals(const TClass* expected, const TClass* actual, std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  if (expected != actual) FailNotEquals(NameOf(expected), NameOf(actual), msg, loc);
}

void TAbstractTestBase::CheckInherits(const TClass* expected, const TClass* actual, std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  if (!expected || !actual || !actual->InheritsFrom(expected))
    FailNotEquals(NameOf(expected), NameOf(actual), msg, loc);
}

void TAbstractTestBase::CheckIs(const TObject* AObject, const TClass* AClass, std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  if (!AObject) FailNotEquals(NameOf(AClass), "nil", msg, loc);
  else if (!AClass) FailNotEquals("nil", AObject->ClassType().Name, msg, loc);
  else if (!AObject->ClassType().InheritsFrom(AClass)) FailNotEquals(AClass->Name, AObject->ClassType().Name, msg, loc);
}

void TAbstractTestBase::CheckIntegers(bool expectedSigned, uint64_t expected, bool actualSigned, uint64_t actual,
                                  bool wantEqual, std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  // Both values are widened to 64 bits; a negative signed value never equals an unsigned one.
  bool equal = expected == actual;
  if (expectedSigned != actualSigned)
    equal = equal && static_cast<int64_t>(expectedSigned ? expected : actual) >= 0;
  if (wantEqual != equal)
    FailTexts(*this, !wantEqual, TNumberText(expectedSigned, expected).View(),
              TNumberText(actualSigned, actual).View(), msg, loc);
}

void TAbstractTestBase::CheckException(const TTestMethod& AMethod, ExceptionClass AExceptionClass, std::string_view msg,
                                   Loc loc) {
  FRun->CheckCalled = true;
  std::exception_ptr raised;
  try {
    Invoke(AMethod);
  } catch (...) {
    raised = std::current_exception();
  }
  if (raised) {
    if (!AExceptionClass) std::rethrow_exception(raised);
    TExceptionInfo info = DescribeException(raised);
    if (info.Class && info.Class->InheritsFrom(AExceptionClass)) return;
    if (AExceptionClass->Matcher && AExceptionClass->Matcher(raised)) return;
    FailNotEquals(AExceptionClass->Name, info.ClassName, msg, loc);
  } else if (AExceptionClass) {
    FailNotEquals(AExceptionClass->Name, TesselConsts::sExceptionNothig, msg, loc);
  }
}

}  // namespace TestFramework
