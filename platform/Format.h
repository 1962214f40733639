// Type-safe filling of printf-style texts (%s, %d, %u, %x, %f, %g, with
// flags, width and precision) over snprintf. Each placeholder takes the next
// argument; an argument of the wrong kind is converted, never misread.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace Platform {

struct TFormatArg {
  enum TKind : uint8_t { fkInt, fkUInt, fkFloat, fkText } Kind;
  union {
    int64_t I;
    uint64_t U;
    double F;
  };
  std::string_view S;

  template <class T>
    requires(std::is_integral_v<T> && std::is_signed_v<T>)
  TFormatArg(T v) : Kind(fkInt), I(v) {}
  template <class T>
    requires(std::is_integral_v<T> && std::is_unsigned_v<T> && !std::is_same_v<T, bool>)
  TFormatArg(T v) : Kind(fkUInt), U(v) {}
  TFormatArg(bool v) : Kind(fkInt), I(v ? 1 : 0) {}
  TFormatArg(double v) : Kind(fkFloat), F(v) {}
  TFormatArg(std::string_view v) : Kind(fkText), I(0), S(v) {}
  TFormatArg(const std::string& v) : Kind(fkText), I(0), S(v) {}
  TFormatArg(const char* v) : Kind(fkText), I(0), S(v ? std::string_view(v) : std::string_view()) {}
};

// Fills fmt with args; placeholders without an argument are left empty.
std::string FormatList(std::string_view fmt, std::initializer_list<TFormatArg> args);

template <class... A>
std::string Format(std::string_view fmt, const A&... args) {
  return FormatList(fmt, {TFormatArg(args)...});
}

}  // namespace Platform
