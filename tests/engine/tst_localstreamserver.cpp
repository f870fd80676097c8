#include "engine/LocalStreamServer.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Stands for the server's secret in table rows; replaced before sending.
const QByteArray secretMark = "@SECRET@";

QByteArray pattern(int size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + seed * 13 + i / 251) & 0xFF);
    return bytes;
}

const QByteArray playlist = "#EXTM3U\n#EXT-X-VERSION:7\n#EXT-X-TARGETDURATION:4\n"
                            "#EXT-X-MAP:URI=\"init.mp4\"\n#EXTINF:4.0,\nseg0.m4s\n";
const QByteArray segment = pattern(1000, 1);
const QByteArray init = pattern(321, 2);
const QByteArray spaced = pattern(77, 3);
const QByteArray outside = "not to be served\n";

const QByteArray trailer = "Accept-Ranges: bytes\r\nCache-Control: no-cache\r\nConnection: close\r\n\r\n";

QByteArray ok(const QByteArray &type, const QByteArray &body, bool withBody = true)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: " + type + "\r\nContent-Length: "
           + QByteArray::number(body.size()) + "\r\n" + trailer + (withBody ? body : QByteArray());
}

QByteArray partial(const QByteArray &type, const QByteArray &whole, int start, int end)
{
    return "HTTP/1.1 206 Partial Content\r\nContent-Type: " + type + "\r\nContent-Length: "
           + QByteArray::number(end - start + 1) + "\r\nContent-Range: bytes "
           + QByteArray::number(start) + '-' + QByteArray::number(end) + '/'
           + QByteArray::number(whole.size()) + "\r\n" + trailer + whole.mid(start, end - start + 1);
}

const QByteArray notFound = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
const QByteArray notAllowed =
    "HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
const QByteArray segmentType = "video/iso.segment";

QByteArray get(const QByteArray &target, const QByteArray &extra = {})
{
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "\r\n";
}

QByteArray ranged(const QByteArray &target, const QByteArray &range)
{
    return get(target, "Range: bytes=" + range + "\r\n");
}

// A blocking loopback client: sends each chunk as its own write, optionally
// half-closes, then reads until the server closes (or 10 s pass).
QByteArray exchange(quint16 port, const QByteArrayList &chunks, bool halfClose = false)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return "client: no socket";
    const int yes = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    timeval timeout{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return "client: connect failed";
    }
    for (qsizetype i = 0; i < chunks.size(); ++i) {
        if (i > 0)
            QTest::qWait(30);  // lets each piece leave as its own segment
        ::send(fd, chunks[i].constData(), chunks[i].size(), MSG_NOSIGNAL);
    }
    if (halfClose)
        ::shutdown(fd, SHUT_WR);
    QByteArray reply;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0) {
            reply += "client: read failed or timed out";
            break;
        }
        if (n == 0)
            break;
        reply.append(buffer, n);
    }
    ::close(fd);
    return reply;
}

int connectTo(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestLocalStreamServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void identity();
    void sharedServesThePlaybackCache();
    void urls_data();
    void urls();
    void replies_data();
    void replies();
    void servesThroughSymlinkedRoot();
    void namedThread();
    void survivesDroppedConnections_data();
    void survivesDroppedConnections();
    void survivesClientsLeavingMidBody_data();
    void survivesClientsLeavingMidBody();
    void concurrentClientsGetTheirOwnBytes();
    void curlRanges_data();
    void curlRanges();
    void playsHlsToTheEnd();

private:
    QString root() const { return m_dir.path() + u"/Playback"_s; }
    TestSupport::TempHome m_home;  // before anything reads the XDG folders
    QTemporaryDir m_dir;
    std::optional<LocalStreamServer> m_server;
    quint16 m_port = 0;
};

