// What an assertion does once it has failed: the failure texts, the traces,
// and the record that reaches the running test's result.
#include <cxxabi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <strings.h>
#include <deque>
#include <mutex>
#include <sstream>
#include <unordered_set>

#include "Internal.h"
#include "platform/SoleThread.h"

namespace testing {

using namespace TestFramework;
using namespace internal;

// ---------------------------------------------------------------------------
// Part results

TestPartResult::TestPartResult(Type a_type, const char* a_file_name, int a_line_number, const char* a_message)
    : type_(a_type),
      file_name_(a_file_name && std::strcmp(a_file_name, "unknown file") != 0 ? a_file_name : ""),
      line_number_(a_line_number),
      message_(a_message ? a_message : "") {}

std::ostream& operator<<(std::ostream& os, const TestPartResult& result) {
  const char* kind = result.type() == TestPartResult::kSuccess       ? "Success"
                     : result.type() == TestPartResult::kSkip        ? "Skipped"
                     : result.type() == TestPartResult::kFatalFailure ? "Fatal failure"
                                                                      : "Non-fatal failure";
  return os << LocationText(result.file_name(), result.line_number()) << ": " << kind << ":\n"
            << result.message() << std::endl;
}

const TestPartResult& TestPartResultArray::GetTestPartResult(int index) const {
  if (index < 0 || index >= size()) {
    std::fprintf(stderr, "TestPartResultArray: index %d is out of range (%d results)\n", index, size());
    std::abort();
  }
  return array_[static_cast<size_t>(index)];
}

TestResult::TestResult() = default;
TestResult::~TestResult() = default;

bool TestResult::Skipped() const {
  if (Failed()) return false;
  return std::any_of(parts_.begin(), parts_.end(), [](const TestPartResult& p) { return p.skipped(); });
}
bool TestResult::Failed() const {
  return std::any_of(parts_.begin(), parts_.end(), [](const TestPartResult& p) { return p.failed(); });
}
bool TestResult::HasFatalFailure() const {
  return std::any_of(parts_.begin(), parts_.end(), [](const TestPartResult& p) { return p.fatally_failed(); });
}
bool TestResult::HasNonfatalFailure() const {
  return std::any_of(parts_.begin(), parts_.end(), [](const TestPartResult& p) { return p.nonfatally_failed(); });
}
const TestPartResult& TestResult::GetTestPartResult(int i) const {
  if (i < 0 || i >= total_part_count()) {
    std::fprintf(stderr, "TestResult::GetTestPartResult: index %d is out of range\n", i);
    std::abort();
  }
  return parts_[static_cast<size_t>(i)];
}
const TestProperty& TestResult::GetTestProperty(int i) const {
  if (i < 0 || i >= test_property_count()) {
    std::fprintf(stderr, "TestResult::GetTestProperty: index %d is out of range\n", i);
    std::abort();
  }
  return properties_[static_cast<size_t>(i)];
}

namespace internal {

void UnitTestState::AddProperty(TestResult& r, const TestProperty& p) {
  for (TestProperty& existing : r.properties_)
    if (std::strcmp(existing.key(), p.key()) == 0) {
      existing.SetValue(p.value());
      return;
    }
  r.properties_.push_back(p);
}

// ---------------------------------------------------------------------------
// The running code

bool gInDeathTestChild = false;

namespace {

std::recursive_mutex gReportLock;
TRunningContext* gContext = nullptr;

struct TTrace {
  const char* File;
  int Line;
  std::string Message;
};
thread_local std::vector<TTrace> gTraces;

// File names live as long as the records that point at them.
const char* InternedFile(const char* file) {
  if (!file) return nullptr;
  static auto* files = new std::unordered_set<std::string>();
  return files->insert(file).first->c_str();
}

// Part results reported when no test, suite or run was there to take them.
std::vector<TestPartResult>& Pending() {
  static auto* pending = new std::vector<TestPartResult>();
  return *pending;
}

}  // namespace

TRunningScope::TRunningScope(TRunningContext& ctx) {
  Platform::TLockUnlessSole<std::recursive_mutex> hold(gReportLock);
  FPrevious = gContext;
  gContext = &ctx;
}

TRunningScope::~TRunningScope() {
  Platform::TLockUnlessSole<std::recursive_mutex> hold(gReportLock);
  gContext = FPrevious;
}

TRunningContext* CurrentContext() { return gContext; }

std::string LocationText(const char* file, int line) {
  if (!file || !*file) return "unknown file";
  if (line < 0) return file;
  return std::string(file) + ":" + std::to_string(line);
}

std::string PartStatusLine(TestPartResult::Type type, const char* file, int line, const std::string& message) {
  std::string out = type == TestPartResult::kSkip ? kSkippedAt : kSucceededAt;
  out += LocationText(file, line);
  out += '\n';
  return out + message;
}

std::string PropertyStatusLine(const std::string& key, const std::string& value) {
  return kProperty + key + "=" + value;
}

bool ParsePartStatusLine(const std::string& text, TestPartResult::Type& type, std::string& file, int& line,
                         std::string& message) {
  size_t prefix;
  if (text.rfind(kSkippedAt, 0) == 0) {
    type = TestPartResult::kSkip;
    prefix = sizeof kSkippedAt - 1;
  } else if (text.rfind(kSucceededAt, 0) == 0) {
    type = TestPartResult::kSuccess;
    prefix = sizeof kSucceededAt - 1;
  } else {
    return false;
  }
  size_t nl = text.find('\n', prefix);
  if (nl == std::string::npos) return false;
  std::string where = text.substr(prefix, nl - prefix);
  message = text.substr(nl + 1);
  line = -1;
  file = where;
  if (where == "unknown file") {
    file.clear();
  } else if (size_t colon = where.rfind(':'); colon != std::string::npos && colon + 1 < where.size() &&
                                               where.find_first_not_of("0123456789", colon + 1) == std::string::npos) {
    file = where.substr(0, colon);
    line = std::atoi(where.c_str() + colon + 1);
  }
  return true;
}

bool ParsePropertyStatusLine(const std::string& text, std::string& key, std::string& value) {
  if (text.rfind(kProperty, 0) != 0) return false;
  size_t eq = text.find('=', sizeof kProperty - 1);
  if (eq == std::string::npos) return false;
  key = text.substr(sizeof kProperty - 1, eq - (sizeof kProperty - 1));
  value = text.substr(eq + 1);
  return true;
}

std::vector<TestPartResult> TakePendingParts() {
  std::lock_guard<std::recursive_mutex> hold(gReportLock);
  std::vector<TestPartResult> out;
  out.swap(Pending());
  return out;
}

void ReportPart(TestPartResult::Type type, const char* file, int line, std::string message) {
  if (!gTraces.empty()) {
    message += "\nGoogle Test trace:";
    for (auto it = gTraces.rbegin(); it != gTraces.rend(); ++it)
      message += "\n" + LocationText(it->File, it->Line) + ": " + it->Message;
  }
  if (gInDeathTestChild) {
    // Only what the child writes to standard error comes back.
    if (type != TestPartResult::kSuccess) {
      std::fprintf(stderr, "%s: %s\n%s\n", LocationText(file, line).c_str(),
                   type == TestPartResult::kSkip ? "Skipped" : "Failure", message.c_str());
      std::fflush(stderr);
    }
    return;
  }
  std::lock_guard<std::recursive_mutex> hold(gReportLock);
  TRunningContext* ctx = gContext;
  if (!ctx || !ctx->Result || !ctx->Node) {
    Pending().emplace_back(type, file, line, message.c_str());
    return;
  }
  if (type == TestPartResult::kFatalFailure) ctx->FatalFailure = true;
  if (type == TestPartResult::kNonFatalFailure) ctx->NonFatalFailure = true;
  if (type == TestPartResult::kSkip) ctx->Skipped = true;
  if (type == TestPartResult::kSuccess || type == TestPartResult::kSkip) {
    ctx->Result->Status(*ctx->Node, PartStatusLine(type, file, line, message));
    return;
  }
  if (GTEST_FLAG(fail_fast) && ctx->Info) gFailFastTriggered = true;
  const TClass& cls = type == TestPartResult::kFatalFailure ? EFatalFailure::ClassInfo() : ENonFatalFailure::ClassInfo();
  TCodeLocation where;
  where.File = InternedFile(file);
  where.Line = line < 0 ? 0 : static_cast<uint32_t>(line);
  ctx->Result->AddFailureAndContinue(*ctx->Node, TExceptionInfo{&cls, cls.Name, std::move(message), where}, where);
}

namespace {
// A pattern that does not compile (in a matcher or a death test) is a
// failure of the test that built it, in GoogleTest's words, and the test
// goes on; the pattern itself then matches nothing.
void ReportInvalidRegex(const std::string& message) {
  ReportPart(TestPartResult::kNonFatalFailure, __FILE__, __LINE__,
             "Value of: is_valid_\n  Actual: false\nExpected: true\n" + message);
}
[[maybe_unused]] const bool gInvalidRegexReported = (SetInvalidRegexReporter(&ReportInvalidRegex), true);
}  // namespace

void ReportException(const char* where) {
  std::string text;
  try {
    throw;
  } catch (const std::exception& e) {
    text = std::string("C++ exception with description \"") + e.what() + "\" thrown in " + where + ".";
  } catch (...) {
    text = std::string("Unknown C++ exception thrown in ") + where + ".";
  }
  ReportPart(TestPartResult::kFatalFailure, nullptr, -1, std::move(text));
}

void PushTrace(const char* file, int line, std::string message) {
  gTraces.push_back({file, line, std::move(message)});
}
void PopTrace() {
  if (!gTraces.empty()) gTraces.pop_back();
}

// ---------------------------------------------------------------------------
// Reporting a check

void AssertHelper::operator=(const Message& message) const {
  std::string text = owned_ ? std::move(*owned_) : std::string(text_ ? text_ : "");
  delete owned_;
  const std::string user = message.GetString();
  if (!user.empty()) text = text.empty() ? user : text + "\n" + user;
  ReportPart(type_, file_, line_, std::move(text));
}

void AssertHelper::operator=(MessageStart) const {
  std::string text = owned_ ? std::move(*owned_) : std::string(text_ ? text_ : "");
  delete owned_;
  ReportPart(type_, file_, line_, std::move(text));
}

Message operator<<(MessageStart, std::ostream& (*manip)(std::ostream&)) {
  Message m;
  m << manip;
  return m;
}
Message operator<<(MessageStart, std::ios_base& (*manip)(std::ios_base&)) {
  Message m;
  m << manip;
  return m;
}

bool AlwaysTrue() {
  // Opaque to the compiler, so that the macros' dead branches are not warned about.
  static volatile bool yes = true;
  return yes;
}

std::string DemangledName(const char* mangled) {
  int status = 0;
  char* name = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string out = status == 0 && name ? name : mangled;
  std::free(name);
  return out;
}


// ---------------------------------------------------------------------------
// Failure texts

namespace {

CheckResult Fail(std::string text) { return CheckResult(new std::string(std::move(text))); }

// The lines of a printed string ("a\nb" with the escapes as printed), for the diff.
std::vector<std::string> SplitEscapedString(const std::string& str) {
  std::vector<std::string> lines;
  size_t start = 0, end = str.size();
  if (end > 2 && str[0] == '"' && str[end - 1] == '"') {
    ++start;
    --end;
  }
  bool escaped = false;
  for (size_t i = start; i + 1 < end; ++i) {
    if (escaped) {
      escaped = false;
      if (str[i] == 'n') {
        lines.push_back(str.substr(start, i - 1 - start));
        start = i + 1;
      }
    } else {
      escaped = str[i] == '\\';
    }
  }
  lines.push_back(str.substr(start, end - start));
  return lines;
}

// A unified diff of two lists of lines with two lines of context, as
// "@@ -a,b +c,d @@" hunks; within a run of changes the removed lines come
// before the added ones.
std::string UnifiedDiff(const std::vector<std::string>& left, const std::vector<std::string>& right) {
  const size_t n = left.size(), m = right.size();
  // Edit distance table from the ends, so that the walk goes forwards.
  std::vector<std::vector<uint32_t>> cost(n + 1, std::vector<uint32_t>(m + 1, 0));
  for (size_t i = n + 1; i-- > 0;)
    for (size_t j = m + 1; j-- > 0;) {
      if (i == n) cost[i][j] = static_cast<uint32_t>(m - j);
      else if (j == m) cost[i][j] = static_cast<uint32_t>(n - i);
      else if (left[i] == right[j]) cost[i][j] = cost[i + 1][j + 1];
      else cost[i][j] = 1 + std::min({cost[i + 1][j], cost[i][j + 1], cost[i + 1][j + 1]});
    }
  enum Op { kKeep, kRemove, kAdd, kReplace };
  std::vector<Op> ops;
  for (size_t i = 0, j = 0; i < n || j < m;) {
    if (i < n && j < m && left[i] == right[j] && cost[i][j] == cost[i + 1][j + 1]) {
      ops.push_back(kKeep);
      ++i, ++j;
    } else if (i < n && j < m && cost[i][j] == 1 + cost[i + 1][j + 1]) {
      ops.push_back(kReplace);
      ++i, ++j;
    } else if (i < n && cost[i][j] == 1 + cost[i + 1][j]) {
      ops.push_back(kRemove);
      ++i;
    } else {
      ops.push_back(kAdd);
      ++j;
    }
  }
  constexpr size_t kContext = 2;
  std::string out;
  size_t li = 0, ri = 0;
  for (size_t k = 0; k < ops.size();) {
    if (ops[k] == kKeep) {
      ++k, ++li, ++ri;
      continue;
    }
    // A hunk: from kContext lines before the change to kContext after the
    // last change that is no more than 2 * kContext lines after the one before.
    size_t ctxBefore = 0;
    while (ctxBefore < kContext && ctxBefore < k && ops[k - 1 - ctxBefore] == kKeep) ++ctxBefore;
    size_t startK = k - ctxBefore, lStart = li - ctxBefore, rStart = ri - ctxBefore;
    size_t endK = k;
    for (size_t q = k; q < ops.size(); ++q) {
      if (ops[q] != kKeep) {
        endK = q + 1;
        continue;
      }
      size_t run = 0;
      while (q + run < ops.size() && ops[q + run] == kKeep) ++run;
      if (q + run >= ops.size() || run >= 2 * kContext) break;
      q += run - 1;
    }
    size_t after = 0;
    while (after < kContext && endK + after < ops.size() && ops[endK + after] == kKeep) ++after;
    size_t stopK = endK + after;
    std::string body, removes, adds;
    size_t l = lStart, r = rStart, lCount = 0, rCount = 0;
    auto flush = [&] {
      body += removes;
      body += adds;
      removes.clear();
      adds.clear();
    };
    for (size_t q = startK; q < stopK; ++q) {
      switch (ops[q]) {
        case kKeep:
          flush();
          body += " " + left[l] + "\n";
          ++l, ++r, ++lCount, ++rCount;
          break;
        case kRemove:
          removes += "-" + left[l++] + "\n";
          ++lCount;
          break;
        case kAdd:
          adds += "+" + right[r++] + "\n";
          ++rCount;
          break;
        case kReplace:
          removes += "-" + left[l++] + "\n";
          adds += "+" + right[r++] + "\n";
          ++lCount, ++rCount;
          break;
      }
    }
    flush();
    out += "@@ -" + std::to_string(lStart + 1) + "," + std::to_string(lCount) + " +" + std::to_string(rStart + 1) +
           "," + std::to_string(rCount) + " @@\n" + body;
    li = l;
    ri = r;
    k = stopK;
  }
  return out;
}

std::string Printed(double v, int digits) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*g", digits, v);
  return buf;
}

std::string Quoted(const char* s) { return ::testing::PrintToString(std::string(s ? s : "(null)")); }
std::string Quoted(const wchar_t* s) { return ::testing::PrintToString(std::wstring(s ? s : L"(null)")); }

bool CaseInsensitiveEqual(const char* a, const char* b) {
  if (!a || !b) return a == b;
  return strcasecmp(a, b) == 0;
}

// Floating point values as integers ordered like the values: the distance
// between two of them counts the representable values in between.
template <class Int, class Real>
Int Biased(Real v) {
  Int bits;
  std::memcpy(&bits, &v, sizeof bits);
  constexpr Int sign = Int(1) << (sizeof(Int) * 8 - 1);
  return (bits & sign) ? ~bits + 1 : (bits | sign);
}

template <class Int, class Real>
bool AlmostEqual(Real a, Real b) {
  if (std::isnan(a) || std::isnan(b)) return false;
  Int x = Biased<Int>(a), y = Biased<Int>(b);
  return (x >= y ? x - y : y - x) <= 4;
}

}  // namespace

CheckResult EqFailure(const char* lhsExpr, const char* rhsExpr, const std::string& lhs, const std::string& rhs,
                      bool ignoringCase) {
  std::string msg = "Expected equality of these values:";
  msg += "\n  ";
  msg += lhsExpr;
  if (lhs != lhsExpr) msg += "\n    Which is: " + lhs;
  msg += "\n  ";
  msg += rhsExpr;
  if (rhs != rhsExpr) msg += "\n    Which is: " + rhs;
  if (ignoringCase) msg += "\nIgnoring case";
  if (!lhs.empty() && !rhs.empty()) {
    std::vector<std::string> l = SplitEscapedString(lhs), r = SplitEscapedString(rhs);
    if (l.size() > 1 || r.size() > 1) msg += "\nWith diff:\n" + UnifiedDiff(l, r);
  }
  return Fail(std::move(msg));
}

CheckResult CmpFailure(const char* lhsExpr, const char* rhsExpr, const char* op, const std::string& lhs,
                       const std::string& rhs) {
  return Fail(std::string("Expected: (") + lhsExpr + ") " + op + " (" + rhsExpr + "), actual: " + lhs + " vs " + rhs);
}

CheckResult BoolFailure(const char* text, const char* explanation, const char* actual, const char* expected) {
  std::string msg = std::string("Value of: ") + text + "\n  Actual: " + actual;
  if (explanation && *explanation) msg += std::string(" (") + explanation + ")";
  return Fail(msg + "\nExpected: " + expected);
}

CheckResult PredFailure(const char* predText, int count, const char* const* exprs, const std::string* values) {
  std::string msg = std::string(predText) + "(";
  for (int i = 0; i < count; ++i) msg += std::string(i ? ", " : "") + exprs[i];
  msg += ") evaluates to false, where";
  for (int i = 0; i < count; ++i) msg += std::string("\n") + exprs[i] + " evaluates to " + values[i];
  return Fail(std::move(msg));
}

CheckResult ThrowFailure(const char* statement, const char* expected, const char* actual) {
  std::string msg = std::string("Expected: ") + statement;
  if (expected) {
    msg += std::string(" throws an exception of type ") + expected + ".\n  Actual: it throws ";
    msg += actual ? "a different type." : "nothing.";
  } else if (actual) {
    msg += " doesn't throw an exception.\n  Actual: it throws.";
  } else {
    msg += " throws an exception.\n  Actual: it doesn't.";
  }
  return Fail(std::move(msg));
}

CheckResult ThrowFailureOf(const char* statement, const char* expected, const std::exception& e) {
  return Fail(std::string("Expected: ") + statement + " throws an exception of type " + expected +
              ".\n  Actual: it throws " + GetTypeNameByTypeInfo(typeid(e)) + " with description \"" + e.what() + "\".");
}

CheckResult NoThrowFailureOf(const char* statement, const std::exception& e) {
  return Fail(std::string("Expected: ") + statement + " doesn't throw an exception.\n  Actual: it throws " +
              GetTypeNameByTypeInfo(typeid(e)) + " with description \"" + e.what() + "\".");
}

CheckResult CmpHelperSTREQ(const char* e1, const char* e2, const char* s1, const char* s2) {
  if (s1 == s2 || (s1 && s2 && std::strcmp(s1, s2) == 0)) return CheckResult();
  return EqFailure(e1, e2, PrintToString(s1), PrintToString(s2), false);
}
CheckResult CmpHelperSTRNE(const char* e1, const char* e2, const char* s1, const char* s2) {
  if (!(s1 == s2 || (s1 && s2 && std::strcmp(s1, s2) == 0))) return CheckResult();
  return CmpFailure(e1, e2, "!=", Quoted(s1), Quoted(s2));
}
CheckResult CmpHelperSTRCASEEQ(const char* e1, const char* e2, const char* s1, const char* s2) {
  if (CaseInsensitiveEqual(s1, s2)) return CheckResult();
  return EqFailure(e1, e2, PrintToString(s1), PrintToString(s2), true);
}
CheckResult CmpHelperSTRCASENE(const char* e1, const char* e2, const char* s1, const char* s2) {
  if (!CaseInsensitiveEqual(s1, s2)) return CheckResult();
  return Fail(std::string("Expected: (") + e1 + ") != (" + e2 + ") (ignoring case), actual: " + Quoted(s1) + " vs " +
              Quoted(s2));
}
CheckResult CmpHelperSTREQ(const char* e1, const char* e2, const wchar_t* s1, const wchar_t* s2) {
  if (s1 == s2 || (s1 && s2 && std::wcscmp(s1, s2) == 0)) return CheckResult();
  return EqFailure(e1, e2, PrintToString(s1), PrintToString(s2), false);
}
CheckResult CmpHelperSTRNE(const char* e1, const char* e2, const wchar_t* s1, const wchar_t* s2) {
  if (!(s1 == s2 || (s1 && s2 && std::wcscmp(s1, s2) == 0))) return CheckResult();
  return CmpFailure(e1, e2, "!=", Quoted(s1), Quoted(s2));
}

bool AlmostEqualFloats(float a, float b) noexcept { return AlmostEqual<uint32_t>(a, b); }
bool AlmostEqualDoubles(double a, double b) noexcept { return AlmostEqual<uint64_t>(a, b); }

CheckResult CmpHelperFloatEQ(const char* e1, const char* e2, float v1, float v2) {
  if (AlmostEqualFloats(v1, v2)) return CheckResult();
  return EqFailure(e1, e2, Printed(v1, std::numeric_limits<float>::digits10 + 2),
                   Printed(v2, std::numeric_limits<float>::digits10 + 2), false);
}

CheckResult CmpHelperDoubleEQ(const char* e1, const char* e2, double v1, double v2) {
  if (AlmostEqualDoubles(v1, v2)) return CheckResult();
  return EqFailure(e1, e2, Printed(v1, 17), Printed(v2, 17), false);
}

CheckResult CmpHelperNear(const char* e1, const char* e2, const char* eAbs, double v1, double v2, double absError) {
  const double diff = std::fabs(v1 - v2);
  if (diff <= absError) return CheckResult();
  const double minAbs = std::min(std::fabs(v1), std::fabs(v2));
  const double epsilon = std::nextafter(minAbs, std::numeric_limits<double>::infinity()) - minAbs;
  std::string msg = std::string("The difference between ") + e1 + " and " + e2 + " is " + Printed(diff, 17);
  if (!std::isnan(v1) && !std::isnan(v2) && absError > 0 && absError < epsilon)
    return Fail(msg + ", where\n" + e1 + " evaluates to " + Printed(v1, 17) + ",\n" + e2 + " evaluates to " +
                Printed(v2, 17) + ".\nThe abs_error parameter " + eAbs + " evaluates to " + Printed(absError, 17) +
                " which is smaller than the minimum distance between doubles for numbers of this magnitude which "
                "is " +
                Printed(epsilon, 17) +
                ", thus making this EXPECT_NEAR check equivalent to EXPECT_EQUAL. Consider using EXPECT_DOUBLE_EQ "
                "instead.");
  return Fail(msg + ", which exceeds " + eAbs + ", where\n" + e1 + " evaluates to " + Printed(v1, 17) + ",\n" + e2 +
              " evaluates to " + Printed(v2, 17) + ", and\n" + eAbs + " evaluates to " + Printed(absError, 17) + ".");
}

namespace {
AssertionResult FromCheck(CheckResult r) {
  if (r) return AssertionSuccess();
  AssertionResult out = AssertionFailure() << *r.failure();
  delete r.failure();
  return out;
}

template <class Real>
AssertionResult FloatingLE(const char* e1, const char* e2, Real v1, Real v2, bool (*almost)(Real, Real) noexcept) {
  if (v1 < v2 || almost(v1, v2)) return AssertionSuccess();
  constexpr int digits = std::numeric_limits<Real>::digits10 + 2;
  return AssertionFailure() << "Expected: (" << e1 << ") <= (" << e2 << ")\n  Actual: " << Printed(v1, digits)
                            << " vs " << Printed(v2, digits);
}
}  // namespace

template <>
AssertionResult CmpHelperFloatingPointEQ<float>(const char* e1, const char* e2, float v1, float v2) {
  return FromCheck(CmpHelperFloatEQ(e1, e2, v1, v2));
}
template <>
AssertionResult CmpHelperFloatingPointEQ<double>(const char* e1, const char* e2, double v1, double v2) {
  return FromCheck(CmpHelperDoubleEQ(e1, e2, v1, v2));
}
AssertionResult DoubleNearPredFormat(const char* e1, const char* e2, const char* eAbs, double v1, double v2,
                                     double absError) {
  return FromCheck(CmpHelperNear(e1, e2, eAbs, v1, v2, absError));
}

}  // namespace internal

