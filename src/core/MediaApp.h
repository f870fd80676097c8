#pragma once

#include <QString>

// The application's identity and where its bundled resources live.
namespace MediaApp {

// The suite application's identifier; the stand-alone build shares its preferences.
inline constexpr auto moxtrelID = "com.zentrova.moxtrel.studio";

// The desktop entry and the stand-alone application's own identifier.
inline constexpr auto appID = "com.zentrova.media";

// True when this process runs as the suite (ZENTROVA_MEDIA_APP_ID equals moxtrelID).
bool isMoxtrel();

// "Zentrova Media" stand-alone, "Moxtrel" in the suite.
QString name();

// The version text, e.g. "1.0.0".
QString version();

// The resources folder: $ZENTROVA_MEDIA_RESOURCES, the build tree's resources/
// beside the executable, or <prefix>/share/zentrova-media.
QString resources();

} // namespace MediaApp
