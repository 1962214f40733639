// The names the listing, discovery and report tests give their subject
// program, shared by the program and the tests that check what it prints.
#pragma once

#include <string>
#include <vector>

namespace HostileNames {

struct TSuiteOfNames {
  std::string Name;
  std::vector<std::string> Cases;
};

inline const std::vector<TSuiteOfNames>& Suites() {
  using namespace std::string_literals;
  static const std::vector<TSuiteOfNames> suites = {
      {"Plain", {"One", "Two", "Three"}},
      {"Odd", {"back\\slash", "quote\" 'single'", "semi;colon", "brack[et]s", "open[", "close]", "dollar${HOME}$x",
               "  spaced  name ", "nul\0byte"s, "bad\xff\xfe utf8", "comma,star*", "-leading"}},
      {"Su;ite \\[$x]", {"Inside"}},
      {"bad\xc3 suite", {"nul\0inside"s}},
  };
  return suites;
}

// Every case, as "suite.case".
inline std::vector<std::string> CasePaths() {
  std::vector<std::string> out;
  for (const TSuiteOfNames& s : Suites())
    for (const std::string& c : s.Cases) out.push_back(s.Name + "." + c);
  return out;
}

inline std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

}  // namespace HostileNames
