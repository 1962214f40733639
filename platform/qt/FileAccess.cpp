#include "platform/qt/FileAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace FileAccess {

namespace {

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISLNK(mode)) return "a symbolic link";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  return "not a regular file";
}

[[noreturn]] void Refuse(const std::string& path, const std::string& why) { throw EFileError(Quoted(path) + " " + why); }

[[noreturn]] void RefuseErrno(const std::string& path, const char* what, int err) {
  Refuse(path, std::string(what) + ": " + std::strerror(err));
}

// Why a file found at a name in a shared folder must not be written into.
std::string RefusalOf(const struct stat& st) {
  if (!S_ISREG(st.st_mode)) return std::string("is ") + KindOf(st.st_mode) + ", not a regular file";
  if (st.st_uid != geteuid()) return "belongs to another user";
  if (st.st_nlink > 1) return "has other names (hard links)";
  return {};
}

void WriteAll(int fd, std::string_view bytes, const std::string& path) {
  for (size_t done = 0; done < bytes.size();) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int err = errno;
      ::close(fd);
      RefuseErrno(path, "cannot be written", err);
    }
    done += static_cast<size_t>(n);
  }
}

std::string DirOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "" when p is (now) a folder only this user can enter, else why not.
std::string MakePrivate(const std::string& p) {
  if (::mkdir(p.c_str(), 0700) == 0) return {};
  if (errno != EEXIST) return std::strerror(errno);
  struct stat st{};
  if (::lstat(p.c_str(), &st) != 0) return std::strerror(errno);
  if (!S_ISDIR(st.st_mode)) return std::string("is ") + KindOf(st.st_mode);
  if (st.st_uid != geteuid()) return "belongs to another user";
  // Once others could write in it, what it holds cannot be trusted.
  if (st.st_mode & (S_IWGRP | S_IWOTH)) return "other users can write to it";
  if ((st.st_mode & 077) && ::chmod(p.c_str(), 0700) != 0) return std::strerror(errno);
  return {};
}

void MakeParents(const std::string& dir) {
  for (size_t at = 1; (at = dir.find('/', at)) != std::string::npos; ++at) ::mkdir(dir.substr(0, at).c_str(), 0700);
}

}  // namespace

int OpenForReading(const std::string& path) {
  // Non-blocking: opening a FIFO would otherwise wait for a writer for good.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return -1;
    RefuseErrno(path, "cannot be read", errno);
  }
  struct stat st{};
  if (::fstat(fd, &st) != 0) {
    int err = errno;
    ::close(fd);
    RefuseErrno(path, "cannot be read", err);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    Refuse(path, std::string("is ") + KindOf(st.st_mode) + ", not a regular file");
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

TContent ReadFile(const std::string& path) {
  TContent c;
  int fd = OpenForReading(path);
  if (fd < 0) return c;
  c.Exists = true;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
      c.Bytes.append(buf, static_cast<size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      int err = errno;
      ::close(fd);
      RefuseErrno(path, "cannot be read", err);
    }
  }
  ::close(fd);
  return c;
}

bool IsSharedFolder(const std::string& dir) {
  struct stat st{};
  if (::stat(dir.c_str(), &st) != 0) return true;
  return st.st_uid != geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH));
}

std::string WriteNewFile(const std::string& path, std::string_view bytes) {
  const std::string dir = DirOf(path), base = BaseOf(path);
  size_t dot = base.find_last_of('.');
  if (dot == 0 || dot == std::string::npos) dot = base.size();
  const std::string stem = path.substr(0, path.size() - (base.size() - dot)), ext = base.substr(dot);
  const mode_t mode = IsSharedFolder(dir) ? 0600 : 0666;
  for (int n = 1; n <= 1000; ++n) {
    const std::string name = n == 1 ? path : stem + " (" + std::to_string(n) + ")" + ext;
    int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      RefuseErrno(name, "cannot be created", errno);
    }
    try {
      WriteAll(fd, bytes, name);
    } catch (...) {
      ::unlink(name.c_str());
      throw;
    }
    if (::close(fd) != 0) {
      int err = errno;
      ::unlink(name.c_str());
      RefuseErrno(name, "cannot be written", err);
    }
    return name;
  }
  Refuse(path, "and a thousand names beside it are taken");
}

void WriteSharedFile(const std::string& path, std::string_view bytes, bool append) {
  struct stat st{};
  const bool exists = ::lstat(path.c_str(), &st) == 0;
  if (append) {
    if (exists && !S_ISLNK(st.st_mode))
      if (std::string why = RefusalOf(st); !why.empty()) Refuse(path, why);
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0) {
      if (errno == ELOOP) Refuse(path, "is a symbolic link, which is not followed here");
      RefuseErrno(path, "cannot be written", errno);
    }
    // Checked again on what was opened: the name may have changed hands.
    if (::fstat(fd, &st) != 0 || !RefusalOf(st).empty()) {
      ::close(fd);
      Refuse(path, RefusalOf(st).empty() ? "cannot be checked" : RefusalOf(st));
    }
    WriteAll(fd, bytes, path);
    if (::close(fd) != 0) RefuseErrno(path, "cannot be written", errno);
    return;
  }
  // A link in the way is replaced by the rename, never followed, and so is a
  // file of this user's with other names (its inode is not written); a file
  // of someone else is theirs.
  if (exists && !S_ISLNK(st.st_mode)) {
    if (!S_ISREG(st.st_mode)) Refuse(path, std::string("is ") + KindOf(st.st_mode) + ", not a regular file");
    if (st.st_uid != geteuid()) Refuse(path, "belongs to another user");
  }
  std::string temp = DirOf(path) + "/." + BaseOf(path).substr(0, 100) + ".XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) RefuseErrno(path, "cannot be replaced (no temporary file beside it)", errno);
  try {
    WriteAll(fd, bytes, path);
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }
  if (::close(fd) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
    int err = errno;
    ::unlink(temp.c_str());
    RefuseErrno(path, "cannot be replaced", err);
  }
}

std::string PrivateFolder(const std::string& path) {
  const std::string why = MakePrivate(path);
  if (why.empty()) return path;
  std::string cache;
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg == '/') cache = xdg;
  else if (const char* home = std::getenv("HOME"); home && *home == '/') cache = std::string(home) + "/.cache";
  if (cache.empty()) Refuse(path, why + ", and there is no home folder for a private one");
  MakeParents(cache + "/");
  const std::string fallback = cache + "/" + BaseOf(path);
  if (std::string why2 = MakePrivate(fallback); !why2.empty())
    Refuse(path, why + "; " + Quoted(fallback) + " cannot take its place: " + why2);
  return fallback;
}

}  // namespace FileAccess
