// Texts the dialect and GoogleTest are meant to print alike. Built twice:
// once against Debian's GoogleTest and GoogleMock, once against the dialect's
// headers; the matchers' records are in ComparedMatcherTexts.cpp. "## name"
// starts a section; each record is "@@ <key>" on a line of its own, then the
// text.
#include <gtest/gtest-assertion-result.h>
#include <gtest/gtest-message.h>
#include <gtest/gtest-printers.h>

#if defined(TESSEL_DIALECT) && (defined(GOOGLETEST_INCLUDE_GTEST_GTEST_PRINTERS_H_))
#error "the dialect's build reached GoogleTest's own headers"
#endif

#include <any>
#include <array>
#include <functional>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <list>
#include <locale>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <variant>
#include <vector>

#include "ComparedTexts.h"

namespace {

void Record(const char* key, const std::string& text) {
  std::printf("@@ %s\n", key);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::printf("\n");
}

template <typename T>
std::string Universal(const T& value) {
  std::ostringstream os;
  testing::internal::UniversalPrint(value, &os);
  return os.str();
}

#define PRINT(...) Record(#__VA_ARGS__, ::testing::PrintToString(__VA_ARGS__))
#define UNIVERSAL(...) Record("universal " #__VA_ARGS__, Universal(__VA_ARGS__))

// A global locale that groups digits in threes: a stream made after it is
// set prints integers grouped.
struct TGroupsOfThree : std::numpunct<char> {
  char do_thousands_sep() const override { return ','; }
  std::string do_grouping() const override { return "\3"; }
};

void Numbers() {
  PRINT(5);
  PRINT(-3);
  PRINT(0u);
  PRINT(std::numeric_limits<long long>::min());
  PRINT(std::numeric_limits<unsigned long long>::max());
  PRINT(static_cast<short>(-7));
  PRINT(static_cast<unsigned short>(65535));
  PRINT(1234567L);
  {
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new TGroupsOfThree));
    Record("1234567 under a global locale that groups digits", ::testing::PrintToString(1234567));
    std::locale::global(previous);
  }
  PRINT(true);
  PRINT(false);
  PRINT(3.5);
  PRINT(0.1);
  PRINT(-0.0);
  PRINT(1e10);
  PRINT(1e-300);
  PRINT(123456.0);
  PRINT(0.25f);
  PRINT(std::numeric_limits<double>::infinity());
  PRINT(-std::numeric_limits<float>::infinity());
  PRINT(std::numeric_limits<double>::quiet_NaN());
  PRINT(2.5L);
  // Not exact in six digits: printed with all of theirs here (see the test).
  PRINT(1.0 / 3);
  PRINT(1234567.0);
  PRINT(100000.5);
  PRINT(1.0f / 3);
}

void Characters() {
  PRINT('a');
  PRINT('5');
  PRINT('\0');
  PRINT('\t');
  PRINT('\n');
  PRINT('\v');
  PRINT('\a');
  PRINT('\x01');
  PRINT('\x7f');
  PRINT('\'');
  PRINT('"');
  PRINT('\\');
  PRINT('?');
  PRINT(static_cast<char>(0xe9));
  PRINT(static_cast<signed char>(65));
  PRINT(static_cast<signed char>(-23));
  PRINT(static_cast<unsigned char>(200));
  PRINT(static_cast<unsigned char>(9));
  PRINT(static_cast<unsigned char>(10));
  PRINT(L'a');
  PRINT(L'\0');
  PRINT(L'\x263A');
  PRINT(L'\'');
  PRINT(static_cast<wchar_t>(-1));
  PRINT(u'a');
  PRINT(U'a');
  PRINT(U'\x1F600');
  PRINT(char32_t(0));
  PRINT(char32_t(0x110000));
  PRINT(char16_t(0xd800));
}