AssertionResult FloatLE(const char* expr1, const char* expr2, float val1, float val2) {
  return FloatingLE(expr1, expr2, val1, val2, &AlmostEqualFloats);
}
AssertionResult DoubleLE(const char* expr1, const char* expr2, double val1, double val2) {
  return FloatingLE(expr1, expr2, val1, val2, &AlmostEqualDoubles);
}

namespace {
AssertionResult Substring(bool wanted, const char* needleExpr, const char* haystackExpr, const char* needle,
                          const char* haystack) {
  const bool found = needle && haystack ? std::strstr(haystack, needle) != nullptr : needle == haystack;
  if (found == wanted) return AssertionSuccess();
  return AssertionFailure() << "Value of: " << needleExpr << "\n  Actual: " << PrintToString(needle)
                            << "\nExpected: " << (wanted ? "" : "not ") << "a substring of " << haystackExpr
                            << "\nWhich is: " << PrintToString(haystack);
}
}  // namespace

AssertionResult IsSubstring(const char* needle_expr, const char* haystack_expr, const char* needle,
                            const char* haystack) {
  return Substring(true, needle_expr, haystack_expr, needle, haystack);
}
AssertionResult IsSubstring(const char* needle_expr, const char* haystack_expr, const std::string& needle,
                            const std::string& haystack) {
  return Substring(true, needle_expr, haystack_expr, needle.c_str(), haystack.c_str());
}
AssertionResult IsNotSubstring(const char* needle_expr, const char* haystack_expr, const char* needle,
                               const char* haystack) {
  return Substring(false, needle_expr, haystack_expr, needle, haystack);
}
AssertionResult IsNotSubstring(const char* needle_expr, const char* haystack_expr, const std::string& needle,
                               const std::string& haystack) {
  return Substring(false, needle_expr, haystack_expr, needle.c_str(), haystack.c_str());
}

