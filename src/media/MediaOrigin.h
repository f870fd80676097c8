#pragma once

#include <QJsonObject>
#include <QMetaType>
#include <QString>

#include <optional>

// Where an item came from: not recorded, a local file, or a file in a media server's
// library. Its JSON form is stored by the watch history and the marks, and is shared
// with the suite, so it must not change:
//   {"none":{}}   {"file":{"_0":path}}   {"server":{"_0":id,"_1":library,"_2":path,"_3":hls}}
class MediaOrigin
{
public:
    enum class Case { none, file, server };

    MediaOrigin() = default;
    static MediaOrigin none() { return {}; }
    static MediaOrigin file(const QString &path);
    static MediaOrigin server(const QString &serverID, const QString &libraryID, const QString &path, bool hls);

    Case kind() const { return m_case; }
    QString path() const { return m_path; }  // file and server
    QString serverID() const { return m_serverID; }
    QString libraryID() const { return m_libraryID; }
    bool hls() const { return m_hls; }

    QJsonObject toJson() const;
    // No value when `json` is not a valid origin; `error` then says why.
    static std::optional<MediaOrigin> fromJson(const QJsonValue &json, QString *error = nullptr);

    friend bool operator==(const MediaOrigin &, const MediaOrigin &) = default;

private:
    Case m_case = Case::none;
    QString m_serverID;
    QString m_libraryID;
    QString m_path;
    bool m_hls = false;
};

Q_DECLARE_METATYPE(MediaOrigin)
