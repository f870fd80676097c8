#pragma once

#include <QString>
#include <QUrl>

// Where the privacy notice, terms, acknowledgements and support live: the pages
// shipped in the resources' "Legal" folder, or the maker's site when one is missing.
namespace Legal {

inline constexpr auto siteRoot = "https://zentrova.com/";
inline constexpr auto supportEmail = "support@zentrova.com";

QUrl privacy();
QUrl terms();
QUrl openSource();
QUrl support();  // "mailto:" + supportEmail

// The page N: <resources>/Legal/N.html when that file exists, else siteRoot + N + ".html".
QUrl page(const QString &name, const QString &resources);

} // namespace Legal
