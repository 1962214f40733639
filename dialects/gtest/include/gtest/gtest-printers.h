// Value printing: how failure messages show a value.
//
//   std::string text = testing::PrintToString(std::vector<int>{1, 2, 3});  // "{ 1, 2, 3 }"
//
// A type is printed by the first of these that applies:
//   1. a PrintTo(const T&, std::ostream*) found through the type's namespace;
//   2. the kinds known here: bool, characters with their codes, strings quoted
//      with escapes, floating point (six significant digits, or as many as
//      give the value back), nullptr, pairs, tuples, optional, variant, any,
//      reference_wrapper, unique_ptr and shared_ptr, C arrays;
//   3. a container (begin(), end(), const_iterator): "{ a, b }", at most 32
//      elements;
//   4. a pointer: its address, or NULL; a function: its address;
//   5. an operator<< found through the type's namespace;
//   6. an implicit conversion to an integer, then to std::string_view;
//   7. the object's bytes, "N-byte object <01-00 00-00>".
// PrintToString prints a char pointer as the text it points to; inside
// containers and tuples the address comes first ("0x... pointing to ...").
#pragma once

#include <any>
#include <cstddef>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <variant>
// std::reference_wrapper alone: all of <functional> costs every test file
// a fifth of a second.
#if __has_include(<bits/refwrap.h>)
#include <bits/refwrap.h>
#else
#include <functional>
#endif

