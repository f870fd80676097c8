#include "engine/LocalStreamServer.h"

#include "engine/PlaybackTranscoder.h"

#include <QByteArrayView>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QUuid>

#include <chrono>
#include <condition_variable>
#include <unordered_map>
#include <utility>

#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/sendfile.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A request head must end with a blank line within this many bytes and this time;
// a head split over several TCP segments is read piece by piece.
constexpr qsizetype headLimit = 16384;
constexpr qint64 headTimeoutMs = 3000;
// After the reply, the client's unread bytes are drained before the close (so
// the kernel does not answer them with a reset that could discard the reply).
constexpr qint64 lingerMs = 2000;
// A client that takes nothing for this long is dropped.
constexpr qint64 sendStallMs = 30000;
// Beyond this many open connections new ones wait in the kernel's backlog.
constexpr size_t connectionLimit = 768;
constexpr qint64 sendfileChunk = qint64(1) << 22;

qint64 nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

class UniqueFd
{
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    UniqueFd(UniqueFd &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.m_fd, -1));
        return *this;
    }
    ~UniqueFd() { reset(); }
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
    explicit operator bool() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(QByteArrayView text)
{
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    const auto *end = p + text.size();
    while (p < end) {
        const unsigned char c = *p;
        int extra = 0;
        char32_t min = 0, code = 0;
        if (c < 0x80) {
            ++p;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1, min = 0x80, code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, min = 0x800, code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, min = 0x10000, code = c & 0x07;
        } else {
            return false;
        }
        if (end - p <= extra)
            return false;
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (p[i] & 0x3F);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        p += extra + 1;
    }
    return true;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Nothing when a "%" is not followed by two hex digits or the result is not UTF-8.
std::optional<QByteArray> percentDecoded(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.append(text[i]);
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        out.append(char(high * 16 + low));
        i += 2;
    }
    if (!isValidUtf8(out))
        return std::nullopt;
    return out;
}

