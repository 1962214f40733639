#include "platform/Clocks.h"

#include <chrono>
#include <cmath>
#include <ctime>

namespace Platform {

int64_t QueryPerformanceCounter() noexcept {
  return std::chrono::steady_clock::now().time_since_epoch().count();
}

bool QueryPerformanceFrequency(int64_t& frequency) noexcept {
  using P = std::chrono::steady_clock::period;
  frequency = P::den / P::num;
  return frequency > 0;
}

uint32_t GetTickCount() noexcept {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<uint32_t>(ms.count());
}

namespace {
// Days from 1970-01-01 to 1899-12-30.
constexpr double kUnixEpochDays = 25569.0;

int64_t DaysFromCivil(int y, unsigned m, unsigned d) noexcept {
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return static_cast<int64_t>(era) * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) noexcept {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2));
}
}  // namespace

TDateTime Now() noexcept {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  time_t secs = ts.tv_sec;
  struct tm lt{};
  localtime_r(&secs, &lt);
  return EncodeDateTime(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday, lt.tm_hour, lt.tm_min, lt.tm_sec,
                        static_cast<int>(ts.tv_nsec / 1000000));
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms) noexcept {
  double days = static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day))) +
                kUnixEpochDays;
  double frac = (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + ms) / 86400000.0;
  return days + frac;
}

TDecodedTime DecodeDateTime(TDateTime value) noexcept {
  TDecodedTime r{};
  // Work in whole milliseconds so rounding never yields 60 seconds.
  double msTotal = std::floor(value * 86400000.0 + 0.5);
  int64_t days = static_cast<int64_t>(std::floor(msTotal / 86400000.0));
  int64_t msOfDay = static_cast<int64_t>(msTotal - static_cast<double>(days) * 86400000.0);
  CivilFromDays(days - static_cast<int64_t>(kUnixEpochDays), r.Year, r.Month, r.Day);
  r.Hour = static_cast<int>(msOfDay / 3600000);
  r.Minute = static_cast<int>(msOfDay / 60000 % 60);
  r.Second = static_cast<int>(msOfDay / 1000 % 60);
  r.MilliSecond = static_cast<int>(msOfDay % 1000);
  return r;
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& ms) noexcept {
  TDecodedTime d = DecodeDateTime(value);
  hour = d.Hour;
  minute = d.Minute;
  second = d.Second;
  ms = d.MilliSecond;
}

}  // namespace Platform
