#include "converter/LibreOffice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <csignal>

#include <unistd.h>

namespace LibreOffice {

namespace {

// Named export filters: with HTML input LibreOffice would otherwise pick the web
// document's filters, which cannot write most of these formats.
QString filterFor(const QString &ext)
{
    static const QHash<QString, QString> filters{
        {QStringLiteral("pdf"), QStringLiteral("pdf:writer_pdf_Export")},
        {QStringLiteral("docx"), QStringLiteral("docx:MS Word 2007 XML")},
        {QStringLiteral("doc"), QStringLiteral("doc:MS Word 97")},
        {QStringLiteral("odt"), QStringLiteral("odt:writer8")},
        {QStringLiteral("rtf"), QStringLiteral("rtf:Rich Text Format")},
        {QStringLiteral("html"), QStringLiteral("html:HTML (StarWriter)")},
        {QStringLiteral("txt"), QStringLiteral("txt:Text (encoded):UTF8")},
    };
    return filters.value(ext);
}

constexpr int kTimeoutMs = 5 * 60 * 1000;

} // namespace

Outcome convert(const QString &input, const QString &ext, bool htmlInput)
{
    Outcome outcome;
    const QString filter = filterFor(ext);
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (filter.isEmpty() || soffice.isEmpty()) {
        outcome.error = QStringLiteral("Documents are converted with LibreOffice, which isn't installed.");
        return outcome;
    }
    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/zentrova-office-XXXXXX"));
    if (!work.isValid()) {
        outcome.error = work.errorString();
        return outcome;
    }
    const QString outDir = work.filePath(QStringLiteral("out"));
    QStringList args{
        QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(work.filePath(QStringLiteral("profile"))).toString(),
        QStringLiteral("--headless"), QStringLiteral("--invisible"), QStringLiteral("--nologo"),
        QStringLiteral("--norestore"), QStringLiteral("--nolockcheck"), QStringLiteral("--nodefault"),
    };
    if (htmlInput)
        args << QStringLiteral("--infilter=HTML (StarWriter)");
    args << QStringLiteral("--convert-to") << filter << QStringLiteral("--outdir") << outDir
         << QFileInfo(input).absoluteFilePath();

    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    // Its own process group: "soffice" is a launcher whose office process would
    // outlive a kill aimed at the launcher alone.
    process.setChildProcessModifier([] { ::setsid(); });
    process.start(soffice, args);
    if (!process.waitForStarted()) {
        outcome.error = process.errorString();
        return outcome;
    }
    if (!process.waitForFinished(kTimeoutMs)) {
        ::kill(-pid_t(process.processId()), SIGKILL);
        process.waitForFinished();
        outcome.error = QStringLiteral("LibreOffice took too long to convert this document and was stopped.");
        return outcome;
    }
    // LibreOffice exits with 0 even when it could not load the input: the only
    // sure sign of success is the converted file.
    const QStringList made = QDir(outDir).entryList(QDir::Files);
    if (made.isEmpty()) {
        outcome.unreadable = true;
        return outcome;
    }
    QFile file(QDir(outDir).filePath(made.first()));
    if (!file.open(QIODevice::ReadOnly)) {
        outcome.error = file.errorString();
        return outcome;
    }
    outcome.data = file.readAll();
    return outcome;
}

} // namespace LibreOffice
