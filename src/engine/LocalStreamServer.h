#pragma once

#include <QString>
#include <QUrl>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

class QThread;

// A minimal HTTP/1.1 file server on 127.0.0.1 that serves the playback scratch
// root to the player. Every URL starts with a random secret so other local
// processes cannot guess file URLs. One request per connection; the listener and
// all connections run on one named thread ("Moxtrel.LocalStreamServer").
class LocalStreamServer
{
public:
    // Serves `root` (a folder; it may not exist yet). Nothing listens until the
    // first url().
    explicit LocalStreamServer(const QString &root);
    ~LocalStreamServer();

    LocalStreamServer(const LocalStreamServer &) = delete;
    LocalStreamServer &operator=(const LocalStreamServer &) = delete;

    // The one instance of the application, serving the playback scratch root
    // (PlaybackTranscoder::cache()). Only wiring code calls this.
    static LocalStreamServer &shared();

    // Starts the server if needed and returns the HTTP URL under which `file` (a
    // local file URL) is served: http://127.0.0.1:PORT/SECRET/<path below root>.
    // Nothing when the server cannot start or the file does not lie inside root.
    std::optional<QUrl> url(const QUrl &file);
    std::optional<QUrl> url(const QString &filePath);

    // The secret path component: a random lower-case UUID, fixed for the
    // object's life.
    QString secret() const { return m_secret; }

    // The listening port; 0 while not listening.
    quint16 port() const { return m_port.load(); }

    // The served folder as given.
    QString root() const { return m_root; }

private:
    class Loop;

    bool start();
    QString resolvedRoot() const;

    QString m_root;
    mutable std::mutex m_rootLock;
    mutable QString m_resolvedRoot;
    QString m_secret;
    std::atomic<quint16> m_port{0};
    std::mutex m_startLock;
    std::unique_ptr<Loop> m_loop;
    std::unique_ptr<QThread> m_thread;
};
