#include "platform/Paths.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

namespace Platform {

std::string ProgramPath() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  return std::string(buf, static_cast<size_t>(n));
}

std::string ProgramDir() { return ExtractFilePath(ProgramPath()); }

std::string ModulePathOf(const void* addr) {
  Dl_info info{};
  if (dladdr(addr, &info) == 0 || !info.dli_fname || !info.dli_fname[0]) return ProgramPath();
  std::string p = info.dli_fname;
  // The main program is sometimes reported by its argv[0]; resolve it.
  if (p.find('/') == std::string::npos || p == ProgramPath()) return ProgramPath();
  char real[4096];
  if (realpath(p.c_str(), real)) return real;
  return p;
}

std::string ExtractFileName(const std::string& path) {
  size_t p = path.find_last_of('/');
  return p == std::string::npos ? path : path.substr(p + 1);
}

std::string ExtractFilePath(const std::string& path) {
  size_t p = path.find_last_of('/');
  return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

std::string OSDescription() {
  std::string name;
  std::ifstream f("/etc/os-release");
  std::string line;
  while (std::getline(f, line)) {
    if (line.rfind("PRETTY_NAME=", 0) == 0) {
      name = line.substr(12);
      if (name.size() >= 2 && (name.front() == '"' || name.front() == '\'')) name = name.substr(1, name.size() - 2);
      break;
    }
  }
  utsname u{};
  std::string kernel;
  if (uname(&u) == 0) kernel = std::string(u.sysname) + " " + u.release + " " + u.machine;
  if (name.empty()) return kernel;
  if (kernel.empty()) return name;
  return name + " (" + kernel + ")";
}

bool ForceDirectories(const std::string& dir) {
  if (dir.empty()) return true;
  std::string d = dir;
  while (d.size() > 1 && d.back() == '/') d.pop_back();
  struct stat st{};
  if (stat(d.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  size_t p = d.find_last_of('/');
  if (p != std::string::npos && p > 0 && !ForceDirectories(d.substr(0, p))) return false;
  return mkdir(d.c_str(), 0777) == 0 || errno == EEXIST;
}

}  // namespace Platform