namespace testing {

// --gtest_print_utf8: a std::string holding UTF-8 is shown a second time as
// text ("As Text: ..."). Defined with the printers; gtest.h may declare it again.
extern bool FLAGS_gtest_print_utf8;

namespace internal {

template <typename T>
class UniversalPrinter;
template <typename T>
void UniversalPrint(const T& value, std::ostream* os);

// Out of line, in printers.cpp: the kinds every test program prints.
void PrintTo(unsigned char c, std::ostream* os);
void PrintTo(signed char c, std::ostream* os);
inline void PrintTo(char c, std::ostream* os) { PrintTo(static_cast<unsigned char>(c), os); }
void PrintTo(wchar_t wc, std::ostream* os);
void PrintTo(char32_t c, std::ostream* os);
inline void PrintTo(char16_t c, std::ostream* os) { PrintTo(static_cast<char32_t>(c), os); }
inline void PrintTo(char8_t c, std::ostream* os) { PrintTo(static_cast<char32_t>(c), os); }
inline void PrintTo(bool x, std::ostream* os) { *os << (x ? "true" : "false"); }
void PrintTo(float f, std::ostream* os);
void PrintTo(double d, std::ostream* os);
void PrintTo(long double d, std::ostream* os);
inline void PrintTo(std::nullptr_t, std::ostream* os) { *os << "(nullptr)"; }

void PrintTo(const char* s, std::ostream* os);
void PrintTo(const char8_t* s, std::ostream* os);
void PrintTo(const char16_t* s, std::ostream* os);
void PrintTo(const char32_t* s, std::ostream* os);
void PrintTo(const wchar_t* s, std::ostream* os);
inline void PrintTo(char* s, std::ostream* os) { PrintTo(static_cast<const char*>(s), os); }
inline void PrintTo(char8_t* s, std::ostream* os) { PrintTo(static_cast<const char8_t*>(s), os); }
inline void PrintTo(char16_t* s, std::ostream* os) { PrintTo(static_cast<const char16_t*>(s), os); }
inline void PrintTo(char32_t* s, std::ostream* os) { PrintTo(static_cast<const char32_t*>(s), os); }
inline void PrintTo(wchar_t* s, std::ostream* os) { PrintTo(static_cast<const wchar_t*>(s), os); }

// Quoted, with C escapes; the narrow ones also as text when they hold UTF-8.
void PrintStringTo(const char* s, size_t n, std::ostream* os);
void PrintStringTo(const char8_t* s, size_t n, std::ostream* os);
void PrintStringTo(const char16_t* s, size_t n, std::ostream* os);
void PrintStringTo(const char32_t* s, size_t n, std::ostream* os);
void PrintStringTo(const wchar_t* s, size_t n, std::ostream* os);

template <typename Char, typename Traits, typename Alloc>
void PrintTo(const std::basic_string<Char, Traits, Alloc>& s, std::ostream* os) {
  PrintStringTo(s.data(), s.size(), os);
}
template <typename Char, typename Traits>
void PrintTo(std::basic_string_view<Char, Traits> s, std::ostream* os) {
  PrintStringTo(s.data(), s.size(), os);
}

void PrintBytesInObjectTo(const unsigned char* obj_bytes, size_t count, std::ostream* os);

// The type's name as the compiler spells it, without the library's inline
// namespaces ("std::basic_string<char, ...>").
std::string GetTypeNameByTypeInfo(const std::type_info& type);
template <typename T>
std::string GetTypeName() {
  return GetTypeNameByTypeInfo(typeid(T));
}

template <typename T>
const void* VoidifyPointer(T* p) {
  return const_cast<const void*>(static_cast<const volatile void*>(p));
}

// Only operators found through the type's namespace: the dummy stops the
// ordinary lookup here, so an operator<< that happens to be declared in
// testing:: or globally for some other type is never picked up.
namespace stream_lookup {
struct LookupBlocker;
void operator<<(LookupBlocker, LookupBlocker);
template <typename T>
concept Streamable = requires(std::ostream& os, const T& value) { os << value; };
template <typename T>
void StreamTo(const T& value, std::ostream* os) {
  *os << value;
}
}  // namespace stream_lookup

template <typename C>
concept PrintableContainer = requires(const C& c) {
  typename C::const_iterator;
  c.begin();
  c.end();
} && !std::is_same_v<std::remove_cvref_t<decltype(*std::declval<const C&>().begin())>, C>;  // a path holds paths

template <typename C>
void PrintContainerTo(const C& container, std::ostream* os) {
  constexpr size_t kMaxCount = 32;
  *os << '{';
  size_t count = 0;
  for (auto it = container.begin(); it != container.end(); ++it) {
    if (count > 0) *os << ',';
    if (++count > kMaxCount) {
      *os << " ...";
      break;
    }
    *os << ' ';
    UniversalPrint(*it, os);
  }
  if (count > 0) *os << ' ';
  *os << '}';
}

template <typename T>
void PrintWithFallback(const T& value, std::ostream* os) {
  if constexpr (PrintableContainer<T>) {
    PrintContainerTo(value, os);
  } else if constexpr (std::is_function_v<T>) {
    *os << reinterpret_cast<const void*>(&value);
  } else if constexpr (std::is_pointer_v<T>) {
    if (value == nullptr) {
      *os << "NULL";
    } else if constexpr (std::is_function_v<std::remove_pointer_t<T>>) {
      *os << reinterpret_cast<const void*>(value);
    } else {
      *os << VoidifyPointer(value);
    }
  } else if constexpr (stream_lookup::Streamable<T>) {
    stream_lookup::StreamTo(value, os);
  } else if constexpr (std::is_convertible_v<const T&, long long>) {
    *os << static_cast<long long>(value);
  } else if constexpr (std::is_convertible_v<const T&, std::string_view>) {
    PrintTo(std::string_view(value), os);
  } else {
    PrintBytesInObjectTo(reinterpret_cast<const unsigned char*>(std::addressof(value)), sizeof(value), os);
  }
}

// The catch-all; the overloads above and a user's PrintTo are better matches.
template <typename T>
void PrintTo(const T& value, std::ostream* os) {
  PrintWithFallback(value, os);
}

template <typename T1, typename T2>
void PrintTo(const std::pair<T1, T2>& value, std::ostream* os) {
  *os << '(';
  UniversalPrinter<T1>::Print(value.first, os);
  *os << ", ";
  UniversalPrinter<T2>::Print(value.second, os);
  *os << ')';
}

template <typename... Ts>
void PrintTo(const std::tuple<Ts...>& value, std::ostream* os) {
  *os << '(';
  [&]<size_t... I>(std::index_sequence<I...>) {
    ((*os << (I == 0 ? "" : ", "), UniversalPrinter<Ts>::Print(std::get<I>(value), os)), ...);
  }(std::index_sequence_for<Ts...>{});
  *os << ')';
}

// "value of type T", or "no value": what it holds is known at run time only.
void PrintTo(const std::any& value, std::ostream* os);

inline void PrintTo(std::nullopt_t, std::ostream* os) { *os << "(nullopt)"; }

template <typename T>
void PrintTo(const std::optional<T>& value, std::ostream* os) {
  if (!value) {
    *os << "(nullopt)";
  } else {
    *os << '(';
    UniversalPrint(*value, os);
    *os << ')';
  }
}

template <typename... Ts>
void PrintTo(const std::variant<Ts...>& value, std::ostream* os) {
  if (value.valueless_by_exception()) {
    *os << "(valueless by exception)";
    return;
  }
  std::visit(
      [&](const auto& alternative) {
        using Alternative = std::remove_cvref_t<decltype(alternative)>;
        *os << "('" << GetTypeName<Alternative>() << "(index = " << value.index() << ")' with value ";
        UniversalPrint(alternative, os);
        *os << ')';
      },
      value);
}

// What a smart pointer points to is printed unless it is void or an array.
template <typename T, typename Ptr>
void PrintSmartPointer(const Ptr& ptr, std::ostream* os) {
  if (ptr == nullptr) {
    *os << "(nullptr)";
  } else if constexpr (std::is_void_v<T> || std::is_array_v<T>) {
    *os << '(' << VoidifyPointer(std::to_address(ptr.get())) << ')';
  } else {
    *os << "(ptr = " << VoidifyPointer(std::to_address(ptr.get())) << ", value = ";
    UniversalPrinter<T>::Print(*ptr, os);
    *os << ')';
  }
}

template <typename T, typename D>
void PrintTo(const std::unique_ptr<T, D>& ptr, std::ostream* os) {
  PrintSmartPointer<T>(ptr, os);
}

template <typename T>
void PrintTo(const std::shared_ptr<T>& ptr, std::ostream* os) {
  PrintSmartPointer<T>(ptr, os);
}

// Arrays: up to 18 elements in full, else the first and the last 8. Arrays
// of characters print as strings, without the terminating NUL.
void UniversalPrintArray(const char* begin, size_t len, std::ostream* os);
void UniversalPrintArray(const char8_t* begin, size_t len, std::ostream* os);
void UniversalPrintArray(const char16_t* begin, size_t len, std::ostream* os);
void UniversalPrintArray(const char32_t* begin, size_t len, std::ostream* os);
void UniversalPrintArray(const wchar_t* begin, size_t len, std::ostream* os);

template <typename T>
void UniversalPrintArray(const T* begin, size_t len, std::ostream* os) {
  if (len == 0) {
    *os << "{}";
    return;
  }
  constexpr size_t kThreshold = 18;
  constexpr size_t kChunkSize = 8;
  *os << "{ ";
  auto print_range = [&](size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
      if (i != from) *os << ", ";
      UniversalPrint(begin[i], os);
    }
  };
  if (len <= kThreshold) {
    print_range(0, len);
  } else {
    print_range(0, kChunkSize);
    *os << ", ..., ";
    print_range(len - kChunkSize, len);
  }
  *os << " }";
}

template <typename T>
void PrintTo(const std::reference_wrapper<T>& ref, std::ostream* os) {
  UniversalPrinter<T&>::Print(ref.get(), os);
}

template <typename T>
class UniversalPrinter {
 public:
  static void Print(const T& value, std::ostream* os) { PrintTo(value, os); }
};

template <typename T>
class UniversalPrinter<const T> : public UniversalPrinter<T> {};

template <typename T, size_t N>
class UniversalPrinter<T[N]> {
 public:
  static void Print(const T (&a)[N], std::ostream* os) { UniversalPrintArray(a, N, os); }
};

// A reference inside a tuple shows where it refers as well as the value.
template <typename T>
class UniversalPrinter<T&> {
 public:
  static void Print(const T& value, std::ostream* os) {
    *os << '@' << VoidifyPointer(std::addressof(value)) << ' ';
    UniversalPrint(value, os);
  }
};

// The printer of PrintToString: a character pointer shows its text only.
template <typename T>
class UniversalTersePrinter {
 public:
  static void Print(const T& value, std::ostream* os) { UniversalPrint(value, os); }
};
template <typename T>
class UniversalTersePrinter<T&> : public UniversalTersePrinter<T> {};
template <typename T>
class UniversalTersePrinter<const T> : public UniversalTersePrinter<T> {};

void PrintTextAt(const char* s, std::ostream* os);
void PrintTextAt(const char8_t* s, std::ostream* os);
void PrintTextAt(const char16_t* s, std::ostream* os);
void PrintTextAt(const char32_t* s, std::ostream* os);
void PrintTextAt(const wchar_t* s, std::ostream* os);

template <typename Char>
concept CharType = std::is_same_v<Char, char> || std::is_same_v<Char, char8_t> || std::is_same_v<Char, char16_t> ||
                   std::is_same_v<Char, char32_t> || std::is_same_v<Char, wchar_t>;

template <CharType Char>
class UniversalTersePrinter<const Char*> {
 public:
  static void Print(const Char* str, std::ostream* os) { PrintTextAt(str, os); }
};
template <CharType Char>
class UniversalTersePrinter<Char*> : public UniversalTersePrinter<const Char*> {};

template <typename T>
void UniversalPrint(const T& value, std::ostream* os) {
  UniversalPrinter<T>::Print(value, os);
}

template <typename T>
void UniversalTersePrint(const T& value, std::ostream* os) {
  UniversalTersePrinter<T>::Print(value, os);
}

// An std::ostringstream kept out of this header, which then needs only <ostream>.
class StringStream {
 public:
  StringStream();
  StringStream(const StringStream&) = delete;
  StringStream& operator=(const StringStream&) = delete;
  ~StringStream();
  std::ostream* os() const { return os_; }
  std::string str() const;
  void Clear();

