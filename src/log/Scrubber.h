#pragma once

#include <QList>
#include <QPair>
#include <QRegularExpression>
#include <QString>

// Removes personal data from a log message: the literal replacements (home folder,
// user names, computer name) longest first, then the address and number patterns.
class Scrubber
{
public:
    struct Identity {
        QString home;
        QString fullName;
        QString userName;
        QString computerName;
    };

    explicit Scrubber(const Identity &identity);

    // The identity of the user running this process.
    static Identity current();

    QString scrub(QString message) const;

    const QList<QPair<QString, QString>> &replacements() const { return m_replacements; }

private:
    QList<QPair<QString, QString>> m_replacements;
    QList<QPair<QRegularExpression, QString>> m_patterns;
};
