// Stand-in for testing::Message until the dialect's own printers land:
// include/gtest/gtest-message.h, found first on the include path, replaces it.
#pragma once
#pragma GCC system_header

#include <memory>
#include <ostream>
#include <sstream>
#include <string>

namespace testing {

class Message {
 public:
  Message();
  Message(const Message& other);
  explicit Message(const char* text);
  ~Message();
  template <class T>
  Message& operator<<(const T& value) {
    *ss_ << value;
    return *this;
  }
  template <class T>
  Message& operator<<(T* const& pointer) {
    if (pointer == nullptr)
      *ss_ << "(null)";
    else
      *ss_ << pointer;
    return *this;
  }
  Message& operator<<(std::ostream& (*manip)(std::ostream&)) {
    *ss_ << manip;
    return *this;
  }
  Message& operator<<(bool b) { return *this << (b ? "true" : "false"); }
  Message& operator<<(const char* s) {
    *ss_ << (s ? s : "(null)");
    return *this;
  }
  Message& operator<<(char* s) { return *this << static_cast<const char*>(s); }
  std::string GetString() const;

 private:
  std::unique_ptr<std::stringstream> ss_;
};

inline std::ostream& operator<<(std::ostream& os, const Message& m) { return os << m.GetString(); }

}  // namespace testing