void Strings() {
  PRINT("abc");
  PRINT(std::string());
  PRINT(std::string("a\"b\\c\n\t\x01" "2\x7f"));
  PRINT(std::string("\x01" "a"));
  PRINT(std::string("\x01" "g"));
  PRINT(std::string("\xe9" "A"));
  PRINT(std::string("a\0b", 3));
  PRINT(std::string("?\?(it's)"));
  PRINT(std::string_view("sv"));
  PRINT(std::wstring(L"w\x263A"));
  PRINT(std::wstring(L"\x263A" L"A"));
  PRINT(std::wstring(L"\x263A" L"g"));
  PRINT(std::wstring_view(L"wv"));
  PRINT(L"wide");
  PRINT(std::u16string(u"u16\u00e9"));
  PRINT(std::u16string(u"\U0001F600"));
  PRINT(std::u32string(U"u32\U0001F600"));
  PRINT(std::u16string_view(u"v16"));
  PRINT(u"lit16");
  PRINT(U"lit32");
  // UTF-8 is shown a second time as text, when it is valid and printable.
  PRINT(std::string("caf\xc3\xa9"));
  PRINT(std::string("caf\xc3\xa9\n"));
  PRINT(std::string("caf\xc3\xa9\t"));
  PRINT(std::string("caf\xc3\xa9\x01"));
  PRINT(std::string("\xc3\xa9\x7f"));
  PRINT(std::string("\xc3\xa9\0x", 4));
  PRINT(std::string("\xc3\xa9\x0b"));
  PRINT(std::string("\xc2\x80"));
  PRINT(std::string("\xe0\x80\x80"));
  PRINT(std::string("\xe0\xa0\x80"));
  PRINT(std::string("\xed\xa0\x80"));
  PRINT(std::string("\xee\x80\x80"));
  PRINT(std::string("\xf0\x80\x80\x80"));
  PRINT(std::string("\xf0\x9f\x98\x80"));
  PRINT(std::string("\xf4\x90\x80\x80"));
  PRINT(std::string("\xc0\x80"));
  PRINT(std::string("\xe2\x82"));
  PRINT(std::string("\xc3\xa9\xc3"));
  PRINT(std::string("\xff\xfe"));
  PRINT(std::string("a\xc3\xa9" "b\\\""));
  PRINT(std::string_view("caf\xc3\xa9"));
  const char* utf8 = "caf\xc3\xa9";
  PRINT(utf8);
  UNIVERSAL(utf8);
  char utf8_array[] = "caf\xc3\xa9";
  PRINT(utf8_array);
}

void CharacterPointersAndArrays() {
  const char* text = "hello";
  PRINT(text);
  UNIVERSAL(text);
  const char* no_text = nullptr;
  PRINT(no_text);
  UNIVERSAL(no_text);
  char* mutable_null = nullptr;
  PRINT(mutable_null);
  const wchar_t* wide = L"w";
  PRINT(wide);
  UNIVERSAL(wide);
  const wchar_t* no_wide = nullptr;
  PRINT(no_wide);
  const char16_t* text16 = u"w";
  PRINT(text16);
  UNIVERSAL(text16);
  const char32_t* text32 = U"w";
  PRINT(text32);
  char terminated[4] = "abc";
  PRINT(terminated);
  UNIVERSAL(terminated);
  char unterminated[3] = {'a', 'b', 'c'};
  PRINT(unterminated);
  char inner_nul[5] = "a\0b";
  PRINT(inner_nul);
  char empty[1] = "";
  PRINT(empty);
  wchar_t wide_array[] = L"wa";
  PRINT(wide_array);
  char16_t array16[] = u"x";
  PRINT(array16);
}

void Pointers() {
  int* no_int = nullptr;
  PRINT(no_int);
  const volatile int* no_cv = nullptr;
  PRINT(no_cv);
  PRINT(nullptr);
  void (*no_function)(int) = nullptr;
  PRINT(no_function);
  void (*function)() = Pointers;
  PRINT(function);
  UNIVERSAL(Pointers);
  PRINT(std::unique_ptr<int>());
  PRINT(std::shared_ptr<int>());
  PRINT(std::shared_ptr<void>());
  PRINT(std::unique_ptr<int[]>());
  volatile int held = 0;
  UNIVERSAL(&held);
  UNIVERSAL(std::make_unique<int>(5));
  UNIVERSAL(std::make_shared<std::string>("shared"));
  UNIVERSAL(std::make_unique<int[]>(2));
}

void Containers() {
  PRINT(std::vector<int>{1, 2, 3});
  PRINT(std::vector<int>{});
  PRINT(std::vector<int>(32, 7));
  PRINT(std::vector<int>(33, 7));
  PRINT(std::vector<std::vector<int>>(34, std::vector<int>{1}));
  PRINT(std::vector<std::vector<int>>{{1}, {2, 3}, {}});
  PRINT(std::map<int, std::string>{{1, "a"}, {2, "b"}});
  PRINT(std::map<std::string, std::vector<int>>{{"k", {1}}});
  PRINT(std::set<int>{3, 1});
  PRINT(std::list<char>{'x'});
  PRINT(std::array<int, 3>{1, 2, 3});
  PRINT(std::vector<std::string>{"a", "b"});
  PRINT(std::vector<bool>{true, false});
  PRINT(std::vector<char>{'a', 'b'});
  PRINT(std::vector<double>{0.1, 2});
  PRINT(std::vector<const char*>{nullptr});
  int numbers[3] = {1, 2, 3};
  PRINT(numbers);
  int eighteen[18];
  int nineteen[19];
  int forty[40];
  for (int i = 0; i < 40; ++i) {
    if (i < 18) eighteen[i] = i;
    if (i < 19) nineteen[i] = i;
    forty[i] = i;
  }
  PRINT(eighteen);
  PRINT(nineteen);
  PRINT(forty);
  int square[2][2] = {{1, 2}, {3, 4}};
  PRINT(square);
  std::string names[2] = {"x", "y"};
  PRINT(names);
}

