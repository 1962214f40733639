// testing::TestPartResult: one assertion's outcome within a test (a failure,
// a success, a skip), as the event listeners receive it.
#pragma once
#pragma GCC system_header

#include <ostream>
#include <string>
#include <vector>

namespace testing {

class TestPartResult {
 public:
  enum Type {
    kSuccess,
    kNonFatalFailure,
    kFatalFailure,
    kSkip,
  };

  // A file of null (or "unknown file") and a line below 0 mean "not known".
  TestPartResult(Type a_type, const char* a_file_name, int a_line_number, const char* a_message);

  Type type() const { return type_; }
  const char* file_name() const { return file_name_.empty() ? nullptr : file_name_.c_str(); }
  int line_number() const { return line_number_; }
  // The message without the stack trace (the dialect records none).
  const char* summary() const { return message_.c_str(); }
  const char* message() const { return message_.c_str(); }
  bool skipped() const { return type_ == kSkip; }
  bool passed() const { return type_ == kSuccess; }
  bool nonfatally_failed() const { return type_ == kNonFatalFailure; }
  bool fatally_failed() const { return type_ == kFatalFailure; }
  bool failed() const { return fatally_failed() || nonfatally_failed(); }

 private:
  Type type_;
  std::string file_name_;
  int line_number_;
  std::string message_;
};

std::ostream& operator<<(std::ostream& os, const TestPartResult& result);

class TestPartResultArray {
 public:
  TestPartResultArray() = default;
  void Append(const TestPartResult& result) { array_.push_back(result); }
  const TestPartResult& GetTestPartResult(int index) const;
  int size() const { return static_cast<int>(array_.size()); }

 private:
  std::vector<TestPartResult> array_;
};

class TestPartResultReporterInterface {
 public:
  virtual ~TestPartResultReporterInterface() = default;
  virtual void ReportTestPartResult(const TestPartResult& result) = 0;
};

}  // namespace testing