void TestLocalStreamServer::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString key = root() + u"/KEY"_s;
    QVERIFY(writeFile(key + u"/index.m3u8"_s, playlist));
    QVERIFY(writeFile(key + u"/seg0.m4s"_s, segment));
    QVERIFY(writeFile(key + u"/init.mp4"_s, init));
    QVERIFY(writeFile(key + u"/a b.m4s"_s, spaced));
    QVERIFY(writeFile(key + u"/\u00e9t\u00e9 #1.m4s"_s, spaced));
    QVERIFY(writeFile(key + u"/INDEX.M3U8"_s, playlist));
    QVERIFY(writeFile(key + u"/empty.m4s"_s, {}));
    QVERIFY(writeFile(m_dir.path() + u"/outside/secret.m4s"_s, outside));
    QVERIFY(QDir().mkpath(key + u"/folder.m4s"_s));
    QVERIFY(::mkfifo(QFile::encodeName(key + u"/fifo.m4s"_s).constData(), 0600) == 0);
    QVERIFY(QFile::link(m_dir.path() + u"/outside/secret.m4s"_s, key + u"/escape.m4s"_s));
    QVERIFY(QFile::link(key + u"/seg0.m4s"_s, key + u"/alias.m4s"_s));
    QVERIFY(QFile::link(m_dir.path() + u"/outside"_s, key + u"/away"_s));

    m_server.emplace(root());
    QCOMPARE(m_server->port(), 0);  // nothing listens before the first url()
    const auto url = m_server->url(key + u"/index.m3u8"_s);
    QVERIFY(url.has_value());
    m_port = m_server->port();
    QVERIFY(m_port != 0);
}

void TestLocalStreamServer::identity()
{
    const QString secret = m_server->secret();
    QVERIFY2(QRegularExpression(u"^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$"_s)
                 .match(secret).hasMatch(), qPrintable(secret));
    LocalStreamServer other(root());
    QVERIFY(other.secret() != secret);
    // Asking again neither restarts nor changes anything.
    QVERIFY(m_server->url(root() + u"/KEY/seg0.m4s"_s).has_value());
    QCOMPARE(m_server->port(), m_port);
    QCOMPARE(m_server->secret(), secret);
}

void TestLocalStreamServer::sharedServesThePlaybackCache()
{
    const QString cache = m_home.cache() + u"/Moxtrel/Playback"_s;
    QVERIFY(writeFile(cache + u"/K1/index.m3u8"_s, playlist));
    LocalStreamServer &shared = LocalStreamServer::shared();
    QCOMPARE(&LocalStreamServer::shared(), &shared);
    QCOMPARE(shared.root(), cache);
    const auto url = shared.url(QUrl::fromLocalFile(cache + u"/K1/index.m3u8"_s));
    QVERIFY(url.has_value());
    QCOMPARE(url->toString(), u"http://127.0.0.1:%1/%2/K1/index.m3u8"_s.arg(shared.port()).arg(shared.secret()));
    QCOMPARE(exchange(shared.port(), {get(url->path(QUrl::FullyEncoded).toUtf8())}),
             ok("application/vnd.apple.mpegurl", playlist));
    // The test server's files are not the shared one's.
    QVERIFY(!shared.url(root() + u"/KEY/seg0.m4s"_s));
}

