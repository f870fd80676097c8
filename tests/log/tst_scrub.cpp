#include "log/Log.h"
#include "log/Scrubber.h"

#include <QTest>

class TestScrub : public QObject
{
    Q_OBJECT

private slots:
    void scrub_data();
    void scrub();
    void replacementsLongestFirst();
    void currentUserIsScrubbed();
};

namespace {

Scrubber::Identity identity()
{
    return {QStringLiteral("/home/tester"), QStringLiteral("Ann Lee"), QStringLiteral("al"),
            QStringLiteral("studio-box")};
}

} // namespace

void TestScrub::scrub_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("expected");

    QTest::newRow("home folder") << "Opened /home/tester/Movies/a.mkv" << "Opened ~/Movies/a.mkv";
    QTest::newRow("home folder, other case") << "Opened /HOME/Tester/a.mkv" << "Opened ~/a.mkv";
    QTest::newRow("full name") << "Hello Ann Lee!" << "Hello <user>!";
    QTest::newRow("name words in any case") << "ANN met lee" << "<user> met <user>";
    QTest::newRow("name inside a longer word") << "Annabel Fleet" << "<user>abel F<user>t";
    QTest::newRow("short name of two letters stays") << "al and AL" << "al and AL";
    QTest::newRow("computer name") << "host Studio-Box here" << "host <mac> here";
    QTest::newRow("other user's folder") << "/Users/bob/Movies/x.mp4" << "/Users/<user>/Movies/x.mp4";
    QTest::newRow("other user's home folder") << "/home/bob/Music/y.flac" << "/home/<user>/Music/y.flac";
    QTest::newRow("e-mail") << "mail bob.smith+tag@example.co.uk now" << "mail <email> now";
    QTest::newRow("https with port, path and query")
        << "GET https://media.example.com:8443/a/b.m3u8?token=x#f done"
        << QStringLiteral("GET https://media.example.com:8443/\u2026 done");
    QTest::newRow("http without path") << "see http://example.org" << QStringLiteral("see http://example.org/\u2026");
    QTest::newRow("phone number") << "call +1 (555) 123-4567 now" << "call <number> now";
    QTest::newRow("phone number, plain") << "call 555 123 4567 now" << "call <number> now";
    QTest::newRow("digits after #") << "ticket #5551234567 open" << "ticket #5551234567 open";
    QTest::newRow("digits before a full stop") << "id 5551234567.mp4" << "id 5551234567.mp4";
    QTest::newRow("digits in dotted groups") << "v 555.123.4567 x" << "v 555.123.4567 x";
    QTest::newRow("loopback address kept apart from numbers")
        << "http://127.0.0.1:5000/abc/def.ts" << QStringLiteral("http://127.0.0.1:5000/\u2026");
    QTest::newRow("nothing personal") << "Playback started at 12.5 s" << "Playback started at 12.5 s";
}

void TestScrub::scrub()
{
    QFETCH(QString, message);
    QFETCH(QString, expected);
    QCOMPARE(Scrubber(identity()).scrub(message), expected);
}

void TestScrub::replacementsLongestFirst()
{
    const auto pairs = Scrubber(identity()).replacements();
    QStringList finds;
    for (const auto &pair : pairs)
        finds << pair.first;
    // Equal lengths keep their order: home first, then the names, then the computer.
    QCOMPARE(finds, (QStringList{"/home/tester", "studio-box", "Ann Lee", "Ann", "Lee"}));
}

void TestScrub::currentUserIsScrubbed()
{
    const Scrubber::Identity me = Scrubber::current();
    QVERIFY(!me.home.isEmpty());
    QCOMPARE(Log::scrub(me.home + QStringLiteral("/x.mkv")), QStringLiteral("~/x.mkv"));
}

QTEST_GUILESS_MAIN(TestScrub)
#include "tst_scrub.moc"
