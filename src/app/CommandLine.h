#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

// zentrova-media [FILES…] | --convert FILES… | --version | --help | convert …
struct CommandLine
{
    enum class Action { open, convert, version, help, convertCommand, invalid };

    Action action = Action::open;
    QList<QUrl> files;          // absolute; for open and convert
    QStringList commandArgs;    // everything after "convert", for the subcommand
    QString error;              // for invalid

    // `args` without the program name; relative paths resolve against `workingDir`.
    static CommandLine parse(const QStringList &args, const QString &workingDir);
    static QString helpText();
};
