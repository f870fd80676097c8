#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class QDateTime;

// The application's one logger: every message is scrubbed of personal data, then
// mirrored to syslog and appended to the log file on the "moxtrel.log" thread.
namespace Log {

enum class Level { debug, info, warning, error };
enum class Area { app, player, library, converter, network, updates };

QString levelName(Level level);  // "DEBUG", "INFO", "WARN", "ERROR"
QString areaName(Area area);     // the lower-case case name
std::optional<Level> levelFromName(const QString &name);
std::optional<Area> areaFromName(const QString &name);
const std::vector<Area> &allAreas();

void debug(Area area, const QString &message);
void info(Area area, const QString &message);
void warning(Area area, const QString &message);
void error(Area area, const QString &message);

// Writes `value` only when it differs from the last value written under `key`.
void changed(Area area, const QString &key, const QString &value, Level level = Level::info);

// A loggable fingerprint of a sensitive value: "‹N chars #abcd›" or "‹empty›".
QString secret(const std::optional<QString> &value);

// The redaction applied to every message.
QString scrub(const QString &message);

// The last n non-empty lines of the previous and current files, oldest first,
// after every line submitted before the call has been written.
QStringList tail(int n);

QString folder();
QString file();

// The file line of one message (without scrubbing), e.g.
// "2026-01-02 03:04:05.678 INFO  [app] text\n".
QString formatLine(const QDateTime &when, Level level, Area area, const QString &scrubbed);

} // namespace Log
