#include "core/WindowsSettings.h"

#include "core/Preferences.h"

#include <QHash>

namespace {

const QHash<QString, QJsonValue> &builtIns()
{
    static const QHash<QString, QJsonValue> values{
        {QStringLiteral("player.endAction"), QStringLiteral("next")},
        {QStringLiteral("player.longSkip"), 10},
        {QStringLiteral("player.resume"), true},
        {QStringLiteral("player.slideSeconds"), 4},
    };
    return values;
}

// Whether a stored value has the type a view asked for; numbers of any C++ type match.
bool sameType(const QJsonValue &value, const QVariant &fallback)
{
    switch (fallback.typeId()) {
    case QMetaType::Bool: return value.isBool();
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Float:
    case QMetaType::Double: return value.isDouble();
    case QMetaType::QString: return value.isString();
    case QMetaType::QVariantList:
    case QMetaType::QStringList: return value.isArray();
    case QMetaType::QVariantMap: return value.isObject();
    default: return false;
    }
}

} // namespace

WindowsSettings::WindowsSettings(Preferences &defaults, QObject *parent)
    : QObject(parent)
    , m_defaults(defaults)
{
    // Another process's write, picked up by a reload, redraws the views too.
    connect(&m_defaults, &Preferences::changed, this, [this](const QString &key) {
        if (!m_writing && key.startsWith(QLatin1String("wx.")))
            bump();
    });
}

WindowsSettings &WindowsSettings::shared()
{
    static WindowsSettings instance(Preferences::media());
    return instance;
}

QString WindowsSettings::storedKey(const QString &name)
{
    return QStringLiteral("wx.") + name;
}

QJsonValue WindowsSettings::builtInDefault(const QString &name)
{
    return builtIns().value(name, QJsonValue(QJsonValue::Undefined));
}

QJsonValue WindowsSettings::value(const QString &name) const
{
    const QJsonValue stored = m_defaults.value(storedKey(name));
    return stored.isUndefined() ? builtInDefault(name) : stored;
}

bool WindowsSettings::boolean(const QString &name) const
{
    const QJsonValue v = value(name);
    return v.isBool() && v.toBool();
}

double WindowsSettings::number(const QString &name) const
{
    const QJsonValue v = value(name);
    return v.isDouble() ? v.toDouble() : 0.0;
}

QString WindowsSettings::string(const QString &name) const
{
    const QJsonValue v = value(name);
    return v.isString() ? v.toString() : QString();
}

void WindowsSettings::set(const QString &name, const QJsonValue &value)
{
    m_writing = true;
    m_defaults.set(storedKey(name), value);
    m_writing = false;
    bump();
}

void WindowsSettings::bump()
{
    ++m_revision;
    emit revisionChanged();
}

WindowsSettingBinding::WindowsSettingBinding(QObject *parent)
    : QObject(parent)
{
}

WindowsSettingBinding::WindowsSettingBinding(WindowsSettings *settings, const QString &name,
                                             const QVariant &fallback, QObject *parent)
    : QObject(parent)
    , m_name(name)
    , m_fallback(fallback)
{
    setSettings(settings);
}

void WindowsSettingBinding::setSettings(WindowsSettings *settings)
{
    if (m_settings == settings)
        return;
    disconnect(m_watch);
    m_settings = settings;
    if (m_settings)
        m_watch = connect(m_settings, &WindowsSettings::revisionChanged, this, &WindowsSettingBinding::refresh);
    emit settingsChanged();
    refresh();
}

void WindowsSettingBinding::setName(const QString &name)
{
    if (m_name == name)
        return;
    m_name = name;
    emit nameChanged();
    refresh();
}

void WindowsSettingBinding::setFallback(const QVariant &fallback)
{
    if (m_fallback == fallback)
        return;
    m_fallback = fallback;
    emit fallbackChanged();
    refresh();
}

void WindowsSettingBinding::setValue(const QVariant &value)
{
    if (!m_settings || m_name.isEmpty())
        return;
    m_settings->set(m_name, QJsonValue::fromVariant(value));
}

QVariant WindowsSettingBinding::resolve() const
{
    if (!m_settings || m_name.isEmpty())
        return m_fallback;
    const QJsonValue stored = m_settings->value(m_name);
    if (!sameType(stored, m_fallback))
        return m_fallback;
    return stored.toVariant();
}

void WindowsSettingBinding::refresh()
{
    const QVariant fresh = resolve();
    if (fresh == m_value)
        return;
    m_value = fresh;
    emit valueChanged();
}