// A whole decimal integer with an optional sign; nothing for anything else,
// including overflow.
std::optional<qint64> decimal(QByteArrayView text)
{
    if (text.startsWith('+') || text.startsWith('-')) {
        const bool negative = text.startsWith('-');
        const auto rest = decimal(text.sliced(1));
        if (!rest || text.sliced(1).startsWith('+') || text.sliced(1).startsWith('-'))
            return std::nullopt;
        return negative ? -*rest : *rest;
    }
    if (text.isEmpty())
        return std::nullopt;
    qint64 value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        if (value > (LLONG_MAX - (c - '0')) / 10)
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

QByteArray errorReply(int code)
{
    const QByteArray reason = code == 404 ? "Not Found" : "Method Not Allowed";
    return "HTTP/1.1 " + QByteArray::number(code) + ' ' + reason
           + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
}

QByteArray contentType(const QString &path)
{
    const QString name = path.section(QLatin1Char('/'), -1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot > 0 ? name.mid(dot + 1) : QString();
    if (extension == QLatin1String("m3u8"))
        return "application/vnd.apple.mpegurl";
    if (extension == QLatin1String("m4s"))
        return "video/iso.segment";
    return "video/mp4";
}

// The path with every symbolic link resolved; empty when it does not exist.
QString realPath(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    if (native.contains('\0'))
        return {};
    char buffer[PATH_MAX];
    if (!::realpath(native.constData(), buffer))
        return {};
    return QFile::decodeName(buffer);
}

// Like realPath, for a path that may not exist yet: the deepest existing folder
// is resolved and the rest appended.
QString resolvedLoosely(const QString &path)
{
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QString real = realPath(clean);
    if (!real.isEmpty())
        return real;
    const qsizetype slash = clean.lastIndexOf(QLatin1Char('/'));
    if (slash <= 0)
        return clean;
    const QString parent = resolvedLoosely(clean.left(slash));
    return (parent == QLatin1String("/") ? QString() : parent) + clean.mid(slash);
}

// Takes the SIGPIPE that a send to a closed connection left pending on this thread.
void discardPendingSigpipe()
{
    sigset_t pending;
    sigpending(&pending);
    if (sigismember(&pending, SIGPIPE) != 1)
        return;
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    int signal = 0;
    sigwait(&pipe, &signal);
}

// The send buffer to ask for, or 0 to leave it to the kernel.
int sendBufferRoom()
{
    constexpr int wanted = 4 << 20;
    QFile limit(QStringLiteral("/proc/sys/net/core/wmem_max"));
    if (!limit.open(QIODevice::ReadOnly))
        return 0;
    return limit.readAll().trimmed().toLongLong() >= wanted ? wanted : 0;
}

// Where the head's blank line ends; -1 without one.
qsizetype headEnd(const QByteArray &data)
{
    const qsizetype crlf = data.indexOf("\r\n\r\n");
    const qsizetype lf = data.indexOf("\n\n");
    if (crlf >= 0 && (lf < 0 || crlf < lf))
        return crlf + 4;
    return lf >= 0 ? lf + 2 : -1;
}

// What one request gets: the head, then for GET `length` bytes of `file` from
// `offset`.
struct Reply
{
    QByteArray head;
    UniqueFd file;
    qint64 offset = 0;
    qint64 length = 0;
};

Reply errorAnswer(int code)
{
    Reply reply;
    reply.head = errorReply(code);
    return reply;
}

std::optional<std::pair<qint64, qint64>> requestedRange(const QList<QByteArrayView> &lines,
                                                        qint64 size)
{
    static constexpr QByteArrayView prefix("range: bytes=");
    for (const QByteArrayView line : lines) {
        if (line.size() < prefix.size() || line.first(prefix.size()).toByteArray().toLower() != prefix)
            continue;
        const QList<QByteArray> pieces = line.sliced(prefix.size()).toByteArray().split('-');
        const qint64 start = decimal(pieces[0]).value_or(0);
        qint64 end = size - 1;
        if (pieces.size() > 1)
            end = decimal(pieces[1]).value_or(size - 1);
        end = std::min(end, size - 1);
        if (end < start)
            return std::nullopt;
        return std::pair(start, end);
    }
    return std::nullopt;
}

QList<QByteArrayView> splitLines(QByteArrayView text)
{
    QList<QByteArrayView> lines;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = text.indexOf(QByteArrayView("\r\n"), from);
        if (at < 0) {
            lines.append(text.sliced(from));
            return lines;
        }
        lines.append(text.sliced(from, at - from));
        from = at + 2;
    }
}

QList<QByteArrayView> splitSkippingEmpty(QByteArrayView text, char separator)
{
    QList<QByteArrayView> pieces;
    qsizetype from = 0;
    while (from <= text.size()) {
        qsizetype at = text.indexOf(separator, from);
        if (at < 0)
            at = text.size();
        if (at > from)
            pieces.append(text.sliced(from, at - from));
        from = at + 1;
    }
    return pieces;
}

Reply answer(QByteArrayView request, const QByteArray &secret, const QString &root)
{
    const QList<QByteArrayView> lines = splitLines(request);
    const QList<QByteArrayView> words = splitSkippingEmpty(lines.first(), ' ');
    if (words.size() < 2 || (words[0] != "GET" && words[0] != "HEAD"))
        return errorAnswer(405);
    const bool head = words[0] == "HEAD";

    const QByteArray target = percentDecoded(words[1]).value_or(QByteArray());
    const QList<QByteArrayView> pieces = splitSkippingEmpty(target, '/');
    if (pieces.size() < 2 || pieces[0] != secret)
        return errorAnswer(404);
    QByteArray relative;
    for (qsizetype i = 1; i < pieces.size(); ++i) {
        // A NUL would cut the path short in the system calls below.
        if (pieces[i] == "." || pieces[i] == ".." || pieces[i].contains('\0'))
            return errorAnswer(404);
        relative += (i > 1 ? "/" : "") + pieces[i].toByteArray();
    }
    const QString path = realPath(root + QLatin1Char('/') + QString::fromUtf8(relative));
    if (path.isEmpty() || !path.startsWith(root + QLatin1Char('/')))
        return errorAnswer(404);

    // Non-blocking so that a FIFO cannot hold the thread; it is no regular file.
    UniqueFd file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info{};
    if (!file || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return errorAnswer(404);
    const qint64 size = info.st_size;

    Reply reply;
    QByteArray rangeLine;
    qint64 offset = 0, length = size;
    QByteArray status = "200 OK";
    if (const auto range = requestedRange(lines, size)) {
        offset = range->first;
        length = range->second - range->first + 1;
        status = "206 Partial Content";
        rangeLine = "Content-Range: bytes " + QByteArray::number(range->first) + '-'
                    + QByteArray::number(range->second) + '/' + QByteArray::number(size) + "\r\n";
    }
    reply.head = "HTTP/1.1 " + status + "\r\nContent-Type: " + contentType(path)
                 + "\r\nContent-Length: " + QByteArray::number(length) + "\r\n" + rangeLine
                 + "Accept-Ranges: bytes\r\nCache-Control: no-cache\r\nConnection: close\r\n\r\n";
    if (!head && length > 0) {
        reply.file = std::move(file);
        reply.offset = offset;
        reply.length = length;
    }
    return reply;
}

} // namespace

// The server's event loop: one epoll set holding the listener, a wake-up event
// and every connection, all non-blocking.
class LocalStreamServer::Loop
{
public:
    explicit Loop(LocalStreamServer &server) : m_server(server)
    {
        m_epoll.reset(::epoll_create1(EPOLL_CLOEXEC));
        m_wake.reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
        watch(m_wake.get(), EPOLLIN, EPOLL_CTL_ADD);
    }

    bool valid() const { return m_epoll && m_wake; }

    // From the caller's thread: hands a listening socket over and waits at most
    // two seconds for the loop to take it.
    bool adopt(UniqueFd listener, quint16 port)
    {
        std::unique_lock lock(m_lock);
        m_offered = std::move(listener);
        m_offeredPort = port;
        m_taken = false;
        wake();
        return m_changed.wait_for(lock, std::chrono::seconds(2), [this] { return m_taken; });
    }

    void quit()
    {
        {
            std::lock_guard lock(m_lock);
            m_quit = true;
        }
        wake();
    }

    void run();

private:
    enum class Stage { head, send, linger };
    struct Connection
    {
        UniqueFd socket;
        Stage stage = Stage::head;
        QByteArray in;
        QByteArray out;
        qsizetype outSent = 0;
        UniqueFd file;
        off_t fileOffset = 0;
        qint64 fileLeft = 0;
        qint64 deadline = 0;
        uint32_t events = EPOLLIN;
        // The client sent more than a complete head: its unread bytes must be
        // drained before the close.
        bool lingers = false;
    };

    void wake()
    {
        const uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(m_wake.get(), &one, sizeof one);
    }
    void watch(int fd, uint32_t events, int op)
    {
        epoll_event event{};
        event.events = events;
        event.data.fd = fd;
        ::epoll_ctl(m_epoll.get(), op, fd, &event);
    }
    bool handleWake();
    void acceptAll();
    void dropListener();
    void pauseListener(qint64 untilMs);
    void onEvent(Connection &c);
    void readHead(Connection &c);
    void respond(Connection &c);
    void sendMore(Connection &c);
    void finish(Connection &c);
    void startLinger(Connection &c);
    void setEvents(Connection &c, uint32_t events)
    {
        if (c.events != events)
            watch(c.socket.get(), events, EPOLL_CTL_MOD);
        c.events = events;
    }
    void drain(Connection &c);
    void close(Connection &c) { m_connections.erase(c.socket.get()); }
    void sweep(qint64 now);

    LocalStreamServer &m_server;
    UniqueFd m_epoll, m_wake, m_listener;
    bool m_listenerWatched = false;
    qint64 m_listenerPausedUntil = 0;
    std::unordered_map<int, std::unique_ptr<Connection>> m_connections;
    qint64 m_lastSweep = 0;

    std::mutex m_lock;
    std::condition_variable m_changed;
    UniqueFd m_offered;
    quint16 m_offeredPort = 0;
    bool m_taken = false;
    bool m_quit = false;
};

void LocalStreamServer::Loop::run()
{
    // sendfile has no MSG_NOSIGNAL: a client that leaves mid-body would raise
    // SIGPIPE, which ends the whole application. Held back on this thread only.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

    epoll_event events[64];
    for (;;) {
        const bool timers = !m_connections.empty() || m_listenerPausedUntil;
        const int count = ::epoll_wait(m_epoll.get(), events, 64, timers ? 100 : -1);
        if (count < 0 && errno != EINTR)
            return;
        for (int i = 0; i < count; ++i) {
            const int fd = events[i].data.fd;
            if (fd == m_wake.get()) {
                if (!handleWake())
                    return;
            } else if (fd == m_listener.get()) {
                acceptAll();
            } else if (auto it = m_connections.find(fd); it != m_connections.end()) {
                onEvent(*it->second);
            }
        }
        const qint64 now = nowMs();
        if (m_listenerPausedUntil && now >= m_listenerPausedUntil
            && m_connections.size() < connectionLimit) {
            m_listenerPausedUntil = 0;
            if (m_listener && !m_listenerWatched) {
                watch(m_listener.get(), EPOLLIN, EPOLL_CTL_ADD);
                m_listenerWatched = true;
            }
        }
        if (now - m_lastSweep >= 100)
            sweep(now);
    }
}

bool LocalStreamServer::Loop::handleWake()
{
    uint64_t value = 0;
    [[maybe_unused]] auto n = ::read(m_wake.get(), &value, sizeof value);
    std::lock_guard lock(m_lock);
    if (m_quit)
        return false;
    if (m_offered) {
        dropListener();
        m_listener = std::move(m_offered);
        watch(m_listener.get(), EPOLLIN, EPOLL_CTL_ADD);
        m_listenerWatched = true;
        m_server.m_port = m_offeredPort;
        m_taken = true;
        m_changed.notify_all();
    }
    return true;
}

void LocalStreamServer::Loop::dropListener()
{
    if (m_listener && m_listenerWatched)
        ::epoll_ctl(m_epoll.get(), EPOLL_CTL_DEL, m_listener.get(), nullptr);
    m_listener.reset();
    m_listenerWatched = false;
    m_listenerPausedUntil = 0;
}

void LocalStreamServer::Loop::pauseListener(qint64 untilMs)
{
    if (m_listenerWatched)
        ::epoll_ctl(m_epoll.get(), EPOLL_CTL_DEL, m_listener.get(), nullptr);
    m_listenerWatched = false;
    m_listenerPausedUntil = untilMs;
}

void LocalStreamServer::Loop::acceptAll()
{
    while (m_listener) {
        if (m_connections.size() >= connectionLimit) {
            pauseListener(nowMs() + 10);
            return;
        }
        const int fd = ::accept4(m_listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            switch (errno) {
            case EAGAIN:
                return;
            case EINTR: case ECONNABORTED: case EPROTO: case ENETDOWN: case ENOPROTOOPT:
            case EHOSTDOWN: case ENONET: case EHOSTUNREACH: case EOPNOTSUPP: case ENETUNREACH:
            case EPERM:
                continue;
            case EMFILE: case ENFILE: case ENOBUFS: case ENOMEM:
                // Out of descriptors or memory: try again shortly rather than spin.
                pauseListener(nowMs() + 100);
                return;
            default:
                // The listener itself broke: back to not started; the next url()
                // listens anew.
                dropListener();
                m_server.m_port = 0;
                return;
            }
        }
        auto connection = std::make_unique<Connection>();
        connection->socket.reset(fd);
        connection->deadline = nowMs() + headTimeoutMs;
        Connection &c = *connection;
        m_connections.emplace(fd, std::move(connection));
        watch(fd, EPOLLIN, EPOLL_CTL_ADD);
        readHead(c);
    }
}

void LocalStreamServer::Loop::onEvent(Connection &c)
{
    switch (c.stage) {
    case Stage::head: readHead(c); break;
    case Stage::send: sendMore(c); break;
    case Stage::linger: drain(c); break;
    }
}

void LocalStreamServer::Loop::readHead(Connection &c)
{
    for (;;) {
        const qsizetype before = c.in.size();
        c.in.resize(headLimit);
        const ssize_t n = ::recv(c.socket.get(), c.in.data() + before, headLimit - before, 0);
        const int error = errno;
        c.in.resize(before + std::max<ssize_t>(n, 0));
        if (n < 0) {
            if (error == EAGAIN || error == EINTR)
                return;  // the rest of the head is still on its way
            close(c);
            return;
        }
        if (n == 0) {
            // The client finished sending: answer what came, if anything.
            if (c.in.isEmpty())
                close(c);
            else
                respond(c);
            return;
        }
        const qsizetype from = std::max<qsizetype>(0, before - 3);
        if (c.in.indexOf("\r\n\r\n", from) >= 0 || c.in.indexOf("\n\n", from) >= 0
            || c.in.size() >= headLimit) {
            respond(c);
            return;
        }
    }
}

void LocalStreamServer::Loop::respond(Connection &c)
{
    if (!isValidUtf8(c.in)) {
        close(c);
        return;
    }
    c.lingers = headEnd(c.in) != c.in.size();
    Reply reply = answer(c.in, m_server.m_secret.toUtf8(), m_server.resolvedRoot());
    c.in = QByteArray();
    c.out = std::move(reply.head);
    c.file = std::move(reply.file);
    c.fileOffset = reply.offset;
    c.fileLeft = c.file ? reply.length : 0;
    c.stage = Stage::send;
    c.deadline = nowMs() + sendStallMs;
    sendMore(c);
}

void LocalStreamServer::Loop::sendMore(Connection &c)
{
    while (c.outSent < c.out.size()) {
        const int more = c.fileLeft > 0 ? MSG_MORE : 0;
        const ssize_t n = ::send(c.socket.get(), c.out.constData() + c.outSent,
                                 c.out.size() - c.outSent, MSG_NOSIGNAL | more);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR)
                setEvents(c, EPOLLOUT);
            else
                close(c);
            return;
        }
        c.outSent += n;
        c.deadline = nowMs() + sendStallMs;
    }
    while (c.fileLeft > 0) {
        const ssize_t n = ::sendfile(c.socket.get(), c.file.get(), &c.fileOffset,
                                     size_t(std::min(c.fileLeft, sendfileChunk)));
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            setEvents(c, EPOLLOUT);
            return;
        }
        if (n < 0 && errno == EPIPE)
            discardPendingSigpipe();
        if (n <= 0) {
            // Gone, unreadable, or the file shrank under us: the promised length cannot
            // be kept, so the client must see the connection cut short.
            close(c);
            return;
        }
        c.fileLeft -= n;
        c.deadline = nowMs() + sendStallMs;
    }
    finish(c);
}

