#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

class QLocalServer;
class QLocalSocket;
class QLockFile;

// One running instance per user: the first launch holds a lock and listens on a
// local socket in $XDG_RUNTIME_DIR; a later launch hands its request over and exits.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    struct Request {
        enum class Kind { open, convert, reopen };
        Kind kind = Kind::reopen;
        QList<QUrl> files;

        QByteArray encode() const;
        static std::optional<Request> decode(const QByteArray &line);
        friend bool operator==(const Request &, const Request &) = default;
    };

    // alone: runs, but cannot take handovers (the lock or socket is unusable);
    // failed: another instance holds the lock but does not answer.
    enum class Role { primary, handedOver, alone, failed };

    explicit SingleInstance(const QString &socketPath, QObject *parent = nullptr);
    ~SingleInstance() override;

    // "$XDG_RUNTIME_DIR/<app id>.socket", or in a private folder under the temporary
    // folder when the runtime folder is not set; empty when no private folder is to be had.
    static QString defaultSocketPath();

    // Becomes the primary instance, or hands `request` to the one running, waiting up
    // to `patienceMs` for a starting primary to listen. `errorString` says why for
    // alone and failed.
    Role start(const Request &request, int patienceMs = 10000);

    QString errorString() const { return m_error; }

signals:
    void received(const SingleInstance::Request &request);

private:
    bool listen();
    bool handOver(const Request &request);
    void accept();
    void readFrom(QLocalSocket *socket);

    QString m_path;
    QString m_error;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
};

Q_DECLARE_METATYPE(SingleInstance::Request)
