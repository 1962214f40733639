// One process-wide set of locale settings, initialised from the C locale and
// settable by tests and runners. Float texts and dates shown to people use it.
#pragma once
#include <string>

namespace Platform {

struct TFormatSettings {
  char DecimalSeparator = '.';
  char TimeSeparator = ':';
  char DateSeparator = '/';
  std::string ShortDateFormat = "dd/mm/yyyy";
  std::string LongTimeFormat = "hh:nn:ss";
};

// The live settings; changing a field changes every later formatting.
TFormatSettings& FormatSettings() noexcept;
// Re-reads the C locale (decimal point) into FormatSettings().
void InitFormatSettingsFromLocale();

}  // namespace Platform