void LocalStreamServer::Loop::finish(Connection &c)
{
    int unread = 0;
    if (!c.lingers && ::ioctl(c.socket.get(), FIONREAD, &unread) == 0 && unread == 0) {
        // Nothing left to read: the kernel sends what is queued, then the FIN.
        close(c);
        return;
    }
    startLinger(c);
}

void LocalStreamServer::Loop::startLinger(Connection &c)
{
    c.file.reset();
    c.out = QByteArray();
    ::shutdown(c.socket.get(), SHUT_WR);
    c.stage = Stage::linger;
    c.deadline = nowMs() + lingerMs;
    setEvents(c, EPOLLIN | EPOLLRDHUP);
    drain(c);
}

void LocalStreamServer::Loop::drain(Connection &c)
{
    char scratch[4096];
    for (;;) {
        const ssize_t n = ::recv(c.socket.get(), scratch, sizeof scratch, 0);
        if (n > 0)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        close(c);
        return;
    }
}

void LocalStreamServer::Loop::sweep(qint64 now)
{
    m_lastSweep = now;
    for (auto it = m_connections.begin(); it != m_connections.end();) {
        if (it->second->deadline <= now)
            it = m_connections.erase(it);
        else
            ++it;
    }
}

LocalStreamServer::LocalStreamServer(const QString &root)
    : m_root(root), m_secret(QUuid::createUuid().toString(QUuid::WithoutBraces).toLower())
{
}

