#pragma once

#include <QJsonValue>
#include <QObject>
#include <QString>
#include <QVariant>

class Preferences;

// Named settings stored under "wx." + name, with built-in defaults for the player's
// options. `revision` rises on every write so that views reading settings redraw.
class WindowsSettings : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int revision READ revision NOTIFY revisionChanged)

public:
    explicit WindowsSettings(Preferences &defaults, QObject *parent = nullptr);

    static WindowsSettings &shared();

    static QString storedKey(const QString &name);        // "wx." + name
    static QJsonValue builtInDefault(const QString &name);  // undefined when there is none

    int revision() const { return m_revision; }

    // The stored value, else the built-in default, else undefined.
    Q_INVOKABLE QJsonValue value(const QString &name) const;
    // The value when it has the type asked for; false, 0 or "" otherwise.
    Q_INVOKABLE bool boolean(const QString &name) const;
    Q_INVOKABLE double number(const QString &name) const;
    Q_INVOKABLE QString string(const QString &name) const;

    // Stores the value, or removes the key for an undefined or null value; always
    // raises `revision`, even when the value does not change.
    Q_INVOKABLE void set(const QString &name, const QJsonValue &value);
    Q_INVOKABLE void remove(const QString &name) { set(name, QJsonValue::Undefined); }

signals:
    void revisionChanged();

private:
    void bump();

    Preferences &m_defaults;
    int m_revision = 0;
    bool m_writing = false;
};

// A two-way binding to one setting, for views: `value` is the setting when it has
// the fallback's type, else the fallback; assigning `value` writes the setting.
class WindowsSettingBinding : public QObject
{
    Q_OBJECT
    Q_PROPERTY(WindowsSettings *settings READ settings WRITE setSettings NOTIFY settingsChanged)
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(QVariant fallback READ fallback WRITE setFallback NOTIFY fallbackChanged)
    Q_PROPERTY(QVariant value READ value WRITE setValue NOTIFY valueChanged)

public:
    explicit WindowsSettingBinding(QObject *parent = nullptr);
    WindowsSettingBinding(WindowsSettings *settings, const QString &name, const QVariant &fallback,
                          QObject *parent = nullptr);

    WindowsSettings *settings() const { return m_settings; }
    void setSettings(WindowsSettings *settings);
    QString name() const { return m_name; }
    void setName(const QString &name);
    QVariant fallback() const { return m_fallback; }
    void setFallback(const QVariant &fallback);

    QVariant value() const { return m_value; }
    void setValue(const QVariant &value);

signals:
    void settingsChanged();
    void nameChanged();
    void fallbackChanged();
    void valueChanged();

private:
    QVariant resolve() const;
    void refresh();

    WindowsSettings *m_settings = nullptr;
    QString m_name;
    QVariant m_fallback;
    QVariant m_value;
    QMetaObject::Connection m_watch;
};
