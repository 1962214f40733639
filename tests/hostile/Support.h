// What the hostile-world tests share: programs run as a user runs them
// (their own folder, environment and time limit), files and folders made
// fresh, and servers on a local socket: one that accepts and never answers,
// and one that reads a SQL Server login and keeps the password it was sent.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QString>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace Hostile {

namespace fs = std::filesystem;

inline std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A folder of the tests' own, empty.
inline std::string FreshFolder(const std::string& name) {
  const std::string path = std::string(HOSTILE_WORK_DIR) + "/" + name;
  std::error_code ec;
  fs::permissions(path, fs::perms::all, ec);  // a 1777 folder of an earlier run
  fs::remove_all(path, ec);
  fs::create_directories(path);
  return path;
}

// Every regular file below dir, followed by nothing (links are not files).
inline std::vector<std::string> FilesUnder(const std::string& dir) {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); it != fs::recursive_directory_iterator(); it.increment(ec))
    if (it->is_regular_file(ec) && !it->is_symlink(ec)) out.push_back(it->path().string());
  return out;
}

struct TRun {
  int Status = -1;  // exit status, or 128 + signal
  std::string Out, Err;
  double Seconds = 0;
};

// Runs argv in cwd with env ("NAME=value" each, over the inherited one);
// stdout and stderr go to files in outDir, which are read back. A program
// still running after limit seconds is killed (status 128 + 9).
inline TRun RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                       const std::string& cwd, const std::string& outDir, int limit = 120) {
  TRun r;
  const std::string out = outDir + "/stdout.txt", err = outDir + "/stderr.txt";
  std::vector<std::string> vars;
  for (char** e = environ; *e; ++e) {
    std::string v = *e;
    bool replaced = false;
    for (const std::string& n : env)
      if (v.substr(0, v.find('=') + 1) == n.substr(0, n.find('=') + 1)) replaced = true;
    if (!replaced) vars.push_back(v);
  }
  for (const std::string& n : env)
    if (n.back() != '=') vars.push_back(n);  // "NAME=" removes NAME
  std::vector<char*> args, envp;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  for (const std::string& v : vars) envp.push_back(const_cast<char*>(v.c_str()));
  args.push_back(nullptr);
  envp.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(cwd.c_str()) != 0) _exit(126);
    FILE* o = std::freopen(out.c_str(), "wb", stdout);
    FILE* e = std::freopen(err.c_str(), "wb", stderr);
    if (!o || !e) _exit(126);
    execve(args[0], args.data(), envp.data());
    _exit(127);
  }
  int status = 0;
  for (;;) {
    if (waitpid(pid, &status, WNOHANG) == pid) break;
    if (std::chrono::steady_clock::now() - start > std::chrono::seconds(limit)) kill(pid, SIGKILL);
    usleep(20000);
  }
  r.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.Out = ReadFile(out);
  r.Err = ReadFile(err);
  return r;
}

// A server on 127.0.0.1 at a port of its own, served by a thread.
class TServer {
 public:
  enum TKind { Silent, SqlServerLogin };
  explicit TServer(TKind kind) : FKind(kind) {
    FListen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    bind(FListen, reinterpret_cast<sockaddr*>(&addr), len);
    listen(FListen, 16);
    getsockname(FListen, reinterpret_cast<sockaddr*>(&addr), &len);
    FPort = ntohs(addr.sin_port);
    FThread = std::thread([this] { Serve(); });
  }
  ~TServer() {
    FStop = true;
    FThread.join();
    for (int fd : FHeld) close(fd);
    close(FListen);
  }
  int Port() const { return FPort; }
  // The passwords of the logins received, as UTF-8.
  std::vector<std::string> Passwords() {
    std::lock_guard<std::mutex> lock(FMutex);
    return FPasswords;
  }

 private:
  TKind FKind;
  int FListen = -1, FPort = 0;
  std::atomic<bool> FStop{false};
  std::thread FThread;
  std::vector<int> FHeld;
  std::mutex FMutex;
  std::vector<std::string> FPasswords;

  void Serve() {
    while (!FStop) {
      pollfd p{FListen, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      int fd = accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      if (FKind == Silent) {
        FHeld.push_back(fd);  // taken, never read, never answered
        continue;
      }
      std::string password;
      if (ReadLogin(fd, password)) {
        std::lock_guard<std::mutex> lock(FMutex);
        FPasswords.push_back(password);
      }
      close(fd);
    }
  }

  static bool ReadAll(int fd, char* buf, size_t n) {
    for (size_t got = 0; got < n;) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 5000) <= 0) return false;
      ssize_t k = read(fd, buf + got, n - got);
      if (k <= 0) return false;
      got += static_cast<size_t>(k);
    }
    return true;
  }

  // One packet of the tabular data stream: its type and body.
  static bool ReadPacket(int fd, unsigned char& type, std::string& body) {
    char head[8];
    if (!ReadAll(fd, head, 8)) return false;
    type = static_cast<unsigned char>(head[0]);
    size_t length = (static_cast<unsigned char>(head[2]) << 8) | static_cast<unsigned char>(head[3]);
    if (length < 8) return false;
    body.resize(length - 8);
    return ReadAll(fd, body.data(), body.size());
  }

  // Answers the pre-login (no encryption), then reads the login record and
  // undoes the password's scrambling (each byte's halves swapped, then
  // XOR 0xA5); the password is UTF-16LE.
  static bool ReadLogin(int fd, std::string& password) {
    unsigned char type = 0;
    std::string body;
    if (!ReadPacket(fd, type, body)) return false;
    if (type == 0x12) {
      const unsigned char reply[] = {0x04, 0x01, 0x00, 0x1A, 0x00, 0x00, 0x01, 0x00,  // header, 26 bytes
                                     0x00, 0x00, 0x0B, 0x00, 0x06,                    // version at 11, 6 bytes
                                     0x01, 0x00, 0x11, 0x00, 0x01,                    // encryption at 17, 1 byte
                                     0xFF, 0x0F, 0x00, 0x07, 0xD0, 0x00, 0x00, 0x02};
      if (write(fd, reply, sizeof reply) != static_cast<ssize_t>(sizeof reply)) return false;
      if (!ReadPacket(fd, type, body)) return false;
    }
    if (type != 0x10 || body.size() < 48) return false;
    auto u16 = [&](size_t at) {
      return static_cast<size_t>(static_cast<unsigned char>(body[at]) | (static_cast<unsigned char>(body[at + 1]) << 8));
    };
    const size_t offset = u16(44), chars = u16(46);
    if (offset + 2 * chars > body.size()) return false;
    std::u16string units;
    for (size_t i = 0; i < chars; ++i) {
      unsigned char b[2];
      for (int k = 0; k < 2; ++k) {
        unsigned char x = static_cast<unsigned char>(body[offset + 2 * i + static_cast<size_t>(k)]) ^ 0xA5;
        b[k] = static_cast<unsigned char>((x << 4) | (x >> 4));
      }
      units += static_cast<char16_t>(b[0] | (b[1] << 8));
    }
    password = QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size())).toStdString();
    return true;
  }
};

}  // namespace Hostile