LocalStreamServer::~LocalStreamServer()
{
    if (m_thread) {
        m_loop->quit();
        m_thread->wait();
    }
}

LocalStreamServer &LocalStreamServer::shared()
{
    static LocalStreamServer server(PlaybackTranscoder::cache());
    return server;
}

QString LocalStreamServer::resolvedRoot() const
{
    // Fixed once the folder exists; until then each use looks again.
    std::lock_guard lock(m_rootLock);
    if (!m_resolvedRoot.isEmpty())
        return m_resolvedRoot;
    const QString real = realPath(m_root);
    if (real.isEmpty())
        return resolvedLoosely(m_root);
    m_resolvedRoot = real;
    return real;
}

bool LocalStreamServer::start()
{
    std::lock_guard lock(m_startLock);
    if (m_port.load() != 0)
        return true;

    UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!listener)
        return false;
    const int yes = 1;
    ::setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    // Wake the loop only once a request has arrived.
    const int deferSeconds = 1;
    ::setsockopt(listener.get(), IPPROTO_TCP, TCP_DEFER_ACCEPT, &deferSeconds, sizeof deferSeconds);
    // Room for a whole segment in the send queue: the kernel then feeds the client
    // as it reads, without waking this thread. Only where the system allows that
    // much; a smaller fixed size would do worse than the kernel's own tuning.
    if (const int room = sendBufferRoom(); room > 0)
        ::setsockopt(listener.get(), SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(listener.get(), reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(listener.get(), SOMAXCONN) != 0
        || ::getsockname(listener.get(), reinterpret_cast<sockaddr *>(&address), &length) != 0
        || ntohs(address.sin_port) == 0)
        return false;

    if (!m_thread) {
        auto loop = std::make_unique<Loop>(*this);
        if (!loop->valid())
            return false;
        m_loop = std::move(loop);
        m_thread.reset(QThread::create([this] { m_loop->run(); }));
        m_thread->setObjectName(QStringLiteral("Moxtrel.LocalStreamServer"));
        m_thread->start();
    }
    m_loop->adopt(std::move(listener), ntohs(address.sin_port));
    return m_port.load() != 0;
}

std::optional<QUrl> LocalStreamServer::url(const QUrl &file)
{
    if (!file.isLocalFile())
        return std::nullopt;
    return url(file.toLocalFile());
}

std::optional<QUrl> LocalStreamServer::url(const QString &filePath)
{
    if (filePath.isEmpty() || !start())
        return std::nullopt;
    const QString root = resolvedRoot();
    const QString path = resolvedLoosely(filePath);
    if (!path.startsWith(root + QLatin1Char('/')))
        return std::nullopt;
    const QString relative = path.mid(root.size() + 1);
    const QByteArray prefix = "http://127.0.0.1:" + QByteArray::number(port()) + '/'
                              + m_secret.toUtf8() + '/';
    const QUrl encoded = QUrl::fromEncoded(
        prefix + QUrl::toPercentEncoding(relative, "!$&'()*+,-./:;=@_~"), QUrl::StrictMode);
    if (encoded.isValid())
        return encoded;
    return QUrl(QString::fromUtf8(prefix) + relative);
}
