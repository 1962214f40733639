// Definitions of the stand-ins in interim/gtest/.
#include <cstdio>

#include "gtest/gtest-assertion-result.h"
#include "gtest/gtest-message.h"
#include "gtest/gtest-printers.h"

namespace testing {

Message::Message() : ss_(new std::stringstream) { ss_->precision(17); }
Message::Message(const Message& other) : ss_(new std::stringstream) { *ss_ << other.GetString(); }
Message::Message(const char* text) : ss_(new std::stringstream) { *ss_ << text; }
Message::~Message() = default;
std::string Message::GetString() const { return ss_->str(); }

AssertionResult::AssertionResult(const AssertionResult& other)
    : success_(other.success_), message_(other.message_ ? new std::string(*other.message_) : nullptr) {}
AssertionResult AssertionResult::operator!() const {
  AssertionResult negation(!success_);
  if (message_) negation << *message_;
  return negation;
}
void AssertionResult::AppendMessage(const Message& m) {
  if (!message_) message_.reset(new std::string);
  *message_ += m.GetString();
}
AssertionResult AssertionSuccess() { return AssertionResult(true); }
AssertionResult AssertionFailure() { return AssertionResult(false); }
AssertionResult AssertionFailure(const Message& message) { return AssertionFailure() << message; }

namespace internal {

void PrintCharTo(char c, std::ostream* os) {
  *os << '\'';
  if (c == '\'' || c == '\\') *os << '\\';
  *os << c << "' (" << static_cast<int>(c);
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(static_cast<unsigned char>(c)));
  *os << ", " << hex << ")";
}

void PrintStringTo(std::string_view s, std::ostream* os) {
  *os << '"';
  for (char c : s) {
    switch (c) {
      case '\n': *os << "\\n"; break;
      case '\t': *os << "\\t"; break;
      case '\r': *os << "\\r"; break;
      case '"': *os << "\\\""; break;
      case '\\': *os << "\\\\"; break;
      default: *os << c;
    }
  }
  *os << '"';
}

void PrintBytesTo(const unsigned char* bytes, size_t count, std::ostream* os) {
  *os << count << "-byte object <";
  for (size_t i = 0; i < count; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02X", bytes[i]);
    *os << (i == 0 ? "" : (i % 2 == 0 ? " " : "-")) << hex;
  }
  *os << ">";
}

}  // namespace internal
}  // namespace testing
