#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// One headless LibreOffice conversion with a throw-away profile, so several can run
// at once and none touches the user's own LibreOffice settings or running instance.
// Blocks until LibreOffice exits; safe on any thread.
namespace LibreOffice {

struct Outcome
{
    std::optional<QByteArray> data;  // the converted file's bytes
    bool unreadable = false;         // LibreOffice could not load the input
    QString error;                   // why there is no data
};

// `ext` is the output extension: "pdf", "docx", "doc", "odt", "rtf", "html" or "txt".
// `htmlInput` opens the input as a text document rather than a web page.
Outcome convert(const QString &input, const QString &ext, bool htmlInput = false);

} // namespace LibreOffice
