// Stand-in for testing::AssertionResult until the dialect's own lands.
#pragma once
#pragma GCC system_header

#include <memory>
#include <string>
#include <type_traits>

#include "gtest/gtest-message.h"

namespace testing {

class AssertionResult {
 public:
  AssertionResult(const AssertionResult& other);
  template <class T, class = std::enable_if_t<!std::is_convertible_v<T, AssertionResult>>>
  explicit AssertionResult(const T& success) : success_(success) {}
  AssertionResult& operator=(AssertionResult other) {
    success_ = other.success_;
    message_.swap(other.message_);
    return *this;
  }
  explicit operator bool() const { return success_; }
  AssertionResult operator!() const;
  const char* message() const { return message_ ? message_->c_str() : ""; }
  const char* failure_message() const { return message(); }
  template <class T>
  AssertionResult& operator<<(const T& value) {
    AppendMessage(Message() << value);
    return *this;
  }
  AssertionResult& operator<<(std::ostream& (*manip)(std::ostream&)) {
    AppendMessage(Message() << manip);
    return *this;
  }

 private:
  void AppendMessage(const Message& m);
  bool success_;
  std::unique_ptr<std::string> message_;
};

AssertionResult AssertionSuccess();
AssertionResult AssertionFailure();
AssertionResult AssertionFailure(const Message& message);

}  // namespace testing
