// Value printing, Message and AssertionResult of the GoogleTest dialect: the
// texts next to GoogleTest's own, and what text alone does not show.
#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include <gtest/gtest-assertion-result.h>
#include <gtest/gtest-message.h>
#include <gtest/gtest-printers.h>

#include "ComparedRecords.h"
#include "framework/TestFramework.h"

using namespace TestFramework;
using testing::PrintToString;

namespace {

using ComparedRecords::TDifference;

const std::vector<TDifference> kNumberDifferences = {
    // Six digits would print both sides of "1.0/3 == 0.333333" alike; these
    // take the digits that give the value back.
    {"1.0 / 3", "0.33333333333333331"},
    {"1234567.0", "1234567"},
    {"100000.5", "100000.5"},
    {"1.0f / 3", "0.333333343"},
};

const std::vector<TDifference> kStringDifferences = {
    // GoogleTest has no printer for wide views and shows their characters one by one.
    {"std::wstring_view(L\"wv\")", "L\"wv\""},
    {"std::u16string_view(u\"v16\")", "u\"v16\""},
};

const std::vector<TDifference> kPointerDifferences = {
    // GoogleTest streams a pointer to volatile as a bool, "1".
    {"universal &held", "0x?"},
};

class TGTestPrinterTests : public TTestCase {
  TESSEL_TESTCASE(TGTestPrinterTests, TTestCase)
 public:
  void CompareSection(const std::string& name, const std::vector<TDifference>& differences = {}) {
    CheckEquals(std::string(), ComparedRecords::Mismatches(name, differences), "texts of " + name);
  }

  TESSEL_TEST(TestNumbersAsGoogleTest) { CompareSection("numbers", kNumberDifferences); }
  TESSEL_TEST(TestCharactersAsGoogleTest) { CompareSection("characters"); }
  TESSEL_TEST(TestStringsAsGoogleTest) { CompareSection("strings", kStringDifferences); }
  TESSEL_TEST(TestCharacterPointersAndArraysAsGoogleTest) { CompareSection("character pointers and arrays"); }
  TESSEL_TEST(TestPointersAsGoogleTest) { CompareSection("pointers", kPointerDifferences); }
  TESSEL_TEST(TestContainersAsGoogleTest) { CompareSection("containers"); }
  TESSEL_TEST(TestCompoundsAsGoogleTest) { CompareSection("compounds"); }
  TESSEL_TEST(TestUserTypesAsGoogleTest) { CompareSection("user types"); }
  TESSEL_TEST(TestMessagesAsGoogleTest) { CompareSection("messages"); }
  TESSEL_TEST(TestAssertionResultsAsGoogleTest) { CompareSection("assertion results"); }

  // Debian's GoogleTest library predates char8_t, so these have no reference.
  TESSEL_TEST(TestU8Texts) {
    const char8_t* pointer = u8"p";
    char8_t array[] = u8"a\u00e9";
    const struct {
      std::string got, expected;
    } cases[] = {
        {PrintToString(std::u8string(u8"u8\u00e9")), "u8\"u8\\xC3\\xA9\""},
        {PrintToString(std::u8string_view(u8"v")), "u8\"v\""},
        {PrintToString(u8'a'), "U+0061"},
        {PrintToString(array), "u8\"a\\xC3\\xA9\""},
        {PrintToString(pointer), "u8\"p\""},
        {PrintToString(static_cast<const char8_t*>(nullptr)), "NULL"},
    };
    for (const auto& c : cases) CheckEquals(c.expected, c.got);
  }

  // What a failure message shows of a number must name that number.
  TESSEL_TEST(TestFloatsReadBackAsTheirValue) {
    const double doubles[] = {1.0 / 3, 0.1 + 0.2, 1e-310, std::numeric_limits<double>::max(),
                              std::numeric_limits<double>::denorm_min(), -2.0 / 7, 1e23, 123456.7};
    for (double d : doubles) {
      CheckTrue(std::strtod(PrintToString(d).c_str(), nullptr) == d, PrintToString(d));
    }
    const float floats[] = {1.0f / 3, 0.1f, 16777215.0f, std::numeric_limits<float>::min(), 3.4e38f};
    for (float f : floats) {
      CheckTrue(std::strtof(PrintToString(f).c_str(), nullptr) == f, PrintToString(f));
    }
    const long double third = 1.0L / 3;
    CheckTrue(std::strtold(PrintToString(third).c_str(), nullptr) == third, PrintToString(third));
    // Numbers that six digits hold keep their short form.
    CheckEquals(std::string("0.1 2.5e-07 1e+100 -0.1"), PrintToString(0.1) + " " + PrintToString(2.5e-7) + " " +
                                                         PrintToString(1e100) + " " + PrintToString(-0.1f));
  }

  // A variant left without a value must still print, not throw out of a
  // failure message.
  TESSEL_TEST(TestValuelessVariantPrints) {
    struct ThrowsOnMove {
      ThrowsOnMove() = default;
      ThrowsOnMove(ThrowsOnMove&&) { throw std::runtime_error("move"); }
      ThrowsOnMove& operator=(ThrowsOnMove&&) = default;
    };
    std::variant<int, ThrowsOnMove> v;
    try {
      v.emplace<ThrowsOnMove>(ThrowsOnMove());
    } catch (const std::runtime_error&) {
    }
    CheckTrue(v.valueless_by_exception());
    CheckEquals(std::string("(valueless by exception)"), PrintToString(v));
  }

  TESSEL_TEST(TestUtf8FlagTurnsTextLineOff) {
    testing::FLAGS_gtest_print_utf8 = false;
    const std::string without = PrintToString(std::string("caf\xc3\xa9"));
    testing::FLAGS_gtest_print_utf8 = true;
    CheckEquals(std::string("\"caf\\xC3\\xA9\""), without);
  }

  TESSEL_TEST(TestAssertionResultCopiesAreIndependent) {
    testing::AssertionResult original = testing::AssertionFailure() << "one";
    testing::AssertionResult copy = original;
    copy << " two";
    testing::AssertionResult negated = !original;
    negated << " three";
    CheckEquals(std::string("one"), std::string(original.message()));
    CheckEquals(std::string("one two"), std::string(copy.message()));
    CheckEquals(std::string("one three"), std::string(negated.message()));
    CheckTrue(static_cast<bool>(negated));
    testing::AssertionResult silent = testing::AssertionSuccess();
    CheckEquals(std::string(), std::string((!silent).failure_message()));
  }
};

TESSEL_REGISTER("Dialects.GTest.Printers", TGTestPrinterTests);

}  // namespace