void Compounds() {
  PRINT(std::make_pair(1, std::string("x")));
  PRINT(std::make_pair('k', std::make_pair(1.5, false)));
  PRINT(std::make_tuple(1, 'c', 2.5));
  PRINT(std::tuple<>());
  PRINT(std::tuple<std::string, std::vector<int>>("t", {4}));
  PRINT(std::optional<int>(4));
  PRINT(std::optional<int>());
  PRINT(std::optional<std::string>("o"));
  PRINT(std::nullopt);
  PRINT(std::variant<int, std::string>(5));
  PRINT(std::variant<int, std::string>("s"));
  PRINT(std::variant<std::vector<int>, double>(0.5));
  PRINT(std::vector<std::optional<int>>{1, std::nullopt});
  PRINT(std::any());
  PRINT(std::any(std::string("a")));
  PRINT(std::vector<std::any>{std::any(1)});
  int referred = 4;
  PRINT(std::ref(referred));
  PRINT(std::make_tuple(std::cref(referred), std::string("r")));
}

void UserTypes() {
  PRINT(Compared::Unprintable{1, 2});
  PRINT(Compared::Bytes<1>());
  PRINT(Compared::Bytes<2>());
  PRINT(Compared::Bytes<3>());
  PRINT(Compared::Bytes<131>());
  PRINT(Compared::Bytes<132>());
  PRINT(Compared::Bytes<133>());
  PRINT(Compared::Bytes<135>());
  PRINT(Compared::kPlainB);
  PRINT(Compared::Scoped::kX);
  PRINT(Compared::Scoped8::kX);
  PRINT(Compared::Streamed{4});
  PRINT(Compared::WithPrintTo{9});
  PRINT(std::vector<Compared::Streamed>{{1}, {2}});
  PRINT(std::vector<Compared::WithPrintTo>{{1}, {2}});
  PRINT(std::make_pair(Compared::WithPrintTo{3}, Compared::Unprintable{5, 6}));
  PRINT(std::optional<Compared::Streamed>(Compared::Streamed{7}));
  PRINT(Compared::ToInteger{});
  PRINT(Compared::ToStringView{});
  PRINT(Compared::StreamedContainer{});
  PRINT(Compared::Tree{});
  PRINT(Compared::Both{});
  PRINT(std::filesystem::path("/a/b"));
}

void Messages() {
  testing::Message plain;
  plain << 0.1 << ' ' << 1.0f / 3 << ' ' << true << ' ' << static_cast<int*>(nullptr) << ' '
        << static_cast<const char*>(nullptr) << ' ' << L"wide\x263A" << ' ' << std::wstring(L"ws") << ' ' << 'c'
        << ' ' << static_cast<signed char>(65) << std::endl
        << std::string("a\0b", 3) << ' ' << Compared::Streamed{2} << ' ' << static_cast<const wchar_t*>(nullptr);
  Record("message of values", plain.GetString());
  testing::Message started("init");
  started << 5;
  Record("message from text", started.GetString());
  testing::Message copied(started);
  copied << "+";
  Record("message copied", copied.GetString());
  std::ostringstream os;
  os << started << '|';
  Record("message streamed", os.str());
  testing::Message wide;
  wide << std::wstring(L"\xD800") << L"|" << std::wstring(1, static_cast<wchar_t>(0x110000));
  Record("message of wide codes outside Unicode", wide.GetString());
}

void AssertionResults() {
  const testing::AssertionResult failure = testing::AssertionFailure() << "a" << 1 << std::endl << 'c';
  Record("failure", failure.message());
  Record("failure negated", std::string((!failure).message()) + " " + (!failure ? "true" : "false"));
  Record("failure from message", testing::AssertionFailure(testing::Message() << "m" << 2).failure_message());
  const testing::AssertionResult success = testing::AssertionSuccess();
  Record("success", std::string("[") + success.message() + "] " + (success ? "true" : "false"));
  testing::AssertionResult assigned = testing::AssertionSuccess() << "kept";
  assigned = failure;
  Record("assigned", std::string(assigned.message()) + " " + (assigned ? "true" : "false"));
  int* no_int = nullptr;
  Record("from values", std::string(testing::AssertionResult(5) ? "true" : "false") +
                            (testing::AssertionResult(no_int) ? " true" : " false"));
}

}  // namespace

void RecordMatcherTexts();

int main() {
  const std::pair<const char*, void (*)()> sections[] = {
      {"numbers", Numbers},
      {"characters", Characters},
      {"strings", Strings},
      {"character pointers and arrays", CharacterPointersAndArrays},
      {"pointers", Pointers},
      {"containers", Containers},
      {"compounds", Compounds},
      {"user types", UserTypes},
      {"messages", Messages},
      {"assertion results", AssertionResults},
  };
  for (const auto& [name, records] : sections) {
    std::printf("## %s\n", name);
    records();
  }
  RecordMatcherTexts();
  return 0;
}
