// User types for the compared texts: each stands for a way a type can be
// printable, or not.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace Compared {

struct Unprintable {
  int a;
  int b;
};

template <int N>
struct Bytes {
  unsigned char b[N];
  Bytes() {
    for (int i = 0; i < N; ++i) b[i] = static_cast<unsigned char>(i);
  }
};

enum Plain { kPlainA, kPlainB = 7 };
enum class Scoped { kX = 3 };
enum class Scoped8 : char { kX = 3 };

struct Streamed {
  int v;
};
inline std::ostream& operator<<(std::ostream& os, const Streamed& s) { return os << "Streamed(" << s.v << ")"; }

struct WithPrintTo {
  int v;
};
inline void PrintTo(const WithPrintTo& w, std::ostream* os) { *os << "PrintTo(" << w.v << ")"; }

struct ToInteger {
  operator int() const { return 42; }
};

struct ToStringView {
  operator std::string_view() const { return "view"; }
};

// A container with an operator<< of its own: printed as a container.
struct StreamedContainer {
  using const_iterator = const int*;
  int items[2] = {8, 9};
  const int* begin() const { return items; }
  const int* end() const { return items + 2; }
};
inline std::ostream& operator<<(std::ostream& os, const StreamedContainer&) { return os << "StreamedContainer"; }

// Its elements are Trees again: walking into them would never end.
struct Tree {
  using const_iterator = const Tree*;
  const Tree* begin() const { return this; }
  const Tree* end() const { return this; }
};
inline std::ostream& operator<<(std::ostream& os, const Tree&) { return os << "Tree"; }

// PrintTo comes before operator<<.
struct Both {};
inline void PrintTo(const Both&, std::ostream* os) { *os << "Both by PrintTo"; }
inline std::ostream& operator<<(std::ostream& os, const Both&) { return os << "Both by operator<<"; }

// For Field and Property: no padding, nothing that differs from run to run.
struct Point {
  int x;
  int y;
  int Norm() const { return x * x + y * y; }
  const int& X() const& { return x; }
};

struct Person {
  std::string_view name;
  int age;
};
inline void PrintTo(const Person& p, std::ostream* os) { *os << "Person(" << p.name << ")"; }

}  // namespace Compared
