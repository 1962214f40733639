// Runs the two builds of ComparedTexts.cpp and holds their records, so that a
// test can compare what the dialect prints with what GoogleTest prints.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

namespace ComparedRecords {

struct TRecord {
  std::string Key;
  std::string Text;
};

// Section name -> its records, in the order printed.
using TSections = std::map<std::string, std::vector<TRecord>>;

// The program's standard output; throws when it cannot run or does not exit 0.
inline std::string RunProgram(const std::string& path) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe failed for " + path);
  const pid_t child = fork();
  if (child == 0) {
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    close(fds[1]);
    char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
    execv(path.c_str(), argv);
    _exit(127);
  }
  close(fds[1]);
  std::string out;
  char buf[4096];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error(path + " did not exit with 0 (status " + std::to_string(status) + ")");
  }
  return out;
}

// Addresses differ from run to run; the hex codes of characters (upper case,
// short) stay.
inline std::string MaskAddresses(const std::string& text) {
  static const std::regex address("0x[0-9a-f]{6,}");
  return std::regex_replace(text, address, "0x?");
}

// "## section" starts a section, "@@ key" a record; the record's text runs
// to the next marker, without its last line end.
inline TSections Parse(const std::string& out) {
  TSections sections;
  std::vector<TRecord>* current = nullptr;
  size_t at = 0;
  while (at < out.size()) {
    size_t end = out.find('\n', at);
    if (end == std::string::npos) end = out.size();
    const std::string line = out.substr(at, end - at);
    if (line.rfind("## ", 0) == 0) {
      current = &sections[line.substr(3)];
    } else if (line.rfind("@@ ", 0) == 0 && current != nullptr) {
      current->push_back({line.substr(3), ""});
    } else if (current != nullptr && !current->empty()) {
      current->back().Text += line + "\n";
    }
    at = end + 1;
  }
  for (auto& [name, records] : sections) {
    for (TRecord& r : records) {
      if (!r.Text.empty()) r.Text.pop_back();
      r.Text = MaskAddresses(r.Text);
    }
  }
  return sections;
}

// A text meant to differ from GoogleTest's: what the dialect prints instead.
struct TDifference {
  const char* Key;
  const char* Ours;
};

// The records of both builds, run once per test program.
inline const TSections& Reference() {
  static const TSections sections = Parse(RunProgram(GTEST_TEXTS_REFERENCE));
  return sections;
}
inline const TSections& Dialect() {
  static const TSections sections = Parse(RunProgram(GTEST_TEXTS_DIALECT));
  return sections;
}

// Every record of the section alike, except the listed differences, which
// must still differ and read as listed: empty, or every mismatch described.
inline std::string Mismatches(const std::string& name, const std::vector<TDifference>& differences = {}) {
  const auto reference = Reference().find(name);
  const auto dialect = Dialect().find(name);
  if (reference == Reference().end() || dialect == Dialect().end()) return "no section " + name;
  std::string mismatches;
  if (reference->second.size() != dialect->second.size()) {
    mismatches += "\n" + std::to_string(reference->second.size()) + " records from GoogleTest, " +
                  std::to_string(dialect->second.size()) + " from the dialect";
  }
  for (size_t i = 0; i < reference->second.size() && i < dialect->second.size(); ++i) {
    const TRecord& theirs = reference->second[i];
    const TRecord& ours = dialect->second[i];
    if (theirs.Key != ours.Key) {
      mismatches += "\nrecord " + std::to_string(i) + " is " + theirs.Key + " in GoogleTest, " + ours.Key + " here";
      break;
    }
    const TDifference* difference = nullptr;
    for (const TDifference& d : differences) {
      if (theirs.Key == d.Key) difference = &d;
    }
    if (difference == nullptr && theirs.Text != ours.Text) {
      mismatches += "\n" + theirs.Key + ":\n  GoogleTest [" + theirs.Text + "]\n  dialect    [" + ours.Text + "]";
    } else if (difference != nullptr && (ours.Text != difference->Ours || theirs.Text == ours.Text)) {
      mismatches += "\n" + theirs.Key + " (a listed difference):\n  GoogleTest [" + theirs.Text +
                    "]\n  dialect    [" + ours.Text + "]\n  listed     [" + difference->Ours + "]";
    }
  }
  for (const TDifference& d : differences) {
    bool found = false;
    for (const TRecord& r : reference->second) found = found || r.Key == d.Key;
    if (!found) mismatches += std::string("\nlisted difference without a record: ") + d.Key;
  }
  return mismatches;
}

}  // namespace ComparedRecords
