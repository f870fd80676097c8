#include "app/CommandLine.h"

#include "core/MediaApp.h"

#include <QDir>

namespace {

QUrl toUrl(const QString &arg, const QString &workingDir)
{
    // A URL with a scheme stays as it is (the delegate ignores what is not a file).
    if (arg.contains(QLatin1String("://")))
        return QUrl(arg);
    return QUrl::fromLocalFile(QDir::cleanPath(QDir(workingDir).absoluteFilePath(arg)));
}

} // namespace

CommandLine CommandLine::parse(const QStringList &args, const QString &workingDir)
{
    CommandLine line;
    if (args.value(0) == QLatin1String("convert")) {
        line.action = Action::convertCommand;
        line.commandArgs = args.mid(1);
        return line;
    }
    bool filesOnly = false;
    for (const QString &arg : args) {
        if (filesOnly || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            line.files << toUrl(arg, workingDir);
        } else if (arg == QLatin1String("--")) {
            filesOnly = true;
        } else if (arg == QLatin1String("--version") || arg == QLatin1String("-v")) {
            line.action = Action::version;
            line.files.clear();
            return line;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            line.action = Action::help;
            line.files.clear();
            return line;
        } else if (arg == QLatin1String("--convert")) {
            line.action = Action::convert;
        } else {
            line.action = Action::invalid;
            line.error = QStringLiteral("Unknown option \"%1\".").arg(arg);
            line.files.clear();
            return line;
        }
    }
    return line;
}

QString CommandLine::helpText()
{
    return QStringLiteral(
               "Usage: zentrova-media [FILES…]\n"
               "       zentrova-media --convert FILES…\n"
               "       zentrova-media convert [OPTIONS] FILES…\n"
               "\n"
               "%1 plays videos, songs and pictures, converts media and documents,\n"
               "keeps a media library and connects to network shares.\n"
               "\n"
               "  FILES…              open each media file in a player window\n"
               "  --convert FILES…    open the converter with these files\n"
               "  convert …           convert files from the command line (see \"convert --help\")\n"
               "  --version           print the version and exit\n"
               "  --help              print this help and exit\n"
               "\n"
               "When the application is already running, the files are handed to it.\n")
        .arg(MediaApp::name());
}
