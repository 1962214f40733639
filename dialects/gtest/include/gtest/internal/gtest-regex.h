// testing::internal::RE: POSIX extended regular expressions, as GoogleTest
// uses them on Linux (MatchesRegex, ContainsRegex, death-test messages).
//
//   testing::internal::RE re("a.c");
//   RE::FullMatch("abc", re);      // the whole text matches
//   RE::PartialMatch("xabcx", re); // some part of it does
//
// A pattern that does not compile matches nothing, and is reported once, when
// it is compiled, through the reporter set with SetInvalidRegexReporter
// (standard error until one is set).
#pragma once

#include <memory>
#include <string>

namespace testing {
namespace internal {

class RE {
 public:
  RE(const std::string& regex);  // NOLINT: implicit by design
  RE(const char* regex);         // NOLINT: implicit by design
  RE(const RE& other);
  RE& operator=(const RE&) = delete;
  ~RE();

  const char* pattern() const;
  bool is_valid() const;

  static bool FullMatch(const std::string& str, const RE& re) { return FullMatch(str.c_str(), re); }
  static bool PartialMatch(const std::string& str, const RE& re) { return PartialMatch(str.c_str(), re); }
  static bool FullMatch(const char* str, const RE& re);
  static bool PartialMatch(const char* str, const RE& re);

 private:
  struct Compiled;
  std::shared_ptr<const Compiled> compiled_;
};

// Where the text "Regular expression "..." is not a valid POSIX Extended
// regular expression." goes; the dialect's runtime records it as a failure.
using InvalidRegexReporter = void (*)(const std::string& message);
void SetInvalidRegexReporter(InvalidRegexReporter reporter);

}  // namespace internal
}  // namespace testing