void TestLocalStreamServer::urls_data()
{
    QTest::addColumn<QUrl>("file");
    QTest::addColumn<QString>("expected");  // "" for none; SECRET and PORT filled in

    const QString base = u"http://127.0.0.1:PORT/SECRET/"_s;
    const QString key = root() + u"/KEY"_s;
    QTest::newRow("playlist") << QUrl::fromLocalFile(key + u"/index.m3u8"_s) << base + u"KEY/index.m3u8"_s;
    QTest::newRow("segment") << QUrl::fromLocalFile(key + u"/seg0.m4s"_s) << base + u"KEY/seg0.m4s"_s;
    QTest::newRow("space is encoded") << QUrl::fromLocalFile(key + u"/a b.m4s"_s) << base + u"KEY/a%20b.m4s"_s;
    QTest::newRow("non-ASCII and #") << QUrl::fromLocalFile(key + u"/\u00e9t\u00e9 #1.m4s"_s)
                                     << base + u"KEY/%C3%A9t%C3%A9%20%231.m4s"_s;
    QTest::newRow("not yet written") << QUrl::fromLocalFile(key + u"/seg9.m4s"_s) << base + u"KEY/seg9.m4s"_s;
    QTest::newRow("dot dot inside") << QUrl::fromLocalFile(key + u"/../KEY/init.mp4"_s) << base + u"KEY/init.mp4"_s;
    QTest::newRow("link inside to inside") << QUrl::fromLocalFile(key + u"/alias.m4s"_s) << base + u"KEY/seg0.m4s"_s;
    QTest::newRow("link inside to outside") << QUrl::fromLocalFile(key + u"/escape.m4s"_s) << QString();
    QTest::newRow("folder link to outside") << QUrl::fromLocalFile(key + u"/away/secret.m4s"_s) << QString();
    QTest::newRow("outside") << QUrl::fromLocalFile(m_dir.path() + u"/outside/secret.m4s"_s) << QString();
    QTest::newRow("dot dot out") << QUrl::fromLocalFile(key + u"/../../outside/secret.m4s"_s) << QString();
    QTest::newRow("root itself") << QUrl::fromLocalFile(root()) << QString();
    QTest::newRow("sibling with root as prefix")
        << QUrl::fromLocalFile(root() + u"Other/x.m4s"_s) << QString();
    QTest::newRow("not a file URL") << QUrl(u"http://127.0.0.1/KEY/index.m3u8"_s) << QString();
}

void TestLocalStreamServer::urls()
{
    QFETCH(QUrl, file);
    QFETCH(QString, expected);
    expected.replace(u"SECRET"_s, m_server->secret()).replace(u"PORT"_s, QString::number(m_port));
    const auto url = m_server->url(file);
    if (expected.isEmpty()) {
        QVERIFY2(!url, qPrintable(url ? url->toString() : QString()));
        return;
    }
    QVERIFY(url.has_value());
    QCOMPARE(QString::fromLatin1(url->toEncoded()), expected);
    QCOMPARE(m_server->url(file.toLocalFile()), url);
}