// ---------------------------------------------------------------------------
// Properties

namespace {
bool ReservedKey(const std::string& key, bool forTest) {
  static const char* const kTest[] = {"name", "status", "time", "classname", "type_param", "value_param",
                                      "file", "line", "result", "timestamp"};
  static const char* const kOther[] = {"name", "tests", "failures", "disabled", "errors", "time", "timestamp",
                                       "skipped"};
  if (forTest) return std::find(std::begin(kTest), std::end(kTest), key) != std::end(kTest);
  return std::find(std::begin(kOther), std::end(kOther), key) != std::end(kOther);
}
}  // namespace

void Test::RecordProperty(const std::string& key, const std::string& value) {
  TRunningContext* ctx = CurrentContext();
  const bool forTest = ctx && ctx->Info;
  if (ReservedKey(key, forTest)) {
    ReportPart(TestPartResult::kNonFatalFailure, nullptr, -1,
               "Reserved key used in RecordProperty(): " + key + " ('name', 'status', 'time', 'classname', "
               "'type_param', and 'value_param' are reserved by Google Test)");
    return;
  }
  if (!ctx || !ctx->Result || !ctx->Node) {
    UnitTestState::AddProperty(UnitTestState::Get().AdHoc, TestProperty(key, value));
    return;
  }
  ctx->Result->Status(*ctx->Node, PropertyStatusLine(key, value));
}

void Test::RecordProperty(const std::string& key, int value) { RecordProperty(key, std::to_string(value)); }

}  // namespace testing
