// Small checks the business tests share.
#pragma once

#include <chrono>
#include <exception>
#include <string>

namespace BusinessChecks {

inline bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The message of the exception of kind E that f raises, or "(no error)";
// exceptions of other kinds go through. With seconds, also how long f took.
template <class E = std::exception, class F>
std::string ErrorOf(F&& f, double* seconds = nullptr) {
  auto start = std::chrono::steady_clock::now();
  std::string message = "(no error)";
  try {
    f();
  } catch (const E& e) {
    message = e.what();
  }
  if (seconds) *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return message;
}

}  // namespace BusinessChecks
