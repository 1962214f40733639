#include "business/vUtilTestMini.h"

#include <cfenv>
#include <cmath>

#include "business/CorvelFramework.h"
#include "platform/LocaleSettings.h"
#include "platform/UnitSteps.h"
#include "platform/qt/DBClient.h"
#include "platform/qt/QtText.h"
#include "runners/ReportText.h"

namespace vUtilTestMini {

using TestFramework::FloatToStr;

namespace {

int gInitCount = 0;

// The dataset layer writes its values with the framework's locale settings.
void InstallValueTexts() {
  DBClient::TValueTexts& t = DBClient::ValueTexts();
  t.FloatToText = [](double v) { return TestFramework::FloatToStr(v); };
  t.DateTimeToText = [](double v) { return DateTimeToStr(v); };
  t.DateToText = [](double v) { return ReportText::DateToStr(v); };
  t.TimeToText = [](double v) { return ReportText::TimeToStr(v); };
}

[[maybe_unused]] const bool gInstalled = (InstallValueTexts(), true);

std::string WithPreview(std::string_view msg, const std::string& actual) {
  std::string out(msg);
  if (!out.empty()) out += "\r\n";
  out += "<" + QtText::CopyChars(actual, 1, 256) + ">";
  if (QtText::CharCount(actual) > 256) out += "...";
  out += "\r\n";
  return out;
}

// Whole days, halves to even (the rounding of the floating-point unit).
double RoundedDays(double days) {
  int old = std::fegetround();
  std::fesetround(FE_TONEAREST);
  double r = std::nearbyint(days);
  std::fesetround(old);
  return r;
}

std::string DeltaText(Platform::TDateTime expected, long double delta) {
  return DateTimeToStr(expected) + " + " + FloatToStr(static_cast<double>(delta));
}

}  // namespace

std::string DateTimeToStr(Platform::TDateTime value) {
  if (value == std::floor(value)) return ReportText::DateToStr(value);
  return ReportText::DateTimeToStr(value);
}

std::string FormatFloat2(double value) { return ReportText::LocaleFixedPoint(value, 2); }

// ---------------------------------------------------------------------------
// Digests

void TvTestCaseMini::CheckEqualsMD5(const std::string& expected, const std::string& actual, std::string_view msg,
                                    Loc loc) {
  std::string msg2 = WithPreview(msg, actual);
  CheckEqualsString(expected, corvel5::GetMD5(actual), msg2, loc);
}

void TvTestCaseMini::CheckNotEqualsMD5(const std::string& expected, const std::string& actual, std::string_view msg,
                                       Loc loc) {
  CheckNotEqualsString(expected, corvel5::GetMD5(actual), msg, loc);
}

void TvTestCaseMini::CheckEqualsMD5(const std::string& expected, std::istream& actual, std::string_view msg,
                                    bool ASeekBeginning, Loc loc) {
  CheckEqualsString(expected, corvel5::GetMD5(actual, ASeekBeginning), msg, loc);
}

void TvTestCaseMini::CheckNotEqualsMD5(const std::string& expected, std::istream& actual, std::string_view msg,
                                       bool ASeekBeginning, Loc loc) {
  CheckNotEqualsString(expected, corvel5::GetMD5(actual, ASeekBeginning), msg, loc);
}

void TvTestCaseMini::CheckEqualsMD5Arquivo(const std::string& expected, const std::string& actualNomeArquivo,
                                           std::string_view msg, Loc loc) {
  CheckEqualsString(expected, corvel5::GetMD5Arquivo(actualNomeArquivo), msg, loc);
}

void TvTestCaseMini::CheckNotEqualsMD5Arquivo(const std::string& expected, const std::string& actualNomeArquivo,
                                              std::string_view msg, Loc loc) {
  CheckNotEqualsString(expected, corvel5::GetMD5Arquivo(actualNomeArquivo), msg, loc);
}

// ---------------------------------------------------------------------------
// Texts without regard to case: ASCII letters only, so "ação" and "AÇÃO" differ.

void TvTestCaseMini::CheckEqualsStringInsensitive(const std::string& expected, const std::string& actual,
                                                  std::string_view msg, Loc loc) {
  CheckEqualsString(QtText::UpperAscii(expected), QtText::UpperAscii(actual), msg, loc);
}

void TvTestCaseMini::CheckNotEqualsStringInsensitive(const std::string& expected, const std::string& actual,
                                                     std::string_view msg, Loc loc) {
  CheckNotEqualsString(QtText::UpperAscii(expected), QtText::UpperAscii(actual), msg, loc);
}

// ---------------------------------------------------------------------------
// Columns

namespace {
// A field that belongs to no dataset is the test's error, not a crash of the run.
DBClient::TDataSet& DataSetOf(DBClient::TField& field) {
  if (!field.DataSet())
    throw TestFramework::Exception("The field " + field.FieldName() + " belongs to no dataset");
  return *field.DataSet();
}
}  // namespace

double TvTestCaseMini::SumField(DBClient::TField& field) {
  DBClient::TDataSet& ds = DataSetOf(field);
  double sum = 0.0;
  for (ds.First(); !ds.Eof(); ds.Next()) sum += field.AsFloat();
  return sum;
}

std::string TvTestCaseMini::ConcatField(DBClient::TField& field) {
  DBClient::TDataSet& ds = DataSetOf(field);
  std::string out;
  for (ds.First(); !ds.Eof(); ds.Next()) {
    out += field.AsString();
    out += ';';
  }
  if (!out.empty()) out.pop_back();
  return out;
}

void TvTestCaseMini::CheckEqualsSum(double expected, DBClient::TField& field, long double delta, std::string_view msg,
                                    Loc loc) {
  double sum = SumField(field);
  std::string msg2 = std::string(msg) + " Dif: <" + FormatFloat2(expected - sum) + ">";
  CheckEquals(expected, sum, static_cast<double>(delta), msg2, loc);
}

void TvTestCaseMini::CheckNotEqualsSum(double expected, DBClient::TField& field, long double delta,
                                       std::string_view msg, Loc loc) {
  CheckNotEquals(expected, SumField(field), static_cast<double>(delta), msg, loc);
}

void TvTestCaseMini::CheckEqualsConcat(const std::string& expected, DBClient::TField& field, std::string_view msg,
                                       Loc loc) {
  CheckEquals(expected, ConcatField(field), msg, loc);
}

void TvTestCaseMini::CheckNotEqualsConcat(const std::string& expected, DBClient::TField& field, std::string_view msg,
                                          Loc loc) {
  CheckNotEquals(expected, ConcatField(field), msg, loc);
}

void TvTestCaseMini::CheckEqualsConcatMD5(const std::string& expected, DBClient::TField& field, std::string_view msg,
                                          Loc loc) {
  CheckEquals(expected, corvel5::GetMD5(ConcatField(field)), msg, loc);
}

void TvTestCaseMini::CheckNotEqualsConcatMD5(const std::string& expected, DBClient::TField& field,
                                             std::string_view msg, Loc loc) {
  CheckNotEquals(expected, corvel5::GetMD5(ConcatField(field)), msg, loc);
}

// ---------------------------------------------------------------------------
// Values compared here directly

void TvTestCaseMini::CheckEquals(uint32_t expected, uint32_t actual, std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  if (expected != actual) FailNotEquals(std::to_string(expected), std::to_string(actual), msg, loc);
}

namespace {
// A nil object reads "nil", the text that shows what the test handed over.
std::string TextOf(const TvObject* object) {
  if (!object) return "nil";
  try {
    return object->ToString();
  } catch (const std::exception& e) {
    return e.what();
  }
}

// An unset object is the test's error, not a crash of the run.
void RequireObject(const TvObject* object, const char* which) {
  if (!object) throw TestFramework::Exception(std::string("The ") + which + " object is unset (nil)");
}
}  // namespace

void TvTestCaseMini::CheckEquals(const TvObject* expected, const TvObject* actual, std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  RequireObject(expected, "expected");
  if (!expected->Equals(actual)) FailNotEquals(TextOf(expected), TextOf(actual), msg, loc);
}

void TvTestCaseMini::CheckNotEquals(const TvObject* expected, const TvObject* actual, std::string_view msg,
                                    Loc loc) {
  FRun->CheckCalled = true;
  RequireObject(expected, "expected");
  if (expected->Equals(actual)) {
    RequireObject(actual, "actual");
    FailEquals(expected->ToString(), actual->ToString(), msg, loc);
  }
}

void TvTestCaseMini::CheckEqualsDateTime(Platform::TDateTime expected, Platform::TDateTime actual,
                                         std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  if (expected != actual) FailNotEquals(DateTimeToStr(expected), DateTimeToStr(actual), msg, loc);
}

void TvTestCaseMini::CheckEqualsDateTime(Platform::TDateTime expected, Platform::TDateTime actual, long double delta,
                                         std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  long double distance = std::fabs(static_cast<long double>(expected) - static_cast<long double>(actual));
  if (!(distance <= delta))
    FailNotEquals(DeltaText(expected, delta),
                  DateTimeToStr(actual) + " => " + FloatToStr(RoundedDays(static_cast<double>(distance))), msg, loc);
}

void TvTestCaseMini::CheckNotEqualsDateTime(Platform::TDateTime expected, Platform::TDateTime actual,
                                            std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  if (expected == actual) FailEquals(DateTimeToStr(expected), DateTimeToStr(actual), msg, loc);
}

void TvTestCaseMini::CheckNotEqualsDateTime(Platform::TDateTime expected, Platform::TDateTime actual,
                                            long double delta, std::string_view msg, Loc loc) {
  FRun->CheckCalled = true;
  long double distance = std::fabs(static_cast<long double>(expected) - static_cast<long double>(actual));
  if (!(distance > delta)) FailNotEquals(DeltaText(expected, delta), DateTimeToStr(actual), msg, loc);
}

void InitializeUnit() {
  if (gInitCount++ > 0) return;
  InstallValueTexts();
  Platform::NoteUnitStep("vUtilTestMini", Platform::kUnitStart);
}

void FinalizeUnit() {
  if (gInitCount == 0 || --gInitCount > 0) return;
  Platform::NoteUnitStep("vUtilTestMini", Platform::kUnitStop);
}

}  // namespace vUtilTestMini
