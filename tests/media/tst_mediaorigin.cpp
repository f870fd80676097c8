#include "media/MediaEntry.h"
#include "media/MediaOrigin.h"
#include "media/PlayerMediaKind.h"

#include <QJsonDocument>
#include <QTest>

class TestMediaOrigin : public QObject
{
    Q_OBJECT

private slots:
    void kindRawValues_data();
    void kindRawValues();
    void encode_data();
    void encode();
    void decodeFailure_data();
    void decodeFailure();
    void equality_data();
    void equality();
    void entryEquality();
};

namespace {
QJsonObject parse(const char *json)
{
    return QJsonDocument::fromJson(json).object();
}
} // namespace

void TestMediaOrigin::kindRawValues_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("kind");
    QTest::newRow("video") << "video" << true << int(PlayerMediaKind::video);
    QTest::newRow("audio") << "audio" << true << int(PlayerMediaKind::audio);
    QTest::newRow("image") << "image" << true << int(PlayerMediaKind::image);
    QTest::newRow("upper case") << "Video" << false << 0;
    QTest::newRow("other") << "movie" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
}

void TestMediaOrigin::kindRawValues()
{
    QFETCH(QString, raw);
    QFETCH(bool, valid);
    QFETCH(int, kind);
    const auto parsed = playerMediaKind(raw);
    QCOMPARE(parsed.has_value(), valid);
    if (valid) {
        QCOMPARE(int(*parsed), kind);
        QCOMPARE(rawValue(*parsed), raw);
    }
}

void TestMediaOrigin::encode_data()
{
    QTest::addColumn<MediaOrigin>("origin");
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("none") << MediaOrigin::none() << QByteArray(R"({"none":{}})");
    QTest::newRow("file") << MediaOrigin::file(QStringLiteral("/home/u/Movies/a b.mkv"))
                          << QByteArray(R"({"file":{"_0":"/home/u/Movies/a b.mkv"}})");
    QTest::newRow("server") << MediaOrigin::server(QStringLiteral("srv"), QStringLiteral("lib"),
                                                   QStringLiteral("/x/y.mp4"), true)
                            << QByteArray(R"({"server":{"_0":"srv","_1":"lib","_2":"/x/y.mp4","_3":true}})");
    QTest::newRow("server without hls") << MediaOrigin::server(QStringLiteral("s"), QStringLiteral("l"),
                                                               QStringLiteral("p"), false)
                                        << QByteArray(R"({"server":{"_0":"s","_1":"l","_2":"p","_3":false}})");
}

void TestMediaOrigin::encode()
{
    QFETCH(MediaOrigin, origin);
    QFETCH(QByteArray, json);
    QCOMPARE(QJsonDocument(origin.toJson()).toJson(QJsonDocument::Compact), json);
    QString error;
    const auto decoded = MediaOrigin::fromJson(QJsonDocument::fromJson(json).object(), &error);
    QVERIFY2(decoded, qPrintable(error));
    QCOMPARE(*decoded, origin);
}

void TestMediaOrigin::decodeFailure_data()
{
    QTest::addColumn<QJsonValue>("json");
    QTest::addColumn<QString>("error");
    const QString keys = QStringLiteral("Invalid number of keys found, expected one.");
    QTest::newRow("file and none") << QJsonValue(parse(R"({"file":{"_0":"/a"},"none":{}})")) << keys;
    QTest::newRow("no key") << QJsonValue(parse("{}")) << keys;
    QTest::newRow("unknown key only") << QJsonValue(parse(R"({"stream":{}})")) << keys;
    QTest::newRow("missing _0") << QJsonValue(parse(R"({"file":{}})"))
                                << "No value associated with key CodingKeys(stringValue: \"_0\", intValue: nil) "
                                   "(\"_0\").";
    QTest::newRow("path of wrong type") << QJsonValue(parse(R"({"file":{"_0":3}})"))
                                        << "Expected to decode String but found number instead.";
    QTest::newRow("server missing _3")
        << QJsonValue(parse(R"({"server":{"_0":"s","_1":"l","_2":"p"}})"))
        << "No value associated with key CodingKeys(stringValue: \"_3\", intValue: nil) (\"_3\").";
    QTest::newRow("hls as string") << QJsonValue(parse(R"({"server":{"_0":"s","_1":"l","_2":"p","_3":"yes"}})"))
                                   << "Expected to decode Bool but found string instead.";
    QTest::newRow("not an object") << QJsonValue(QStringLiteral("file"))
                                   << "Expected to decode Dictionary<String, Any> but found string instead.";
}

void TestMediaOrigin::decodeFailure()
{
    QFETCH(QJsonValue, json);
    QFETCH(QString, error);
    QString message;
    QVERIFY(!MediaOrigin::fromJson(json, &message));
    QCOMPARE(message, error);
}

void TestMediaOrigin::equality_data()
{
    QTest::addColumn<MediaOrigin>("a");
    QTest::addColumn<MediaOrigin>("b");
    QTest::addColumn<bool>("equal");
    const auto server = [](const char *id, bool hls) {
        return MediaOrigin::server(QString::fromLatin1(id), QStringLiteral("l"), QStringLiteral("p"), hls);
    };
    QTest::newRow("none, none") << MediaOrigin::none() << MediaOrigin() << true;
    QTest::newRow("same file") << MediaOrigin::file("/a") << MediaOrigin::file("/a") << true;
    QTest::newRow("other file") << MediaOrigin::file("/a") << MediaOrigin::file("/b") << false;
    QTest::newRow("file and none") << MediaOrigin::file("") << MediaOrigin::none() << false;
    QTest::newRow("server differs in hls") << server("s", true) << server("s", false) << false;
    QTest::newRow("server differs in id") << server("s", true) << server("t", true) << false;
    QTest::newRow("same server") << server("s", true) << server("s", true) << true;
}

void TestMediaOrigin::equality()
{
    QFETCH(MediaOrigin, a);
    QFETCH(MediaOrigin, b);
    QFETCH(bool, equal);
    QCOMPARE(a == b, equal);
}

void TestMediaOrigin::entryEquality()
{
    const QUrl url = QUrl::fromLocalFile(QStringLiteral("/m/a.mkv"));
    const MediaEntry a{url, QStringLiteral("a.mkv"), PlayerMediaKind::video, true, QStringLiteral("/m/a.mkv"), {}};
    MediaEntry b = a;
    QCOMPARE(a, b);
    QCOMPARE(b.origin, MediaOrigin::none());
    b.origin = MediaOrigin::file(QStringLiteral("/m/a.mkv"));
    QVERIFY(!(a == b));
}

QTEST_GUILESS_MAIN(TestMediaOrigin)
#include "tst_mediaorigin.moc"
