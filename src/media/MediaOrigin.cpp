#include "media/MediaOrigin.h"

#include <QJsonValue>

namespace {

const QString kNone = QStringLiteral("none");
const QString kFile = QStringLiteral("file");
const QString kServer = QStringLiteral("server");

QString typeName(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null: return QStringLiteral("null");
    case QJsonValue::Bool: return QStringLiteral("bool");
    case QJsonValue::Double: return QStringLiteral("number");
    case QJsonValue::String: return QStringLiteral("string");
    case QJsonValue::Array: return QStringLiteral("array");
    case QJsonValue::Object: return QStringLiteral("dictionary");
    case QJsonValue::Undefined: break;
    }
    return QStringLiteral("nothing");
}

// The wording of the standard keyed decoder, so stored records fail the same way
// whichever program of the suite reads them.
QString keyNotFound(const QString &key)
{
    return QStringLiteral("No value associated with key CodingKeys(stringValue: \"%1\", intValue: nil) (\"%1\").")
        .arg(key);
}

QString typeMismatch(const QString &expected, const QJsonValue &found)
{
    return QStringLiteral("Expected to decode %1 but found %2 instead.").arg(expected, typeName(found));
}

// Reads one positional field; false (with `error` set) when it is missing or mistyped.
bool readString(const QJsonObject &payload, const QString &key, QString *out, QString *error)
{
    const QJsonValue v = payload.value(key);
    if (v.isUndefined()) {
        *error = keyNotFound(key);
        return false;
    }
    if (!v.isString()) {
        *error = typeMismatch(QStringLiteral("String"), v);
        return false;
    }
    *out = v.toString();
    return true;
}

bool readBool(const QJsonObject &payload, const QString &key, bool *out, QString *error)
{
    const QJsonValue v = payload.value(key);
    if (v.isUndefined()) {
        *error = keyNotFound(key);
        return false;
    }
    if (!v.isBool()) {
        *error = typeMismatch(QStringLiteral("Bool"), v);
        return false;
    }
    *out = v.toBool();
    return true;
}

} // namespace

MediaOrigin MediaOrigin::file(const QString &path)
{
    MediaOrigin origin;
    origin.m_case = Case::file;
    origin.m_path = path;
    return origin;
}

MediaOrigin MediaOrigin::server(const QString &serverID, const QString &libraryID, const QString &path, bool hls)
{
    MediaOrigin origin;
    origin.m_case = Case::server;
    origin.m_serverID = serverID;
    origin.m_libraryID = libraryID;
    origin.m_path = path;
    origin.m_hls = hls;
    return origin;
}

QJsonObject MediaOrigin::toJson() const
{
    switch (m_case) {
    case Case::none: return {{kNone, QJsonObject{}}};
    case Case::file: return {{kFile, QJsonObject{{QStringLiteral("_0"), m_path}}}};
    case Case::server:
        return {{kServer, QJsonObject{{QStringLiteral("_0"), m_serverID},
                                      {QStringLiteral("_1"), m_libraryID},
                                      {QStringLiteral("_2"), m_path},
                                      {QStringLiteral("_3"), m_hls}}}};
    }
    return {};
}

std::optional<MediaOrigin> MediaOrigin::fromJson(const QJsonValue &json, QString *error)
{
    QString message;
    if (!error)
        error = &message;
    if (!json.isObject()) {
        *error = typeMismatch(QStringLiteral("Dictionary<String, Any>"), json);
        return std::nullopt;
    }
    const QJsonObject object = json.toObject();
    QStringList cases;
    for (const QString &name : {kNone, kFile, kServer})
        if (object.contains(name))
            cases << name;
    if (cases.size() != 1) {
        *error = QStringLiteral("Invalid number of keys found, expected one.");
        return std::nullopt;
    }
    const QJsonValue payloadValue = object.value(cases.first());
    if (!payloadValue.isObject()) {
        *error = typeMismatch(QStringLiteral("Dictionary<String, Any>"), payloadValue);
        return std::nullopt;
    }
    const QJsonObject payload = payloadValue.toObject();

    if (cases.first() == kNone)
        return none();
    if (cases.first() == kFile) {
        QString path;
        if (!readString(payload, QStringLiteral("_0"), &path, error))
            return std::nullopt;
        return file(path);
    }
    QString serverID, libraryID, path;
    bool hls = false;
    if (!readString(payload, QStringLiteral("_0"), &serverID, error)
        || !readString(payload, QStringLiteral("_1"), &libraryID, error)
        || !readString(payload, QStringLiteral("_2"), &path, error)
        || !readBool(payload, QStringLiteral("_3"), &hls, error))
        return std::nullopt;
    return server(serverID, libraryID, path, hls);
}
