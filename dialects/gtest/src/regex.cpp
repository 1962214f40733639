#include <regex.h>

#include <cstdio>
#include <string>

#include "gtest/internal/gtest-regex.h"

namespace testing {
namespace internal {

namespace {
void ReportToStandardError(const std::string& message) { std::fprintf(stderr, "%s\n", message.c_str()); }
InvalidRegexReporter gInvalidRegexReporter = ReportToStandardError;
}  // namespace

void SetInvalidRegexReporter(InvalidRegexReporter reporter) {
  gInvalidRegexReporter = reporter != nullptr ? reporter : ReportToStandardError;
}

// Compiled twice: as given for a partial match, and anchored for a full one.
// Shared by copies, since a regex_t cannot be copied.
struct RE::Compiled {
  std::string pattern;
  bool valid = false;
  regex_t full{};
  regex_t partial{};

  explicit Compiled(std::string regex) : pattern(std::move(regex)) {
    const std::string anchored = "^(" + pattern + ")$";
    const bool full_ok = regcomp(&full, anchored.c_str(), REG_EXTENDED) == 0;
    // An empty pattern is valid and matches everywhere; regcomp refuses "".
    const bool partial_ok = regcomp(&partial, pattern.empty() ? "()" : pattern.c_str(), REG_EXTENDED) == 0;
    valid = full_ok && partial_ok;
    if (!valid) {
      if (full_ok) regfree(&full);
      if (partial_ok) regfree(&partial);
      gInvalidRegexReporter("Regular expression \"" + pattern + "\" is not a valid POSIX Extended regular expression.");
    }
  }
  Compiled(const Compiled&) = delete;
  ~Compiled() {
    if (valid) {
      regfree(&full);
      regfree(&partial);
    }
  }
};

RE::RE(const std::string& regex) : compiled_(std::make_shared<Compiled>(regex)) {}
RE::RE(const char* regex) : RE(std::string(regex != nullptr ? regex : "")) {}
RE::RE(const RE& other) = default;
RE::~RE() = default;

const char* RE::pattern() const { return compiled_->pattern.c_str(); }
bool RE::is_valid() const { return compiled_->valid; }

bool RE::FullMatch(const char* str, const RE& re) {
  if (!re.compiled_->valid || str == nullptr) return false;
  regmatch_t match;
  return regexec(&re.compiled_->full, str, 1, &match, 0) == 0;
}

bool RE::PartialMatch(const char* str, const RE& re) {
  if (!re.compiled_->valid || str == nullptr) return false;
  regmatch_t match;
  return regexec(&re.compiled_->partial, str, 1, &match, 0) == 0;
}

}  // namespace internal
}  // namespace testing