void TestLocalStreamServer::replies_data()
{
    QTest::addColumn<QByteArrayList>("request");  // chunks, each its own write
    QTest::addColumn<bool>("halfClose");
    QTest::addColumn<QByteArray>("expected");     // empty: closed without a reply

    const QByteArray s = "/" + secretMark + "/KEY/";
    const QByteArray seg = s + "seg0.m4s";

    QTest::newRow("playlist") << QByteArrayList{get(s + "index.m3u8")} << false
                              << ok("application/vnd.apple.mpegurl", playlist);
    QTest::newRow("segment") << QByteArrayList{get(seg)} << false << ok(segmentType, segment);
    QTest::newRow("init segment") << QByteArrayList{get(s + "init.mp4")} << false << ok("video/mp4", init);
    QTest::newRow("extension compared exactly")
        << QByteArrayList{get(s + "INDEX.M3U8")} << false << ok("video/mp4", playlist);
    QTest::newRow("empty file") << QByteArrayList{get(s + "empty.m4s")} << false << ok(segmentType, {});
    QTest::newRow("head") << QByteArrayList{"HEAD " + seg + " HTTP/1.1\r\n\r\n"} << false
                          << ok(segmentType, segment, false);
    QTest::newRow("head with range")
        << QByteArrayList{"HEAD " + seg + " HTTP/1.1\r\nRange: bytes=0-1\r\n\r\n"} << false
        << partial(segmentType, segment, 0, 1).left(partial(segmentType, segment, 0, 1).size() - 2);
    QTest::newRow("percent-encoded name") << QByteArrayList{get(s + "a%20b.m4s")} << false
                                          << ok(segmentType, spaced);
    QTest::newRow("link inside the root") << QByteArrayList{get(s + "alias.m4s")} << false
                                          << ok(segmentType, segment);
    QTest::newRow("doubled slashes") << QByteArrayList{get("//" + secretMark + "//KEY//seg0.m4s")}
                                     << false << ok(segmentType, segment);
    QTest::newRow("bare line feeds") << QByteArrayList{"GET " + seg + " HTTP/1.1\n\n"} << false
                                     << ok(segmentType, segment);

    QTest::newRow("range first two bytes") << QByteArrayList{ranged(seg, "0-1")} << false
                                           << partial(segmentType, segment, 0, 1);
    QTest::newRow("range open-ended") << QByteArrayList{ranged(seg, "500-")} << false
                                      << partial(segmentType, segment, 500, 999);
    QTest::newRow("range without start") << QByteArrayList{ranged(seg, "-100")} << false
                                         << partial(segmentType, segment, 0, 100);
    QTest::newRow("range end past the file") << QByteArrayList{ranged(seg, "0-99999")} << false
                                             << partial(segmentType, segment, 0, 999);
    QTest::newRow("range last byte") << QByteArrayList{ranged(seg, "999-999")} << false
                                     << partial(segmentType, segment, 999, 999);
    QTest::newRow("range reversed") << QByteArrayList{ranged(seg, "900-100")} << false
                                    << ok(segmentType, segment);
    QTest::newRow("range start past the file") << QByteArrayList{ranged(seg, "1000-")} << false
                                               << ok(segmentType, segment);
    QTest::newRow("range not numbers") << QByteArrayList{ranged(seg, "abc-def")} << false
                                       << partial(segmentType, segment, 0, 999);
    QTest::newRow("range several") << QByteArrayList{ranged(seg, "0-1,5-6")} << false
                                   << partial(segmentType, segment, 0, 999);
    QTest::newRow("range on empty file") << QByteArrayList{ranged(s + "empty.m4s", "0-1")} << false
                                         << ok(segmentType, {});
    QTest::newRow("range in capitals") << QByteArrayList{get(seg, "RANGE: BYTES=10-19\r\n")} << false
                                       << partial(segmentType, segment, 10, 19);
    QTest::newRow("range after other headers")
        << QByteArrayList{get(seg, "User-Agent: t\r\nAccept: */*\r\nrange: bytes=5-6\r\n")} << false
        << partial(segmentType, segment, 5, 6);
    QTest::newRow("first range line wins")
        << QByteArrayList{get(seg, "Range: bytes=1-2\r\nRange: bytes=3-4\r\n")} << false
        << partial(segmentType, segment, 1, 2);
    QTest::newRow("range without space is not one") << QByteArrayList{get(seg, "Range:bytes=0-1\r\n")}
                                                    << false << ok(segmentType, segment);

    QTest::newRow("post") << QByteArrayList{"POST " + seg + " HTTP/1.1\r\nContent-Length: 0\r\n\r\n"}
                          << false << notAllowed;
    QTest::newRow("post with a large body")
        << QByteArrayList{"POST " + seg + " HTTP/1.1\r\nContent-Length: 200000\r\n\r\n"
                          + QByteArray(200000, 'x')}
        << false << notAllowed;
    QTest::newRow("lower-case method") << QByteArrayList{"get " + seg + " HTTP/1.1\r\n\r\n"} << false
                                       << notAllowed;
    QTest::newRow("method alone") << QByteArrayList{"GET\r\n\r\n"} << false << notAllowed;
    QTest::newRow("empty request line") << QByteArrayList{"\r\n\r\n"} << false << notAllowed;
    QTest::newRow("garbage text") << QByteArrayList{"\x01\x02 hello\r\n\r\n"} << false << notAllowed;
    QTest::newRow("not UTF-8") << QByteArrayList{"GET /\xff\xfe HTTP/1.1\r\n\r\n"} << false << QByteArray();
    QTest::newRow("overlong UTF-8") << QByteArrayList{"GET /\xc0\xaf HTTP/1.1\r\n\r\n"} << false
                                    << QByteArray();
    QTest::newRow("nothing sent") << QByteArrayList{} << true << QByteArray();

    QTest::newRow("wrong secret") << QByteArrayList{get("/00000000-0000-4000-8000-000000000000/KEY/seg0.m4s")}
                                  << false << notFound;
    QTest::newRow("secret only") << QByteArrayList{get("/" + secretMark + "/")} << false << notFound;
    QTest::newRow("root") << QByteArrayList{get("/")} << false << notFound;
    QTest::newRow("dot dot") << QByteArrayList{get(s + "../KEY/seg0.m4s")} << false << notFound;
    QTest::newRow("dot") << QByteArrayList{get(s + "./seg0.m4s")} << false << notFound;
    QTest::newRow("encoded dot dot") << QByteArrayList{get(s + "%2e%2E/%2E%2e/outside/secret.m4s")}
                                     << false << notFound;
    QTest::newRow("encoded slashes and dot dot")
        << QByteArrayList{get(s + "..%2F..%2Foutside%2Fsecret.m4s")} << false << notFound;
    QTest::newRow("bad percent encoding") << QByteArrayList{get(s + "seg0%zz.m4s")} << false << notFound;
    QTest::newRow("percent at the end") << QByteArrayList{get(s + "seg0.m4s%")} << false << notFound;
    QTest::newRow("encoded bytes not UTF-8") << QByteArrayList{get(s + "%ff.m4s")} << false << notFound;
    QTest::newRow("encoded NUL") << QByteArrayList{get(s + "seg0.m4s%00.txt")} << false << notFound;
    QTest::newRow("link out of the root") << QByteArrayList{get(s + "escape.m4s")} << false << notFound;
    QTest::newRow("folder link out of the root") << QByteArrayList{get(s + "away/secret.m4s")} << false
                                                 << notFound;
    QTest::newRow("absolute path after secret")
        << QByteArrayList{get("/" + secretMark + "/" + m_dir.path().toUtf8() + "/outside/secret.m4s")}
        << false << notFound;
    QTest::newRow("missing file") << QByteArrayList{get(s + "seg7.m4s")} << false << notFound;
    QTest::newRow("folder") << QByteArrayList{get(s + "folder.m4s")} << false << notFound;
    QTest::newRow("FIFO") << QByteArrayList{get(s + "fifo.m4s")} << false << notFound;
    QTest::newRow("query string is part of the name") << QByteArrayList{get(seg + "?x=1")} << false
                                                      << notFound;

    const QByteArray full = get(seg);
    QTest::newRow("head split over three writes")
        << QByteArrayList{full.left(5), full.mid(5, 20), full.mid(25)} << false << ok(segmentType, segment);
    QTest::newRow("blank line split between writes")
        << QByteArrayList{full.left(full.size() - 1), full.right(1)} << false << ok(segmentType, segment);
    QTest::newRow("head without blank line, then end of sending")
        << QByteArrayList{"GET " + seg + " HTTP/1.1\r\n"} << true << ok(segmentType, segment);
    QTest::newRow("head never finished") << QByteArrayList{"GET " + seg + " HTTP/1.1\r\n"} << false
                                         << QByteArray();
    QByteArray padded = "GET " + seg + " HTTP/1.1\r\nX-Pad: ";
    padded += QByteArray(16384 - padded.size(), 'a');
    QTest::newRow("16 KiB head without blank line") << QByteArrayList{padded, "more\r\n\r\n"} << false
                                                    << ok(segmentType, segment);
    QTest::newRow("16 KiB of garbage") << QByteArrayList{QByteArray(16384, 'z'), QByteArray(5000, 'z')}
                                       << false << notAllowed;
}

