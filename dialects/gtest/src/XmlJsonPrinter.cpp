// --gtest_output=xml and json: GoogleTest's report documents, written
// whole at the end of each iteration from what the listeners were told.
// The file is written beside its path and renamed over it, so a reader
// never sees half a report.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sstream>

#include "Internal.h"

namespace testing::internal {

bool gReportWriteFailed = false;

namespace {

std::string Seconds(TimeInMillis ms) {
  std::ostringstream ss;
  ss << static_cast<double>(ms) * 1e-3;
  return ss.str();
}

std::string LocalTime(TimeInMillis ms, bool millis, const char* zone) {
  time_t seconds = static_cast<time_t>(ms / 1000);
  struct tm t {};
  if (!localtime_r(&seconds, &t)) return "";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                t.tm_hour, t.tm_min, t.tm_sec);
  std::string out = buf;
  if (millis) {
    std::snprintf(buf, sizeof buf, ".%03d", static_cast<int>(ms % 1000));
    out += buf;
  }
  return out + zone;
}

// What XML cannot hold goes: control characters other than tab, line feed
// and carriage return.
std::string XmlEscape(const std::string& s, bool attribute) {
  std::string out;
  for (unsigned char c : s) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '\'': out += attribute ? "&apos;" : "'"; break;
      case '"': out += attribute ? "&quot;" : "\""; break;
      default:
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') break;
        if (attribute && (c == '\n' || c == '\r' || c == '\t')) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "&#x%02X;", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

std::string CData(const std::string& s) {
  std::string clean;
  for (unsigned char c : s)
    if (c >= 0x20 || c == '\t' || c == '\n' || c == '\r') clean += static_cast<char>(c);
  std::string out = "<![CDATA[";
  size_t start = 0;
  for (size_t end; (end = clean.find("]]>", start)) != std::string::npos; start = end + 3)
    out += clean.substr(start, end - start) + "]]>]]&gt;<![CDATA[";
  return out + clean.substr(start) + "]]>";
}

std::string Attr(const char* name, const std::string& value) {
  return std::string(" ") + name + "=\"" + XmlEscape(value, true) + "\"";
}

std::string PartLocation(const TestPartResult& p) { return LocationText(p.file_name(), p.line_number()); }

bool MakeDirectories(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    std::string dir = path.substr(0, slash);
    if (::mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  return true;
}

void WriteWhole(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".tmp" + std::to_string(::getpid());
  std::FILE* f = nullptr;
  if (MakeDirectories(path)) f = std::fopen(temporary.c_str(), "wb");
  bool ok = f && std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (f) ok = std::fclose(f) == 0 && ok;
  if (ok) ok = std::rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) {
    const int err = errno;
    std::remove(temporary.c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "Unable to write the report file \"%s\": %s\n", path.c_str(), std::strerror(err));
    gReportWriteFailed = true;
  }
}

template <class F>
void ForEachReportable(const UnitTest& unit, F f) {
  for (int i = 0; i < unit.total_test_suite_count(); ++i) {
    const TestSuite& s = *unit.GetTestSuite(i);
    if (s.reportable_test_count() > 0) f(s);
  }
}

class TXmlPrinter : public EmptyTestEventListener {
 public:
  explicit TXmlPrinter(std::string path) : FPath(std::move(path)) {}
  void OnTestIterationEnd(const UnitTest& unit, int) override {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites";
    out += Attr("tests", std::to_string(unit.reportable_test_count()));
    out += Attr("failures", std::to_string(unit.failed_test_count()));
    out += Attr("disabled", std::to_string(unit.reportable_disabled_test_count()));
    out += Attr("errors", "0");
    out += Attr("time", Seconds(unit.elapsed_time()));
    out += Attr("timestamp", LocalTime(unit.start_timestamp(), true, ""));
    out += Attr("name", "AllTests");
    out += Properties(unit.ad_hoc_test_result());
    out += ">\n";
    ForEachReportable(unit, [&](const TestSuite& s) { out += Suite(s); });
    if (unit.ad_hoc_test_result().Failed()) out += NonSuiteFailures(unit.ad_hoc_test_result());
    out += "</testsuites>\n";
    WriteWhole(FPath, out);
  }

 private:
  static std::string Properties(const TestResult& r) {
    std::string out;
    for (int i = 0; i < r.test_property_count(); ++i)
      out += Attr(r.GetTestProperty(i).key(), r.GetTestProperty(i).value());
    return out;
  }

  static std::string Suite(const TestSuite& s) {
    std::string out = "  <testsuite";
    out += Attr("name", s.name());
    out += Attr("tests", std::to_string(s.reportable_test_count()));
    out += Attr("failures", std::to_string(s.failed_test_count()));
    out += Attr("disabled", std::to_string(s.reportable_disabled_test_count()));
    out += Attr("skipped", std::to_string(s.skipped_test_count()));
    out += Attr("errors", "0");
    out += Attr("time", Seconds(s.elapsed_time()));
    out += Attr("timestamp", LocalTime(s.start_timestamp(), true, ""));
    out += Properties(s.ad_hoc_test_result());
    out += ">\n";
    for (int i = 0; i < s.total_test_count(); ++i)
      if (s.GetTestInfo(i)->is_reportable()) out += Case(*s.GetTestInfo(i));
    return out + "  </testsuite>\n";
  }

  static std::string Case(const TestInfo& t) {
    const TestResult& r = *t.result();
    std::string out = "    <testcase";
    out += Attr("name", t.name());
    if (t.value_param()) out += Attr("value_param", t.value_param());
    if (t.type_param()) out += Attr("type_param", t.type_param());
    out += Attr("file", t.file());
    out += Attr("line", std::to_string(t.line()));
    out += Attr("status", t.should_run() ? "run" : "notrun");
    out += Attr("result", t.should_run() ? (r.Skipped() ? "skipped" : "completed") : "suppressed");
    out += Attr("time", Seconds(t.should_run() ? r.elapsed_time() : 0));
    out += Attr("timestamp", LocalTime(t.should_run() ? r.start_timestamp() : 0, true, ""));
    out += Attr("classname", t.test_suite_name());
    std::string children = Parts(r);
    if (children.empty() && r.test_property_count() == 0) return out + " />\n";
    out += ">\n" + children;
    if (r.test_property_count() > 0) {
      out += "      <properties>\n";
      for (int i = 0; i < r.test_property_count(); ++i)
        out += "        <property" + Attr("name", r.GetTestProperty(i).key()) +
               Attr("value", r.GetTestProperty(i).value()) + "/>\n";
      out += "      </properties>\n";
    }
    return out + "    </testcase>\n";
  }

  static std::string Parts(const TestResult& r) {
    std::string out;
    for (int i = 0; i < r.total_part_count(); ++i) {
      const TestPartResult& p = r.GetTestPartResult(i);
      const std::string detail = PartLocation(p) + "\n" + p.message();
      if (p.failed())
        out += "      <failure" + Attr("message", detail) + " type=\"\">" + CData(detail) + "</failure>\n";
      else if (p.skipped())
        out += "      <skipped" + Attr("message", detail) + ">" + CData(detail) + "</skipped>\n";
    }
    return out;
  }

  static std::string NonSuiteFailures(const TestResult& r) {
    int failures = 0;
    for (int i = 0; i < r.total_part_count(); ++i) failures += r.GetTestPartResult(i).failed() ? 1 : 0;
    std::string out = "  <testsuite name=\"NonTestSuiteFailure\" tests=\"1\" failures=\"" + std::to_string(failures) +
                      "\" disabled=\"0\" skipped=\"0\" errors=\"0\" time=\"0\" timestamp=\"" +
                      LocalTime(0, true, "") + "\">";
    out += "    <testcase name=\"\" status=\"run\" result=\"completed\" classname=\"\" time=\"0\" timestamp=\"" +
           LocalTime(0, true, "") + "\">\n";
    return out + Parts(r) + "    </testcase>\n  </testsuite>\n";
  }

  std::string FPath;
};

std::string JsonEscape(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '/': out += "\\/"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04X", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

// A JSON object written member by member, with GoogleTest's indentation.
class TJsonObject {
 public:
  explicit TJsonObject(std::string indent) : FIndent(std::move(indent)) {}
  void Text(const char* name, const std::string& value) { Member(name, "\"" + JsonEscape(value) + "\""); }
  void Number(const char* name, long long value) { Member(name, std::to_string(value)); }
  void Raw(const char* name, const std::string& value) { Member(name, value); }
  std::string Close() const { return FOut + "\n" + FIndent.substr(2) + "}"; }
  const std::string& Indent() const { return FIndent; }

 private:
  void Member(const char* name, const std::string& value) {
    FOut += FFirst ? "{\n" : ",\n";
    FFirst = false;
    FOut += FIndent + "\"" + JsonEscape(name) + "\": " + value;
  }
  std::string FIndent;
  std::string FOut;
  bool FFirst = true;
};

class TJsonPrinter : public EmptyTestEventListener {
 public:
  explicit TJsonPrinter(std::string path) : FPath(std::move(path)) {}
  void OnTestIterationEnd(const UnitTest& unit, int) override {
    TJsonObject top("  ");
    top.Number("tests", unit.reportable_test_count());
    top.Number("failures", unit.failed_test_count());
    top.Number("disabled", unit.reportable_disabled_test_count());
    top.Number("errors", 0);
    top.Text("timestamp", LocalTime(unit.start_timestamp(), false, "Z"));
    top.Text("time", Seconds(unit.elapsed_time()) + "s");
    top.Text("name", "AllTests");
    Properties(top, unit.ad_hoc_test_result());
    std::vector<std::string> suites;
    ForEachReportable(unit, [&](const TestSuite& s) { suites.push_back(Suite(s)); });
    if (unit.ad_hoc_test_result().Failed()) suites.push_back(NonSuiteFailures(unit.ad_hoc_test_result()));
    top.Raw("testsuites", Array(suites, "  "));
    WriteWhole(FPath, top.Close() + "\n");
  }

 private:
  static std::string Array(const std::vector<std::string>& items, const std::string& indent) {
    std::string out = "[\n";
    for (size_t i = 0; i < items.size(); ++i) out += indent + "  " + items[i] + (i + 1 < items.size() ? ",\n" : "\n");
    return out + indent + "]";
  }

  static void Properties(TJsonObject& o, const TestResult& r) {
    for (int i = 0; i < r.test_property_count(); ++i) o.Text(r.GetTestProperty(i).key(), r.GetTestProperty(i).value());
  }

  static std::string Suite(const TestSuite& s) {
    TJsonObject o("      ");
    o.Text("name", s.name());
    o.Number("tests", s.reportable_test_count());
    o.Number("failures", s.failed_test_count());
    o.Number("disabled", s.reportable_disabled_test_count());
    o.Number("errors", 0);
    o.Text("timestamp", LocalTime(s.start_timestamp(), false, "Z"));
    o.Text("time", Seconds(s.elapsed_time()) + "s");
    Properties(o, s.ad_hoc_test_result());
    std::vector<std::string> cases;
    for (int i = 0; i < s.total_test_count(); ++i)
      if (s.GetTestInfo(i)->is_reportable()) cases.push_back(Case(*s.GetTestInfo(i)));
    o.Raw("testsuite", Array(cases, "      "));
    return o.Close();
  }

  static std::string Case(const TestInfo& t) {
    const TestResult& r = *t.result();
    TJsonObject o("          ");
    o.Text("name", t.name());
    if (t.value_param()) o.Text("value_param", t.value_param());
    if (t.type_param()) o.Text("type_param", t.type_param());
    o.Text("file", t.file());
    o.Number("line", t.line());
    o.Text("status", t.should_run() ? "RUN" : "NOTRUN");
    o.Text("result", t.should_run() ? (r.Skipped() ? "SKIPPED" : "COMPLETED") : "SUPPRESSED");
    o.Text("timestamp", LocalTime(t.should_run() ? r.start_timestamp() : 0, false, "Z"));
    o.Text("time", Seconds(t.should_run() ? r.elapsed_time() : 0) + "s");
    o.Text("classname", t.test_suite_name());
    Properties(o, r);
    Failures(o, r);
    return o.Close();
  }

  static void Failures(TJsonObject& o, const TestResult& r) {
    std::vector<std::string> failures;
    for (int i = 0; i < r.total_part_count(); ++i) {
      const TestPartResult& p = r.GetTestPartResult(i);
      if (!p.failed()) continue;
      TJsonObject f(o.Indent() + "    ");
      f.Text("failure", PartLocation(p) + "\n" + p.message());
      f.Text("type", "");
      failures.push_back(f.Close());
    }
    if (!failures.empty()) o.Raw("failures", Array(failures, o.Indent()));
  }

  static std::string NonSuiteFailures(const TestResult& r) {
    TJsonObject o("      ");
    o.Text("name", "NonTestSuiteFailure");
    o.Number("tests", 1);
    o.Number("failures", 1);
    o.Number("disabled", 0);
    o.Number("skipped", 0);
    o.Number("errors", 0);
    o.Text("time", "0s");
    TJsonObject c("          ");
    c.Text("name", "");
    c.Text("status", "RUN");
    c.Text("result", "COMPLETED");
    c.Text("timestamp", LocalTime(0, false, "Z"));
    c.Text("time", "0s");
    c.Text("classname", "");
    Failures(c, r);
    o.Raw("testsuite", Array({c.Close()}, "      "));
    return o.Close();
  }

  std::string FPath;
};

// The list of --gtest_list_tests as a document: every suite, with the tests
// that the filter and the shard leave, where each is defined.
std::string XmlTestList() {
  int total = 0;
  for (TestSuite* s : UnitTestState::Get().Suites) total += s->total_test_count();
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites" + Attr("tests", std::to_string(total)) +
                    Attr("name", "AllTests") + ">\n";
  for (TestSuite* s : UnitTestState::Get().Suites) {
    out += "  <testsuite" + Attr("name", s->name()) + Attr("tests", std::to_string(s->reportable_test_count())) + ">\n";
    for (const TestInfo* t : UnitTestState::TestsOf(*s)) {
      if (!t->is_reportable()) continue;
      out += "    <testcase" + Attr("name", t->name());
      if (t->value_param()) out += Attr("value_param", t->value_param());
      if (t->type_param()) out += Attr("type_param", t->type_param());
      out += Attr("file", t->file()) + Attr("line", std::to_string(t->line())) + " />\n";
    }
    out += "  </testsuite>\n";
  }
  return out + "</testsuites>\n";
}

std::string JsonTestList() {
  int total = 0;
  for (TestSuite* s : UnitTestState::Get().Suites) total += s->total_test_count();
  TJsonObject top("  ");
  top.Number("tests", total);
  top.Text("name", "AllTests");
  std::string suites = "[\n";
  bool firstSuite = true;
  for (TestSuite* s : UnitTestState::Get().Suites) {
    TJsonObject o("      ");
    o.Text("name", s->name());
    o.Number("tests", s->reportable_test_count());
    // An empty list keeps its blank line, as GoogleTest writes it.
    std::string cases = "[\n";
    bool firstCase = true;
    for (const TestInfo* t : UnitTestState::TestsOf(*s)) {
      if (!t->is_reportable()) continue;
      TJsonObject c("          ");
      c.Text("name", t->name());
      if (t->value_param()) c.Text("value_param", t->value_param());
      if (t->type_param()) c.Text("type_param", t->type_param());
      c.Text("file", t->file());
      c.Number("line", t->line());
      cases += (firstCase ? "" : ",\n") + std::string("        ") + c.Close();
      firstCase = false;
    }
    o.Raw("testsuite", cases + "\n      ]");
    suites += (firstSuite ? "" : ",\n") + std::string("    ") + o.Close();
    firstSuite = false;
  }
  top.Raw("testsuites", suites + "\n  ]");
  return top.Close() + "\n";
}

}  // namespace

TestEventListener* NewXmlPrinter(const std::string& path) { return new TXmlPrinter(path); }
TestEventListener* NewJsonPrinter(const std::string& path) { return new TJsonPrinter(path); }

bool WriteTestList(const std::string& kind, const std::string& path) {
  WriteWhole(path, kind == "json" ? JsonTestList() : XmlTestList());
  return !gReportWriteFailed;
}

}  // namespace testing::internal
