// testing::AssertionResult: whether an assertion held, with the message that
// says why not. A predicate-formatter returns one; EXPECT_TRUE accepts one.
//
//   testing::AssertionResult IsEven(int n) {
//     if (n % 2 == 0) return testing::AssertionSuccess();
//     return testing::AssertionFailure() << n << " is odd";
//   }
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <type_traits>

#include "gtest/gtest-message.h"

namespace testing {

class AssertionResult {
 public:
  AssertionResult(const AssertionResult& other);

  // From bool or anything that converts to it (a pointer, a number), but not
  // from a type that converts to AssertionResult itself.
  template <typename T, typename = std::enable_if_t<!std::is_convertible_v<T, AssertionResult>>>
  explicit AssertionResult(const T& success) : success_(static_cast<bool>(success)) {}

  AssertionResult& operator=(AssertionResult other) {
    swap(other);
    return *this;
  }

  explicit operator bool() const { return success_; }

  // The opposite outcome, with the same message.
  AssertionResult operator!() const;

  const char* message() const { return message_ != nullptr ? message_->c_str() : ""; }
  const char* failure_message() const { return message(); }

  template <typename T>
  AssertionResult& operator<<(const T& value) {
    AppendMessage(Message() << value);
    return *this;
  }

  AssertionResult& operator<<(std::ostream& (*basic_manipulator)(std::ostream& stream)) {
    AppendMessage(Message() << basic_manipulator);
    return *this;
  }

 private:
  void AppendMessage(const Message& a_message);
  void swap(AssertionResult& other) noexcept;

  bool success_;
  // Held by pointer: a passing assertion, the common case, allocates nothing.
  std::unique_ptr<std::string> message_;
};

AssertionResult AssertionSuccess();
AssertionResult AssertionFailure();
AssertionResult AssertionFailure(const Message& msg);

}  // namespace testing
