// Death tests: fork, run the statement in the child, and judge the child's
// end and its standard error in the parent.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>

#include "Internal.h"

namespace testing {

using namespace internal;

bool ExitedWithCode::operator()(int exit_status) const {
  return WIFEXITED(exit_status) && WEXITSTATUS(exit_status) == exit_code_;
}

bool KilledBySignal::operator()(int exit_status) const {
  return WIFSIGNALED(exit_status) && WTERMSIG(exit_status) == signum_;
}

namespace internal {

namespace {

// What the child says about its end through the status pipe.
constexpr char kLived = 'L';     // the statement ran to its end
constexpr char kThrew = 'T';     // the statement threw
constexpr char kReturned = 'R';  // the statement left its scope (return, break)

void WriteAll(int fd, const char* data, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, data, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return;
    data += w;
    n -= static_cast<size_t>(w);
  }
}

[[noreturn]] void EndChild(int statusPipe, char how) {
  WriteAll(statusPipe, &how, 1);
  std::fflush(stderr);
  ::_exit(1);
}

std::string ReadAll(int fd) {
  std::string out;
  char buf[4096];
  while (true) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

// Every line of the child's standard error, as the failure shows it (the
// piece after the last line end too, even when empty), joined by line ends.
std::string Quoted(const std::string& output) {
  std::string out;
  size_t start = 0;
  while (true) {
    size_t nl = output.find('\n', start);
    out += "[  DEATH   ] " + output.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
    if (nl == std::string::npos) break;
    out += "\n";
    start = nl + 1;
  }
  return out;
}

std::string ExitSummary(int status) {
  if (WIFEXITED(status)) return "Exited with exit status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) {
    std::string out = "Terminated by signal " + std::to_string(WTERMSIG(status));
    if (WCOREDUMP(status)) out += " (core dumped)";
    return out;
  }
  return "Unknown exit status " + std::to_string(status);
}

int CountThreads() {
  int n = 0;
  if (std::FILE* f = std::fopen("/proc/self/status", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, f))
      if (std::strncmp(line, "Threads:", 8) == 0) n = std::atoi(line + 8);
    std::fclose(f);
  }
  return n;
}

}  // namespace

bool ExitedUnsuccessfully(int exit_status) { return !ExitedWithCode(0)(exit_status); }

DeathTest_::DeathTest_(const char* statement, const char* file, int line)
    : statement_(statement), file_(file), line_(line) {
  if (const int threads = CountThreads(); threads > 1)
    std::fprintf(stderr,
                 "[WARNING] %s:%d: Death tests use fork(), which is unsafe particularly in a threaded context. For "
                 "this test, %d threads were found.\n",
                 file, line, threads);
  int errPipe[2], statusPipe[2];
  if (::pipe2(errPipe, O_CLOEXEC) != 0) {
    failure_ = new std::string(std::string("Death test: ") + statement + "\n    Result: could not make a pipe: " +
                               std::strerror(errno));
    return;
  }
  if (::pipe2(statusPipe, O_CLOEXEC) != 0) {
    ::close(errPipe[0]);
    ::close(errPipe[1]);
    failure_ = new std::string(std::string("Death test: ") + statement + "\n    Result: could not make a pipe: " +
                               std::strerror(errno));
    return;
  }
  // What is buffered would otherwise be written twice.
  std::fflush(nullptr);
  pid_ = ::fork();
  if (pid_ < 0) {
    failure_ = new std::string(std::string("Death test: ") + statement + "\n    Result: could not fork: " +
                               std::strerror(errno));
    for (int fd : {errPipe[0], errPipe[1], statusPipe[0], statusPipe[1]}) ::close(fd);
    return;
  }
  if (pid_ == 0) {
    child_ = true;
    gInDeathTestChild = true;
    // Nothing the parent installed acts here: every signal takes its
    // default action and none is blocked.
    for (int sig = 1; sig < NSIG; ++sig)
      if (sig != SIGKILL && sig != SIGSTOP) ::signal(sig, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::dup2(errPipe[1], STDERR_FILENO);
    ::close(errPipe[0]);
    ::close(errPipe[1]);
    ::close(statusPipe[0]);
    statusPipe_ = statusPipe[1];
    // A child that outlives a hung parent would keep the pipes open for ever.
    std::set_terminate([] { ::_exit(1); });
    return;
  }
  ::close(errPipe[1]);
  ::close(statusPipe[1]);
  stderrPipe_ = errPipe[0];
  statusPipe_ = statusPipe[0];
}

DeathTest_::~DeathTest_() {
  if (child_) return;
  if (stderrPipe_ >= 0) ::close(stderrPipe_);
  if (statusPipe_ >= 0) ::close(statusPipe_);
}

void DeathTest_::Returned() { EndChild(statusPipe_, kLived); }
void DeathTest_::Threw() {
  std::string what;
  try {
    throw;
  } catch (const std::exception& e) {
    what = std::string("Caught std::exception-derived exception escaping the death test statement. Exception message: ") +
           e.what();
  } catch (...) {
    what = "Caught unknown exception escaping the death test statement.";
  }
  const std::string line = "\n" + LocationText(file_, line_) + ":: " + what + "\n";
  WriteAll(STDERR_FILENO, line.data(), line.size());
  EndChild(statusPipe_, kThrew);
}

DeathTest_::ReturnSentinel::~ReturnSentinel() {
  if (!test_->child_ || std::uncaught_exceptions() > 0) return;
  EndChild(test_->statusPipe_, kReturned);
}

bool DeathTest_::Wait() {
  if (pid_ < 0) return false;
  std::string output = ReadAll(stderrPipe_);
  char how = 0;
  while (::read(statusPipe_, &how, 1) < 0 && errno == EINTR) {
  }
  while (::waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
  }
  const std::string head = std::string("Death test: ") + statement_ + "\n";
  if (how == kLived) {
    failure_ = new std::string(head + "    Result: failed to die.\n Error msg:\n" + Quoted(output));
    return false;
  }
  if (how == kThrew) {
    failure_ = new std::string(head + "    Result: threw an exception.\n Error msg:\n" + Quoted(output));
    return false;
  }
  if (how == kReturned) {
    failure_ = new std::string(head + "    Result: illegal return in test statement.\n Error msg:\n" + Quoted(output));
    return false;
  }
  output_ = std::move(output);
  return true;
}

bool DeathTest_::Judge_(bool statusMatches, const RE& regex) {
  const std::string head = std::string("Death test: ") + statement_ + "\n";
  const bool matches = RE::PartialMatch(output_, regex);
  if (statusMatches && matches) return true;
  if (!statusMatches)
    failure_ = new std::string(head + "    Result: died but not with expected exit code:\n            " +
                               ExitSummary(status_) + "\nActual msg:\n" + Quoted(output_));
  else
    failure_ = new std::string(head + "    Result: died but not with expected error.\n  Expected: contains regular "
                                      "expression \"" +
                               regex.pattern() + "\"\nActual msg:\n" + Quoted(output_));
  return false;
}

}  // namespace internal
}  // namespace testing
