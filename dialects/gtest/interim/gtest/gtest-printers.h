// Stand-in for the value printers until the dialect's own land: enough for
// numbers, characters, strings, pointers and containers.
#pragma once
#pragma GCC system_header

#include <cstddef>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace testing {
namespace internal {

void PrintStringTo(std::string_view s, std::ostream* os);
void PrintCharTo(char c, std::ostream* os);
void PrintBytesTo(const unsigned char* bytes, size_t count, std::ostream* os);

template <class T>
concept Streamable_ = requires(std::ostream& os, const T& v) { os << v; };
template <class T>
concept Range_ = requires(const T& v) {
  v.begin();
  v.end();
};

template <class T>
void InterimPrint(const T& v, std::ostream* os) {
  if constexpr (std::is_same_v<T, bool>) {
    *os << (v ? "true" : "false");
  } else if constexpr (std::is_same_v<T, char>) {
    PrintCharTo(v, os);
  } else if constexpr (std::is_same_v<T, std::nullptr_t>) {
    *os << "(nullptr)";
  } else if constexpr (std::is_convertible_v<const T&, std::string_view> && !std::is_pointer_v<T>) {
    PrintStringTo(std::string_view(v), os);
  } else if constexpr (std::is_same_v<T, const char*> || std::is_same_v<T, char*>) {
    if (v)
      PrintStringTo(v, os);
    else
      *os << "NULL";
  } else if constexpr (std::is_pointer_v<T>) {
    if (v)
      *os << static_cast<const void*>(v);
    else
      *os << "NULL";
  } else if constexpr (std::is_enum_v<T> && !Streamable_<T>) {
    *os << static_cast<std::underlying_type_t<T>>(v);
  } else if constexpr (Streamable_<T>) {
    *os << v;
  } else if constexpr (Range_<T>) {
    *os << '{';
    bool first = true;
    for (const auto& e : v) {
      *os << (first ? " " : ", ");
      first = false;
      InterimPrint(e, os);
    }
    *os << (first ? "}" : " }");
  } else {
    PrintBytesTo(reinterpret_cast<const unsigned char*>(&v), sizeof v, os);
  }
}

template <class T>
class UniversalPrinter {
 public:
  static void Print(const T& value, std::ostream* os) { InterimPrint(value, os); }
};

template <class T>
void UniversalPrint(const T& value, std::ostream* os) {
  InterimPrint(value, os);
}

}  // namespace internal

template <class T>
void PrintTo(const T& value, std::ostream* os) {
  internal::InterimPrint(value, os);
}

template <class T>
std::string PrintToString(const T& value) {
  std::ostringstream os;
  if constexpr (std::is_array_v<T>)
    internal::InterimPrint(static_cast<const std::remove_extent_t<T>*>(value), &os);
  else
    internal::InterimPrint(value, &os);
  return os.str();
}

}  // namespace testing
