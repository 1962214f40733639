#include "platform/qt/DBClientConnect.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "platform/qt/DBClient.h"
#include "platform/qt/FileAccess.h"
#include "platform/qt/QtText.h"

namespace DBClient::Detail {

namespace {

bool SameKey(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

[[noreturn]] void Malformed(const std::string& why) {
  throw EDatabaseError("The ODBC connection string cannot be read: " + why);
}

std::string After(const TOdbcAttributes& seen) {
  return seen.empty() ? std::string("at its start") : "after " + seen.back().first;
}

bool NeedsBraces(const std::string& v) {
  if (v.empty()) return false;
  return v.find_first_of("[]{}(),;?*=!@") != std::string::npos || std::isspace(static_cast<unsigned char>(v.front())) ||
         std::isspace(static_cast<unsigned char>(v.back()));
}

std::string Doubled(const std::string& v) {
  std::string out = "{";
  for (char c : v) {
    out += c;
    if (c == '}') out += '}';
  }
  return out + "}";
}

}  // namespace

TOdbcAttributes ParseOdbc(std::string_view text) {
  TOdbcAttributes out;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    if (text[i] == ';' || std::isspace(static_cast<unsigned char>(text[i]))) {
      ++i;
      continue;
    }
    const size_t eq = text.find('=', i), semi = text.find(';', i);
    // A piece without "=" may be the tail of a value cut at a ";": it is
    // named by the attribute before it, never shown.
    if (eq == std::string_view::npos || semi < eq) Malformed("an attribute " + After(out) + " has no \"=\"");
    std::string key(Trim(text.substr(i, eq - i)));
    i = eq + 1;
    std::string value;
    if (i < n && text[i] == '{') {
      bool closed = false;
      for (++i; i < n; ++i) {
        if (text[i] != '}') {
          value += text[i];
        } else if (i + 1 < n && text[i + 1] == '}') {
          value += '}';
          ++i;
        } else {
          closed = true;
          ++i;
          break;
        }
      }
      if (!closed) Malformed("the braced value of " + key + " is not closed");
      while (i < n && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
      if (i < n && text[i] != ';') Malformed("the value of " + key + " goes on after its closing brace");
    } else {
      const size_t end = semi == std::string_view::npos ? n : semi;
      value = text.substr(i, end - i);
      i = end;
    }
    out.emplace_back(std::move(key), std::move(value));
  }
  return out;
}

bool IsFreeTds(const TOdbcAttributes& attributes) {
  for (const auto& [key, value] : attributes)
    if (SameKey(key, "DRIVER")) {
      QString v = QtText::ToQ(value);
      return v.contains(QStringLiteral("tdsodbc"), Qt::CaseInsensitive) ||
             v.compare(QStringLiteral("FreeTDS"), Qt::CaseInsensitive) == 0;
    }
  return false;
}

std::string JoinOdbc(const TOdbcAttributes& attributes, bool freeTds) {
  std::string out;
  for (const auto& [key, value] : attributes) {
    out += key + "=";
    if (!NeedsBraces(value)) {
      out += value;
    } else if (!freeTds) {
      out += Doubled(value);
    } else {
      if (value.find("};") != std::string::npos)
        throw EDatabaseError("The value of " + key +
                             " holds \"};\", which the FreeTDS ODBC driver cannot be given in any form");
      out += "{" + value + "}";
    }
    // Ended even when last: FreeTDS keeps the closing brace of a braced
    // value at the very end of the string.
    out += ";";
  }
  return out;
}

std::vector<std::string> OdbcForms(const std::string& value) {
  std::vector<std::string> forms{Doubled(value)};
  if (forms[0] != "{" + value + "}") forms.push_back("{" + value + "}");
  forms.push_back(value);
  return forms;
}

// ---------------------------------------------------------------------------
// Firebird

namespace {

void Put32(std::string& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}

// An XDR opaque: length, bytes, padding to four.
void PutBytes(std::string& out, const std::string& bytes) {
  Put32(out, static_cast<uint32_t>(bytes.size()));
  out += bytes;
  out.append((4 - bytes.size() % 4) % 4, '\0');
}

void PutTag(std::string& out, char tag, const std::string& value) {
  out += tag;
  out += static_cast<char>(std::min<size_t>(value.size(), 255));
  out += value.substr(0, 255);
}

// What the client itself sends first: the connect request with the
// protocols it speaks (10 to 15) and who asks. A server answers it with an
// accept or a reject; either is an answer.
std::string ConnectRequest(const std::string& database, const std::string& user) {
  enum : uint32_t { op_connect = 1, op_attach = 19, connect_version3 = 3, arch_generic = 1 };
  std::string id;
  PutTag(id, 9, user.empty() ? std::string("SYSDBA") : user);  // login
  PutTag(id, 8, "Srp");                                          // plugin name
  PutTag(id, 10, "Srp, Srp256, Legacy_Auth");                    // plugin list
  const char* os = std::getenv("USER");
  PutTag(id, 1, os && *os ? os : "tessel");  // operating-system user
  char host[256] = "localhost";
  gethostname(host, sizeof host - 1);
  PutTag(id, 4, host);
  PutTag(id, 6, "");  // user verification
  std::string out;
  Put32(out, op_connect);
  Put32(out, op_attach);
  Put32(out, connect_version3);
  Put32(out, arch_generic);
  PutBytes(out, database);
  const uint32_t protocols[][2] = {{10, 2}, {0xFFFF800B, 4}, {0xFFFF800C, 6}, {0xFFFF800D, 8}, {0xFFFF800E, 10}, {0xFFFF800F, 12}};
  Put32(out, static_cast<uint32_t>(std::size(protocols)));
  PutBytes(out, id);
  for (const auto& [version, weight] : protocols) {
    Put32(out, version);
    Put32(out, arch_generic);
    Put32(out, 0);  // lowest packet type
    Put32(out, 5);  // highest: lazy send
    Put32(out, weight);
  }
  return out;
}

}  // namespace

std::string ProbeFirebird(const std::string& host, int port, const std::string& database, const std::string& user,
                          int seconds) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(seconds);
  auto left = [&] {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::max<long long>(ms, 0));
  };
  const std::string service = std::to_string(port), server = host + ":" + service;
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0)
    return "the host " + host + " is unknown (" + gai_strerror(rc) + ")";
  std::string why = "no address of " + host + " takes connections";
  int fd = -1;
  for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
    int s = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (s < 0) continue;
    int rc = connect(s, a->ai_addr, a->ai_addrlen), err = rc == 0 ? 0 : errno;
    if (err == EINPROGRESS) {
      pollfd p{s, POLLOUT, 0};
      if (poll(&p, 1, left()) == 0) {
        err = ETIMEDOUT;
      } else {
        socklen_t len = sizeof err;
        getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len);
      }
    }
    if (err == 0) {
      fd = s;
    } else {
      why = err == ETIMEDOUT ? "the server " + server + " does not answer within " + std::to_string(seconds) + " s"
                             : "the server " + server + " refuses the connection (" + std::strerror(err) + ")";
      close(s);
    }
  }
  freeaddrinfo(found);
  if (fd < 0) return why;

  const std::string request = ConnectRequest(database, user);
  size_t sent = 0;
  while (sent < request.size()) {
    ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    pollfd p{fd, POLLOUT, 0};
    if (n < 0 && errno == EAGAIN && poll(&p, 1, left()) > 0) continue;
    break;  // the server went away: the client will say so itself
  }
  pollfd p{fd, POLLIN, 0};
  int ready;
  while ((ready = poll(&p, 1, left())) < 0 && errno == EINTR) {
  }
  close(fd);
  if (ready == 0)
    return "the server " + server + " takes the connection but does not answer within " + std::to_string(seconds) +
           " s";
  return {};
}

void EnsurePrivateFirebirdLock() {
  if (std::getenv("FIREBIRD_LOCK")) return;
  const std::string wanted =
      QtText::FromQ(QDir::tempPath()) + "/tessel-firebird-" + std::to_string(static_cast<unsigned long>(getuid()));
  std::string folder;
  try {
    folder = FileAccess::PrivateFolder(wanted);
  } catch (const FileAccess::EFileError& e) {
    throw EDatabaseError(std::string("No lock folder for the embedded Firebird engine: ") + e.what());
  }
  setenv("FIREBIRD_LOCK", folder.c_str(), 0);
}

}  // namespace DBClient::Detail
