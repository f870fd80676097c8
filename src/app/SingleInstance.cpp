#include "app/SingleInstance.h"

#include "core/MediaApp.h"
#include "log/Log.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

#include <unistd.h>

namespace {

constexpr qint64 kMaxRequest = 4 * 1024 * 1024;  // a long list of paths, not a flood
const char *const kKinds[] = {"open", "convert", "reopen"};

} // namespace

QByteArray SingleInstance::Request::encode() const
{
    QJsonArray list;
    for (const QUrl &url : files)
        list.append(url.toString(QUrl::FullyEncoded));
    const QJsonObject json{{QStringLiteral("kind"), QString::fromLatin1(kKinds[int(kind)])},
                           {QStringLiteral("files"), list}};
    return QJsonDocument(json).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<SingleInstance::Request> SingleInstance::Request::decode(const QByteArray &line)
{
    const QJsonDocument doc = QJsonDocument::fromJson(line.trimmed());
    if (!doc.isObject())
        return std::nullopt;
    const QJsonObject json = doc.object();
    Request request;
    const QString kind = json.value(QStringLiteral("kind")).toString();
    int index = -1;
    for (int i = 0; i < 3; ++i)
        if (kind == QLatin1String(kKinds[i]))
            index = i;
    if (index < 0 || !json.value(QStringLiteral("files")).isArray())
        return std::nullopt;
    request.kind = Kind(index);
    for (const QJsonValue &v : json.value(QStringLiteral("files")).toArray()) {
        const QUrl url(v.toString(), QUrl::StrictMode);
        if (!v.isString() || !url.isValid())
            return std::nullopt;
        request.files << url;
    }
    return request;
}

SingleInstance::SingleInstance(const QString &socketPath, QObject *parent)
    : QObject(parent)
    , m_path(socketPath)
{
}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
}

QString SingleInstance::defaultSocketPath()
{
    const QString name = QString::fromLatin1(MediaApp::isMoxtrel() ? MediaApp::moxtrelID : MediaApp::appID)
        + QStringLiteral(".socket");
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        folder = QDir::tempPath() + QStringLiteral("/zentrova-media-%1").arg(getuid());
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        // Another user could have made the folder first: only a private one of ours will do.
        const QFileInfo info(folder);
        const auto shared = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
            | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
        if (!info.isDir() || info.isSymLink() || info.ownerId() != getuid() || (info.permissions() & shared))
            return {};
    }
    return folder + QLatin1Char('/') + name;
}

SingleInstance::Role SingleInstance::start(const Request &request, int patienceMs)
{
    if (m_path.isEmpty()) {
        m_error = QStringLiteral("There is no private folder for the instance socket.");
        return Role::alone;
    }
    m_lock = std::make_unique<QLockFile>(m_path + QStringLiteral(".lock"));
    // Only a dead holder makes the lock stale, never its age: the primary runs for hours.
    m_lock->setStaleLockTime(0);
    const QDeadlineTimer deadline(patienceMs);
    for (;;) {
        // The lock decides who runs; a lock left by a process that died is taken over.
        if (m_lock->tryLock(0))
            return listen() ? Role::primary : Role::alone;
        if (m_lock->error() == QLockFile::PermissionError || m_lock->error() == QLockFile::UnknownError) {
            m_error = QStringLiteral("Can't use the instance lock in %1.").arg(QFileInfo(m_path).path());
            return Role::alone;
        }
        if (handOver(request))
            return Role::handedOver;
        if (deadline.hasExpired()) {
            m_error = QStringLiteral("The running instance doesn't answer.");
            return Role::failed;
        }
        QThread::msleep(50);  // the running instance may still be starting
    }
}

bool SingleInstance::listen()
{
    QLocalServer::removeServer(m_path);  // a socket file left by a crash
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_path)) {
        m_error = QStringLiteral("Can't listen for other launches: %1").arg(m_server->errorString());
        delete m_server;
        m_server = nullptr;
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::accept);
    return true;
}

bool SingleInstance::handOver(const Request &request)
{
    QLocalSocket socket;
    socket.connectToServer(m_path);
    if (!socket.waitForConnected(1000))
        return false;
    socket.write(request.encode());
    if (!socket.waitForBytesWritten(5000))
        return false;
    // The answer comes once the running instance has acted on the request.
    QByteArray answer;
    while (!answer.contains('\n') && socket.waitForReadyRead(5000))
        answer += socket.readAll();
    return answer.startsWith("ok\n");
}

void SingleInstance::accept()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        if (socket->bytesAvailable() > 0)
            readFrom(socket);
    }
}

void SingleInstance::readFrom(QLocalSocket *socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kMaxRequest) {
            Log::info(Log::Area::app, QStringLiteral("Ignored an oversized request from another launch"));
            socket->abort();
        }
        return;
    }
    const auto request = Request::decode(socket->readLine(kMaxRequest));
    if (!request) {
        Log::info(Log::Area::app, QStringLiteral("Ignored an unreadable request from another launch"));
        socket->write("error\n");
        socket->disconnectFromServer();
        return;
    }
    emit received(*request);
    socket->write("ok\n");
    socket->flush();
    socket->disconnectFromServer();
}
