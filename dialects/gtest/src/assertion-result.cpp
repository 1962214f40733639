#include "gtest/gtest-assertion-result.h"

#include <utility>

namespace testing {

AssertionResult::AssertionResult(const AssertionResult& other)
    : success_(other.success_),
      message_(other.message_ != nullptr ? std::make_unique<std::string>(*other.message_) : nullptr) {}

AssertionResult AssertionResult::operator!() const {
  AssertionResult negation(!success_);
  if (message_ != nullptr) negation.message_ = std::make_unique<std::string>(*message_);
  return negation;
}

void AssertionResult::AppendMessage(const Message& a_message) {
  if (message_ == nullptr) message_ = std::make_unique<std::string>();
  message_->append(a_message.GetString());
}

void AssertionResult::swap(AssertionResult& other) noexcept {
  std::swap(success_, other.success_);
  std::swap(message_, other.message_);
}

AssertionResult AssertionSuccess() { return AssertionResult(true); }

AssertionResult AssertionFailure() { return AssertionResult(false); }

AssertionResult AssertionFailure(const Message& msg) { return AssertionFailure() << msg; }

}  // namespace testing
