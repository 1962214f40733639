// testing::Message: values streamed into a text, the way failure messages
// and SCOPED_TRACE collect them.
//
//   testing::Message msg;
//   msg << "row " << 3 << ": " << L"wide";   // wide text arrives as UTF-8
//   std::string text = msg.GetString();
//
// Besides what an ostream prints: bool prints as true/false, a null pointer
// as "(null)", doubles with 17 significant digits, and a NUL character in the
// collected text comes back as the two characters "\0".
#pragma once

#include <memory>
#include <ostream>
#include <string>

namespace testing {

class Message {
  // The type of std::endl, std::flush and the other plain manipulators.
  using BasicNarrowIoManip = std::ostream& (*)(std::ostream&);

 public:
  Message();
  Message(const Message& msg);
  explicit Message(const char* str);
  Message& operator=(const Message&) = delete;
  ~Message();

  template <typename T>
  Message& operator<<(const T& val) {
    StreamValue(stream(), val);
    return *this;
  }

  // Printed without dereferencing, so that a null char pointer is safe.
  template <typename T>
  Message& operator<<(T* const& pointer) {
    if (pointer == nullptr) {
      stream() << "(null)";
    } else {
      stream() << pointer;
    }
    return *this;
  }

  Message& operator<<(BasicNarrowIoManip val) {
    stream() << val;
    return *this;
  }
  Message& operator<<(bool b) { return *this << (b ? "true" : "false"); }
  Message& operator<<(const wchar_t* wide_c_str);
  Message& operator<<(wchar_t* wide_c_str);
  Message& operator<<(const std::wstring& wstr);

  std::string GetString() const;

 private:
  template <typename T>
  static void StreamValue(std::ostream& os, const T& val);

  std::ostream& stream() const { return *os_; }

  struct Buffer;  // a std::ostringstream; kept out of this header
  struct BufferDeleter {
    void operator()(Buffer* b) const;
  };
  std::unique_ptr<Buffer, BufferDeleter> buffer_;
  std::ostream* os_;
};

inline std::ostream& operator<<(std::ostream& os, const Message& sb) { return os << sb.GetString(); }

namespace internal {
// The UTF-8 form of a wide text; num_chars < 0 reads up to the first NUL.
std::string WideStringToUtf8(const wchar_t* str, int num_chars);
// Streams any value into a text, as Message does.
template <typename T>
std::string StreamableToString(const T& streamable) {
  return (Message() << streamable).GetString();
}
}  // namespace internal

}  // namespace testing

// Outside testing::, so that ordinary lookup of operator<< reaches the
// global namespace instead of stopping at testing::operator<<.
namespace testing_message_lookup_ {
template <typename T>
inline void Stream(std::ostream& os, const T& val) {
  os << val;
}
}  // namespace testing_message_lookup_

template <typename T>
void testing::Message::StreamValue(std::ostream& os, const T& val) {
  ::testing_message_lookup_::Stream(os, val);
}
