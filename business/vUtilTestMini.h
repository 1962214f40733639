// The first layer of the business test cases: checks over a column of a
// dataset (summed, or joined into one text), MD5 digests of texts, streams
// and files, date-times with and without a tolerance, texts without regard
// to ASCII case, and objects through their own equality.
//
//   class TSalesTests : public vUtilTestMini::TvTestCaseMini {
//     TESSEL_TESTCASE(TSalesTests, vUtilTestMini::TvTestCaseMini)
//    public:
//     TESSEL_TEST(TestTotals) {
//       auto ds = connection.Query("select total, client from orders");
//       CheckEqualsSum(1250.5, ds->FieldByName("total"), 0.001, "orders");
//       CheckEqualsConcat("ana;bia", ds->FieldByName("client"));
//     }
//   };
//
// Every failure goes through the framework's failure operations, so the
// messages have the framework's layout. A missing file or dataset is not a
// failure: what the digest or the dataset raises is the test's error.
#pragma once

#include <iosfwd>
#include <string>

#include "framework/TestFramework.h"
#include "platform/Clocks.h"

namespace DBClient {
class TField;
}

namespace vUtilTestMini {

// An object compared by its own equality and shown by its own text.
class TvObject {
 public:
  virtual ~TvObject() = default;
  virtual bool Equals(const TvObject* other) const = 0;
  virtual std::string ToString() const = 0;
};

// The date-time text of the checks: the locale's short date and long time,
// the date alone when the time is exactly midnight.
std::string DateTimeToStr(Platform::TDateTime value);
// FormatFloat("0.00", value) with the locale's decimal separator.
std::string FormatFloat2(double value);

using TestFramework::TTestCase;

class TvTestCaseMini : public TTestCase {
  TESSEL_TESTCASE(TvTestCaseMini, TTestCase)

 public:
  using TTestCase::CheckEquals;
  using TTestCase::CheckNotEquals;

  // In this order after TTestCase's own: classes that replace a check
  // override these.
  virtual void CheckEqualsMD5(const std::string& expected, const std::string& actual, std::string_view msg = {},
                              Loc loc = Loc::current());
  virtual void CheckNotEqualsMD5(const std::string& expected, const std::string& actual, std::string_view msg = {},
                                 Loc loc = Loc::current());
  virtual void CheckEqualsMD5(const std::string& expected, std::istream& actual, std::string_view msg = {},
                              bool ASeekBeginning = true, Loc loc = Loc::current());
  virtual void CheckNotEqualsMD5(const std::string& expected, std::istream& actual, std::string_view msg = {},
                                 bool ASeekBeginning = true, Loc loc = Loc::current());
  virtual void CheckEqualsMD5Arquivo(const std::string& expected, const std::string& actualNomeArquivo,
                                     std::string_view msg = {}, Loc loc = Loc::current());
  virtual void CheckNotEqualsMD5Arquivo(const std::string& expected, const std::string& actualNomeArquivo,
                                        std::string_view msg = {}, Loc loc = Loc::current());
  virtual void CheckEqualsStringInsensitive(const std::string& expected, const std::string& actual,
                                            std::string_view msg = {}, Loc loc = Loc::current());
  virtual void CheckNotEqualsStringInsensitive(const std::string& expected, const std::string& actual,
                                               std::string_view msg = {}, Loc loc = Loc::current());

  // The sum of the field over all records, and its texts joined by ";".
  // Both start at the first record and leave the dataset at its end.
  double SumField(DBClient::TField& field);
  std::string ConcatField(DBClient::TField& field);

  void CheckEquals(uint32_t expected, uint32_t actual, std::string_view msg = {}, Loc loc = Loc::current()) override;
  void CheckEquals(const TvObject* expected, const TvObject* actual, std::string_view msg = {},
                   Loc loc = Loc::current());
  void CheckNotEquals(const TvObject* expected, const TvObject* actual, std::string_view msg = {},
                      Loc loc = Loc::current());
  // Objects of classes derived from TvObject (the framework refuses other pointers).
  template <class T>
  void CheckEquals(const T* expected, const T* actual, std::string_view msg = {}, Loc loc = Loc::current()) {
    static_assert(std::is_base_of_v<TvObject, T>, "pointers are compared only as TvObject");
    CheckEquals(static_cast<const TvObject*>(expected), static_cast<const TvObject*>(actual), msg, loc);
  }

  void CheckEqualsDateTime(Platform::TDateTime expected, Platform::TDateTime actual, std::string_view msg = {},
                           Loc loc = Loc::current());
  void CheckEqualsDateTime(Platform::TDateTime expected, Platform::TDateTime actual, long double delta,
                           std::string_view msg = {}, Loc loc = Loc::current());
  void CheckNotEqualsDateTime(Platform::TDateTime expected, Platform::TDateTime actual, std::string_view msg = {},
                              Loc loc = Loc::current());
  void CheckNotEqualsDateTime(Platform::TDateTime expected, Platform::TDateTime actual, long double delta,
                              std::string_view msg = {}, Loc loc = Loc::current());

  void CheckEqualsSum(double expected, DBClient::TField& field, long double delta, std::string_view msg = {},
                      Loc loc = Loc::current());
  void CheckNotEqualsSum(double expected, DBClient::TField& field, long double delta, std::string_view msg = {},
                         Loc loc = Loc::current());
  void CheckEqualsConcat(const std::string& expected, DBClient::TField& field, std::string_view msg = {},
                         Loc loc = Loc::current());
  void CheckNotEqualsConcat(const std::string& expected, DBClient::TField& field, std::string_view msg = {},
                            Loc loc = Loc::current());
  void CheckEqualsConcatMD5(const std::string& expected, DBClient::TField& field, std::string_view msg = {},
                            Loc loc = Loc::current());
  void CheckNotEqualsConcatMD5(const std::string& expected, DBClient::TField& field, std::string_view msg = {},
                               Loc loc = Loc::current());
};

void InitializeUnit();
void FinalizeUnit();

}  // namespace vUtilTestMini
