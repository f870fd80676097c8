#include "core/Preferences.h"

#include "core/MediaApp.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

const QString dataKey = QStringLiteral("$data");

QString storePath(const QString &id)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/') + id
        + QStringLiteral("/preferences.json");
}

} // namespace

Preferences::Preferences(const QString &filePath, QObject *parent)
    : QObject(parent)
    , m_path(filePath)
{
    m_values = readFile(nullptr);
}

Preferences &Preferences::media()
{
    static Preferences store(storePath(QLatin1String(MediaApp::moxtrelID)));
    return store;
}

Preferences &Preferences::standard()
{
    if (MediaApp::isMoxtrel())
        return media();
    static Preferences store(storePath(QLatin1String(MediaApp::appID)));
    return store;
}

QJsonValue Preferences::value(const QString &key) const
{
    QMutexLocker lock(&m_mutex);
    return m_values.value(key);
}

bool Preferences::contains(const QString &key) const
{
    return !value(key).isUndefined();
}

std::optional<bool> Preferences::boolean(const QString &key) const
{
    const QJsonValue v = value(key);
    return v.isBool() ? std::optional(v.toBool()) : std::nullopt;
}

std::optional<double> Preferences::number(const QString &key) const
{
    const QJsonValue v = value(key);
    return v.isDouble() ? std::optional(v.toDouble()) : std::nullopt;
}

std::optional<QString> Preferences::string(const QString &key) const
{
    const QJsonValue v = value(key);
    return v.isString() ? std::optional(v.toString()) : std::nullopt;
}

std::optional<QJsonArray> Preferences::array(const QString &key) const
{
    const QJsonValue v = value(key);
    return v.isArray() ? std::optional(v.toArray()) : std::nullopt;
}

std::optional<QJsonObject> Preferences::object(const QString &key) const
{
    const QJsonValue v = value(key);
    if (!v.isObject() || (v.toObject().size() == 1 && v.toObject().contains(dataKey)))
        return std::nullopt;
    return v.toObject();
}

std::optional<QByteArray> Preferences::data(const QString &key) const
{
    const QJsonObject o = value(key).toObject();
    if (o.size() != 1 || !o.value(dataKey).isString())
        return std::nullopt;
    auto decoded = QByteArray::fromBase64Encoding(o.value(dataKey).toString().toLatin1(),
                                                  QByteArray::AbortOnBase64DecodingErrors);
    return decoded ? std::optional(*decoded) : std::nullopt;
}

void Preferences::set(const QString &key, const QJsonValue &value)
{
    write(key, value);
}

void Preferences::setData(const QString &key, const QByteArray &bytes)
{
    write(key, QJsonObject{{dataKey, QString::fromLatin1(bytes.toBase64())}});
}

void Preferences::remove(const QString &key)
{
    write(key, QJsonValue::Undefined);
}

void Preferences::reload()
{
    adopt(readFile(nullptr));
}

QJsonObject Preferences::readFile(bool *damaged) const
{
    if (damaged)
        *damaged = false;
    QFile file(m_path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly)) {
        if (damaged)
            *damaged = true;
        return {};
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        if (damaged)
            *damaged = true;
        return {};
    }
    return doc.object();
}

void Preferences::adopt(const QJsonObject &fresh)
{
    QStringList differing;
    {
        QMutexLocker lock(&m_mutex);
        for (auto it = fresh.begin(); it != fresh.end(); ++it)
            if (m_values.value(it.key()) != it.value())
                differing << it.key();
        for (auto it = m_values.begin(); it != m_values.end(); ++it)
            if (!fresh.contains(it.key()))
                differing << it.key();
        m_values = fresh;
    }
    for (const QString &key : std::as_const(differing))
        emit changed(key);
}

void Preferences::write(const QString &key, const QJsonValue &value)
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QLockFile lock(m_path + QStringLiteral(".lock"));
    lock.setStaleLockTime(10000);
    const bool locked = lock.tryLock(5000);

    bool damaged = false;
    QJsonObject fresh = readFile(&damaged);
    if (damaged) {
        // Keep what a person might still recover before replacing it.
        const QString aside = m_path + QStringLiteral(".damaged-")
            + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
        QFile::rename(m_path, aside);
    }
    if (value.isUndefined() || value.isNull())
        fresh.remove(key);
    else
        fresh.insert(key, value);

    QSaveFile out(m_path);
    if (out.open(QIODevice::WriteOnly)) {
        out.write(QJsonDocument(fresh).toJson(QJsonDocument::Indented));
        out.commit();
    }
    if (locked)
        lock.unlock();
    adopt(fresh);
}