void TestLocalStreamServer::replies()
{
    QFETCH(QByteArrayList, request);
    QFETCH(bool, halfClose);
    QFETCH(QByteArray, expected);
    for (QByteArray &chunk : request)
        chunk.replace(secretMark, m_server->secret().toUtf8());

    const QByteArray reply = exchange(m_port, request, halfClose);
    if (reply != expected) {
        qWarning("got %lld bytes: %s", qint64(reply.size()), reply.left(400).toPercentEncoding(" \r\n:/-.").constData());
        qWarning("expected %lld bytes: %s", qint64(expected.size()),
                 expected.left(400).toPercentEncoding(" \r\n:/-.").constData());
    }
    QCOMPARE(reply.size(), expected.size());
    QVERIFY(reply == expected);
    // Whatever came before, the server still answers.
    QCOMPARE(exchange(m_port, {get("/" + m_server->secret().toUtf8() + "/KEY/init.mp4")}),
             ok("video/mp4", init));
}

void TestLocalStreamServer::servesThroughSymlinkedRoot()
{
    const QString linked = m_dir.path() + u"/linked-root"_s;
    QVERIFY(QFile::link(root(), linked));
    LocalStreamServer server(linked);
    const auto url = server.url(root() + u"/KEY/seg0.m4s"_s);
    QVERIFY(url.has_value());
    QCOMPARE(server.url(linked + u"/KEY/seg0.m4s"_s), url);
    QVERIFY(server.port() != 0 && server.port() != m_port);
    const QByteArray target = url->path(QUrl::FullyEncoded).toUtf8();
    QCOMPARE(exchange(server.port(), {get(target)}), ok(segmentType, segment));
    // The outside file is still out of reach through the linked root.
    QCOMPARE(exchange(server.port(), {get("/" + server.secret().toUtf8() + "/KEY/escape.m4s")}), notFound);
}

