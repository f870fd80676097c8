#include "log/Scrubber.h"

#include <QDir>
#include <QFile>
#include <QSysInfo>

#include <algorithm>
#include <pwd.h>
#include <unistd.h>

namespace {

struct Rule {
    const char *expression;
    const char *replacement;  // QRegularExpression back-references are \1, \2
};

// Another user's folder keeps its place but loses the name; ours is "~" already.
const Rule kRules[] = {
    {R"(/Users/[^/\s"']+)", "/Users/<user>"},
    {R"(/home/[^/\s"']+)", "/home/<user>"},
    {R"([A-Za-z0-9._%+-]+@[A-Za-z0-9.-]+\.[A-Za-z]{2,})", "<email>"},
    {R"((https?://)([^/\s"'?#]+)[^\s"']*)", "\\1\\2/\u2026"},
    {R"((?<![\w.:#/-])(?:\+\d{1,3}[\s-]?)?\(?\d{3}\)?[\s-]?\d{3}[\s-]?\d{4}(?![\w.:]))", "<number>"},
};

QString prettyHostName()
{
    QFile info(QStringLiteral("/etc/machine-info"));
    if (info.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : info.readAll().split('\n')) {
            if (!line.startsWith("PRETTY_HOSTNAME="))
                continue;
            QString value = QString::fromUtf8(line.mid(16)).trimmed();
            if (value.size() >= 2 && (value.startsWith(QLatin1Char('"')) || value.startsWith(QLatin1Char('\''))))
                value = value.mid(1, value.size() - 2);
            if (!value.isEmpty())
                return value;
        }
    }
    return QSysInfo::machineHostName();
}

} // namespace

Scrubber::Scrubber(const Identity &identity)
{
    // A home of "/" would turn every path into nonsense.
    if (identity.home.size() > 1)
        m_replacements.append({identity.home, QStringLiteral("~")});

    QStringList names = identity.fullName.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    names << identity.userName << identity.fullName;
    names.removeDuplicates();
    for (const QString &name : std::as_const(names))
        if (name.size() >= 3)
            m_replacements.append({name, QStringLiteral("<user>")});

    if (identity.computerName.size() >= 3)
        m_replacements.append({identity.computerName, QStringLiteral("<mac>")});

    std::stable_sort(m_replacements.begin(), m_replacements.end(),
                     [](const auto &a, const auto &b) { return a.first.size() > b.first.size(); });

    for (const Rule &rule : kRules) {
        QRegularExpression expression(QString::fromUtf8(rule.expression));
        if (expression.isValid())
            m_patterns.append({expression, QString::fromUtf8(rule.replacement)});
    }
}

Scrubber::Identity Scrubber::current()
{
    Identity identity;
    identity.home = QDir::homePath();
    if (const passwd *pw = getpwuid(getuid())) {
        identity.userName = QString::fromLocal8Bit(pw->pw_name);
        // The GECOS field: the full name comes before the first comma.
        identity.fullName = QString::fromLocal8Bit(pw->pw_gecos).section(QLatin1Char(','), 0, 0).trimmed();
    }
    identity.computerName = prettyHostName();
    return identity;
}

QString Scrubber::scrub(QString message) const
{
    for (const auto &[find, replace] : m_replacements)
        message.replace(find, replace, Qt::CaseInsensitive);
    for (const auto &[expression, replacement] : m_patterns)
        message.replace(expression, replacement);
    return message;
}
