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

}  // namespace ComparedRecords