void TestLocalStreamServer::namedThread()
{
    // Linux keeps the first 15 bytes of a thread's name.
    QStringList names;
    for (const QFileInfo &task : QDir(u"/proc/self/task"_s).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(task.filePath() + u"/comm"_s);
        if (comm.open(QIODevice::ReadOnly))
            names << QString::fromUtf8(comm.readAll().trimmed());
    }
    QVERIFY2(names.contains(u"Moxtrel.LocalSt"_s), qPrintable(names.join(u", "_s)));
}

void TestLocalStreamServer::survivesDroppedConnections_data()
{
    QTest::addColumn<int>("batch");  // connections held open together
    QTest::addColumn<bool>("halfHeads");  // every one sends half a head
    QTest::newRow("ten batches of a hundred") << 100 << false;
    QTest::newRow("a thousand at once") << 1000 << false;
    // More than the server holds at a time: the last ones wait in the backlog
    // until the idle ones time out.
    QTest::newRow("a thousand half heads at once") << 1000 << true;
}

void TestLocalStreamServer::survivesDroppedConnections()
{
    // A thousand connections: some silent, some with half a head, some reset.
    // While the last batch is still held open, and after it is dropped, the
    // server answers a real request.
    QFETCH(int, batch);
    QFETCH(bool, halfHeads);
    rlimit files{};
    QVERIFY(::getrlimit(RLIMIT_NOFILE, &files) == 0);
    if (files.rlim_cur < 4096 && files.rlim_max > files.rlim_cur) {
        files.rlim_cur = std::min<rlim_t>(4096, files.rlim_max);
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    const QByteArray s = "/" + m_server->secret().toUtf8() + "/KEY/";
    int opened = 0;
    while (opened < 1000) {
        QList<int> sockets;
        for (int i = 0; i < batch; ++i) {
            const int fd = connectTo(m_port);
            QVERIFY2(fd >= 0, qPrintable(QString::number(opened)));
            ++opened;
            if (halfHeads || i % 3 == 1)
                ::send(fd, "GET /", 5, MSG_NOSIGNAL);
            if (!halfHeads && i % 3 == 2) {
                const linger reset{1, 0};
                ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            }
            sockets << fd;
        }
        if (opened == 1000)
            QCOMPARE(exchange(m_port, {ranged(s + "seg0.m4s", "1-3")}), partial(segmentType, segment, 1, 3));
        for (int fd : std::as_const(sockets))
            ::close(fd);
    }
    QCOMPARE(exchange(m_port, {get(s + "seg0.m4s")}), ok(segmentType, segment));
    QCOMPARE(m_server->port(), m_port);
}

void TestLocalStreamServer::survivesClientsLeavingMidBody_data()
{
    QTest::addColumn<bool>("reset");
    QTest::newRow("reset") << true;
    QTest::newRow("plain close") << false;
}

void TestLocalStreamServer::survivesClientsLeavingMidBody()
{
    QFETCH(bool, reset);
    // Far larger than the socket buffers, so the server is still sending when the
    // client goes away.
    const QString big = root() + u"/KEY/big.m4s"_s;
    if (!QFile::exists(big))
        QVERIFY(writeFile(big, pattern(48 << 20, 4)));
    const QByteArray s = "/" + m_server->secret().toUtf8() + "/KEY/";
    for (int i = 0; i < 5; ++i) {
        const int fd = connectTo(m_port);
        QVERIFY(fd >= 0);
        const QByteArray request = get(s + "big.m4s");
        QCOMPARE(::send(fd, request.constData(), request.size(), MSG_NOSIGNAL), request.size());
        char buffer[65536];
        QVERIFY(::recv(fd, buffer, sizeof buffer, MSG_WAITALL) > 0);
        if (reset) {
            const linger abort{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        }
        ::close(fd);
    }
    QCOMPARE(exchange(m_port, {get(s + "seg0.m4s")}), ok(segmentType, segment));
}

void TestLocalStreamServer::concurrentClientsGetTheirOwnBytes()
{
    // Sixteen clients at once, each asking for its own large slice of one file,
    // so that the server interleaves many unfinished replies.
    const QString big = root() + u"/KEY/big.m4s"_s;
    if (!QFile::exists(big))
        QVERIFY(writeFile(big, pattern(48 << 20, 4)));
    QFile file(big);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    const QByteArray target = "/" + m_server->secret().toUtf8() + "/KEY/big.m4s";

    constexpr int clients = 16;
    std::vector<QByteArray> replies(clients), expected(clients);
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i) {
        const int start = i * 2'900'000 + i;
        const int end = start + 5'000'000 + i * 1013;
        expected[i] = partial(segmentType, whole, start, end);
        const QByteArray request = ranged(target, QByteArray::number(start) + '-' + QByteArray::number(end));
        threads.emplace_back([this, i, request, &replies] { replies[i] = exchange(m_port, {request}); });
    }
    for (std::thread &thread : threads)
        thread.join();
    for (int i = 0; i < clients; ++i) {
        QCOMPARE(replies[i].size(), expected[i].size());
        QVERIFY2(replies[i] == expected[i], qPrintable(QString::number(i)));
    }
}

void TestLocalStreamServer::curlRanges_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("whole") << QStringList{} << u"seg0.m4s"_s << 200 << segment;
    QTest::newRow("first two bytes") << QStringList{u"-r"_s, u"0-1"_s} << u"seg0.m4s"_s << 206 << segment.left(2);
    QTest::newRow("middle") << QStringList{u"-r"_s, u"100-199"_s} << u"seg0.m4s"_s << 206 << segment.mid(100, 100);
    QTest::newRow("open-ended") << QStringList{u"-r"_s, u"500-"_s} << u"seg0.m4s"_s << 206 << segment.mid(500);
    QTest::newRow("end past the file") << QStringList{u"-r"_s, u"990-5000"_s} << u"seg0.m4s"_s << 206
                                       << segment.mid(990);
    QTest::newRow("reversed") << QStringList{u"-r"_s, u"900-100"_s} << u"seg0.m4s"_s << 200 << segment;
    QTest::newRow("playlist") << QStringList{} << u"index.m3u8"_s << 200 << playlist;
    QTest::newRow("encoded name") << QStringList{} << u"a b.m4s"_s << 200 << spaced;
    QTest::newRow("non-ASCII name") << QStringList{} << u"\u00e9t\u00e9 #1.m4s"_s << 200 << spaced;
    QTest::newRow("head") << QStringList{u"-I"_s} << u"init.mp4"_s << 200 << QByteArray();
}

