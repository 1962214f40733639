// The clocks the framework needs: a high-resolution counter with its
// frequency, a 32-bit millisecond tick counter that wraps, and the wall clock
// as a date-time (days and fraction since 1899-12-30, local time).
#pragma once
#include <cstdint>
#include <string>

namespace Platform {

using TDateTime = double;

int64_t QueryPerformanceCounter() noexcept;
// Ticks per second; false only where no counter exists (never on Linux).
bool QueryPerformanceFrequency(int64_t& frequency) noexcept;
uint32_t GetTickCount() noexcept;

TDateTime Now() noexcept;
struct TDecodedTime {
  int Year, Month, Day, Hour, Minute, Second, MilliSecond;
};
TDecodedTime DecodeDateTime(TDateTime value) noexcept;
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms) noexcept;
// Hours of the day, minutes, seconds, milliseconds of a time value.
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& ms) noexcept;

}  // namespace Platform
