#include "platform/Format.h"

#include <charconv>
#include <cinttypes>
#include <cstdio>

namespace Platform {

namespace {

void AppendPrintf(std::string& out, const std::string& spec, const TFormatArg& a, char conv) {
  char buf[512];
  int n = 0;
  switch (conv) {
    case 'd':
    case 'i': {
      int64_t v = a.Kind == TFormatArg::fkInt ? a.I
                  : a.Kind == TFormatArg::fkUInt ? static_cast<int64_t>(a.U)
                  : a.Kind == TFormatArg::fkFloat ? static_cast<int64_t>(a.F)
                                                  : 0;
      n = std::snprintf(buf, sizeof buf, (spec + PRId64).c_str(), v);
      break;
    }
    case 'u':
    case 'x':
    case 'X': {
      uint64_t v = a.Kind == TFormatArg::fkUInt ? a.U
                   : a.Kind == TFormatArg::fkInt ? static_cast<uint64_t>(a.I)
                   : a.Kind == TFormatArg::fkFloat ? static_cast<uint64_t>(a.F)
                                                   : 0;
      const char* len = conv == 'u' ? PRIu64 : conv == 'x' ? PRIx64 : PRIX64;
      n = std::snprintf(buf, sizeof buf, (spec + len).c_str(), v);
      break;
    }
    case 'f':
    case 'e':
    case 'E':
    case 'g':
    case 'G': {
      double v = a.Kind == TFormatArg::fkFloat ? a.F
                 : a.Kind == TFormatArg::fkInt ? static_cast<double>(a.I)
                 : a.Kind == TFormatArg::fkUInt ? static_cast<double>(a.U)
                                                : 0.0;
      n = std::snprintf(buf, sizeof buf, (spec + conv).c_str(), v);
      break;
    }
    default: {  // 's' and anything unknown: text, honouring width and precision
      std::string text;
      if (a.Kind == TFormatArg::fkText)
        text.assign(a.S);
      else if (a.Kind == TFormatArg::fkInt)
        text = std::to_string(a.I);
      else if (a.Kind == TFormatArg::fkUInt)
        text = std::to_string(a.U);
      else
        text = std::to_string(a.F);
      if (spec.size() == 1) {  // plain %s: no length limit
        out += text;
        return;
      }
      std::string s = spec + 's';
      int len = std::snprintf(nullptr, 0, s.c_str(), text.c_str());
      if (len <= 0) return;
      std::string tmp(static_cast<size_t>(len) + 1, '\0');
      std::snprintf(tmp.data(), tmp.size(), s.c_str(), text.c_str());
      tmp.resize(static_cast<size_t>(len));
      out += tmp;
      return;
    }
  }
  if (n > 0) out.append(buf, static_cast<size_t>(n) < sizeof buf ? static_cast<size_t>(n) : sizeof buf - 1);
}

}  // namespace

std::string FormatList(std::string_view fmt, std::initializer_list<TFormatArg> args) {
  std::string out;
  out.reserve(fmt.size() + 16 * args.size());
  const TFormatArg* next = args.begin();
  static const TFormatArg kNone(std::string_view{});
  size_t i = 0;
  while (i < fmt.size()) {
    char c = fmt[i];
    if (c != '%') {
      size_t j = fmt.find('%', i);
      if (j == std::string_view::npos) j = fmt.size();
      out.append(fmt.substr(i, j - i));
      i = j;
      continue;
    }
    if (i + 1 < fmt.size() && fmt[i + 1] == '%') {
      out += '%';
      i += 2;
      continue;
    }
    // %[flags][width][.precision]conv
    size_t j = i + 1;
    while (j < fmt.size() && std::string_view("-+ #0").find(fmt[j]) != std::string_view::npos) ++j;
    const size_t widthStart = j;
    while (j < fmt.size() && fmt[j] >= '0' && fmt[j] <= '9') ++j;
    const size_t widthEnd = j;
    if (j < fmt.size() && fmt[j] == '.') {
      ++j;
      while (j < fmt.size() && fmt[j] >= '0' && fmt[j] <= '9') ++j;
    }
    if (j >= fmt.size()) {  // dangling '%': keep it as it stands
      out.append(fmt.substr(i));
      break;
    }
    const TFormatArg& a = next != args.end() ? *next++ : kNone;
    const char conv = fmt[j];
    // A width and nothing else (no flags, no precision).
    const bool widthOnly = widthStart == i + 1 && widthEnd > widthStart && widthEnd == j && j - widthStart <= 3;
    if (j == i + 1 || widthOnly) {
      // Plain %s and %d (or %d with a width alone), by far the most common:
      // appended directly, without a copy of the text or a round through
      // snprintf.
      size_t width = 0;
      for (size_t k = widthStart; widthOnly && k < j; ++k) width = width * 10 + static_cast<size_t>(fmt[k] - '0');
      if (conv == 's' && a.Kind == TFormatArg::fkText && !widthOnly) {
        out.append(a.S);
        i = j + 1;
        continue;
      }
      if ((conv == 'd' || conv == 'i') && (a.Kind == TFormatArg::fkInt || a.Kind == TFormatArg::fkUInt)) {
        char buf[24];
        auto r = std::to_chars(buf, buf + sizeof buf, a.Kind == TFormatArg::fkInt ? a.I : static_cast<int64_t>(a.U));
        const size_t len = static_cast<size_t>(r.ptr - buf);
        if (len < width) out.append(width - len, ' ');
        out.append(buf, len);
        i = j + 1;
        continue;
      }
    }
    std::string spec(fmt.substr(i, j - i));
    AppendPrintf(out, spec, a, conv);
    i = j + 1;
  }
  return out;
}

}  // namespace Platform
