#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QMutex>
#include <QObject>
#include <QString>

#include <optional>

// A typed key-value store in one JSON file. Two processes may share the file:
// every write re-reads it under a file lock, so neither loses the other's keys.
// Any thread may read or write; `changed` is emitted on the writing thread.
class Preferences : public QObject
{
    Q_OBJECT

public:
    explicit Preferences(const QString &filePath, QObject *parent = nullptr);

    // The store every part uses, shared by the stand-alone and suite builds.
    static Preferences &media();
    // This application's own store (the suite's store when running as the suite).
    static Preferences &standard();

    QString filePath() const { return m_path; }

    // Undefined when absent.
    QJsonValue value(const QString &key) const;
    bool contains(const QString &key) const;

    // A value of another type reads as absent.
    std::optional<bool> boolean(const QString &key) const;
    std::optional<double> number(const QString &key) const;
    std::optional<QString> string(const QString &key) const;
    std::optional<QJsonArray> array(const QString &key) const;
    std::optional<QJsonObject> object(const QString &key) const;
    std::optional<QByteArray> data(const QString &key) const;

    // An undefined or null value removes the key.
    void set(const QString &key, const QJsonValue &value);
    void setData(const QString &key, const QByteArray &bytes);
    void remove(const QString &key);

    // Picks up what another process wrote; emits `changed` for each key that differs.
    void reload();

signals:
    void changed(const QString &key);

private:
    QJsonObject readFile(bool *damaged) const;
    void adopt(const QJsonObject &fresh);
    void write(const QString &key, const QJsonValue &value);

    const QString m_path;
    mutable QMutex m_mutex;
    QJsonObject m_values;
};