 private:
  struct Buffer;
  std::unique_ptr<Buffer> buffer_;
  std::ostream* os_;
};

// An integer that prints as operator<< writes it (not a character, not a
// bool): its decimal digits, made without a stream, which costs a failure
// more than the rest of its message.
template <typename T>
inline constexpr bool IsPlainInteger_ =
    std::is_integral_v<T> && sizeof(T) <= sizeof(long long) && !std::is_same_v<T, bool> &&
    !std::is_same_v<T, char> && !std::is_same_v<T, signed char> && !std::is_same_v<T, unsigned char> &&
    !std::is_same_v<T, wchar_t> && !std::is_same_v<T, char8_t> && !std::is_same_v<T, char16_t> &&
    !std::is_same_v<T, char32_t>;
std::string DecimalText(long long value);
std::string DecimalText(unsigned long long value);

}  // namespace internal

template <typename T>
std::string PrintToString(const T& value) {
  if constexpr (internal::IsPlainInteger_<std::remove_cv_t<T>>) {
    if constexpr (std::is_signed_v<T>)
      return internal::DecimalText(static_cast<long long>(value));
    else
      return internal::DecimalText(static_cast<unsigned long long>(value));
  } else {
    internal::StringStream ss;
    internal::UniversalTersePrinter<T>::Print(value, ss.os());
    return ss.str();
  }
}

}  // namespace testing