void TestLocalStreamServer::curlRanges()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, file);
    QFETCH(int, status);
    QFETCH(QByteArray, body);

    const auto url = m_server->url(root() + u"/KEY/"_s + file);
    QVERIFY(url.has_value());
    const QString out = m_dir.path() + u"/curl.out"_s;
    QFile::remove(out);
    QByteArray written;
    const int code = TestSupport::run(u"curl"_s, QStringList{u"-s"_s, u"-S"_s, u"-o"_s, out, u"-w"_s,
                                                            u"%{http_code} %{content_type}"_s}
                                                     + arguments + QStringList{url->toString(QUrl::FullyEncoded)},
                                      &written, 30000);
    QCOMPARE(code, 0);
    const QList<QByteArray> reported = written.split(' ');
    QCOMPARE(reported.value(0).toInt(), status);
    if (arguments.contains(u"-I"_s)) {
        QCOMPARE(reported.value(1), QByteArray("video/mp4"));
        QFile head(out);
        QVERIFY(head.open(QIODevice::ReadOnly));
        QCOMPARE(head.readAll(), ok("video/mp4", init, false));
        return;
    }
    QFile result(out);
    QVERIFY(result.open(QIODevice::ReadOnly));
    QCOMPARE(result.readAll(), body);
}

void TestLocalStreamServer::playsHlsToTheEnd()
{
    const QString folder = root() + u"/HLSKEY"_s;
    QVERIFY(QDir().mkpath(folder));
    const QString made = TestSupport::makeMedia(folder + u"/index.m3u8"_s, {
        u"-f"_s, u"lavfi"_s, u"-i"_s, u"testsrc=d=6:s=320x240:r=25"_s,
        u"-f"_s, u"lavfi"_s, u"-i"_s, u"sine=f=440:d=6"_s,
        u"-c:v"_s, u"libx264"_s, u"-preset"_s, u"veryfast"_s, u"-g"_s, u"25"_s, u"-pix_fmt"_s, u"yuv420p"_s,
        u"-c:a"_s, u"aac"_s, u"-f"_s, u"hls"_s, u"-hls_time"_s, u"1"_s,
        u"-hls_segment_type"_s, u"fmp4"_s, u"-hls_playlist_type"_s, u"event"_s,
        u"-hls_fmp4_init_filename"_s, u"init.mp4"_s,
        u"-hls_segment_filename"_s, folder + u"/seg%d.m4s"_s});
    QVERIFY(!made.isEmpty());

    const auto url = m_server->url(QUrl::fromLocalFile(made));
    QVERIFY(url.has_value());
    QByteArray output;
    const int code = TestSupport::run(u"gst-launch-1.0"_s, {
        u"-v"_s, u"playbin3"_s, u"uri="_s + url->toString(QUrl::FullyEncoded),
        u"video-sink=fakesink name=vsink sync=false silent=false"_s,
        u"audio-sink=fakesink name=asink sync=false"_s}, &output, 120000);
    QVERIFY2(code == 0, output.right(2000).constData());
    QVERIFY2(output.contains("Got EOS"), output.right(2000).constData());

    // The last video frame that reached the sink must be near the clip's end.
    static const QRegularExpression frame(u"vsink.*pts: (\\d+):(\\d+):(\\d+\\.\\d+)"_s);
    double last = -1;
    int frames = 0;
    for (const QByteArray &line : output.split('\n')) {
        const auto match = frame.match(QString::fromUtf8(line));
        if (!match.hasMatch())
            continue;
        ++frames;
        last = std::max(last, match.captured(1).toDouble() * 3600 + match.captured(2).toDouble() * 60
                                  + match.captured(3).toDouble());
    }
    QVERIFY2(frames >= 140, qPrintable(QString::number(frames)));
    QVERIFY2(last >= 5.9, qPrintable(QString::number(last)));
}

QTEST_GUILESS_MAIN(TestLocalStreamServer)
#include "tst_localstreamserver.moc"
