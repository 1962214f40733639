#include "platform/LocaleSettings.h"

#include <clocale>

namespace Platform {

namespace {
TFormatSettings MakeDefault() {
  TFormatSettings s;
  if (const lconv* lc = std::localeconv(); lc && lc->decimal_point && lc->decimal_point[0])
    s.DecimalSeparator = lc->decimal_point[0];
  return s;
}
}  // namespace

TFormatSettings& FormatSettings() noexcept {
  static TFormatSettings settings = MakeDefault();
  return settings;
}

void InitFormatSettingsFromLocale() { FormatSettings() = MakeDefault(); }

}  // namespace Platform
