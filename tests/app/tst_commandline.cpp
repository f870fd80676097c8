#include "app/CommandLine.h"
#include "app/SingleInstance.h"

#include <QTest>

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void requestRoundTrip_data();
    void requestRoundTrip();
    void badRequests_data();
    void badRequests();
};

void TestCommandLine::parse_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("action");
    QTest::addColumn<QStringList>("files");  // local paths, or URLs as given
    QTest::addColumn<QStringList>("commandArgs");

    using A = CommandLine::Action;
    QTest::newRow("nothing") << QStringList{} << int(A::open) << QStringList{} << QStringList{};
    QTest::newRow("relative and absolute files")
        << QStringList{"a.mkv", "../b.mp3", "/m/c d.png"} << int(A::open)
        << QStringList{"/work/dir/a.mkv", "/work/b.mp3", "/m/c d.png"} << QStringList{};
    QTest::newRow("a file URL") << QStringList{"file:///m/x.mp4"} << int(A::open) << QStringList{"/m/x.mp4"}
                                << QStringList{};
    QTest::newRow("--convert with files") << QStringList{"--convert", "a.mkv", "b.docx"} << int(A::convert)
                                          << QStringList{"/work/dir/a.mkv", "/work/dir/b.docx"} << QStringList{};
    QTest::newRow("--version") << QStringList{"--version"} << int(A::version) << QStringList{} << QStringList{};
    QTest::newRow("--help wins over files") << QStringList{"a.mkv", "--help"} << int(A::help) << QStringList{}
                                            << QStringList{};
    QTest::newRow("convert subcommand") << QStringList{"convert", "--to", "mp4", "x.mkv"} << int(A::convertCommand)
                                        << QStringList{} << QStringList{"--to", "mp4", "x.mkv"};
    QTest::newRow("a file after -- may start with a dash")
        << QStringList{"--", "--odd.mp4"} << int(A::open) << QStringList{"/work/dir/--odd.mp4"} << QStringList{};
    QTest::newRow("unknown option") << QStringList{"--frobnicate", "a.mkv"} << int(A::invalid) << QStringList{}
                                    << QStringList{};
}

void TestCommandLine::parse()
{
    QFETCH(QStringList, args);
    QFETCH(int, action);
    QFETCH(QStringList, files);
    QFETCH(QStringList, commandArgs);

    const CommandLine line = CommandLine::parse(args, QStringLiteral("/work/dir"));
    QCOMPARE(int(line.action), action);
    QStringList paths;
    for (const QUrl &url : line.files)
        paths << (url.isLocalFile() ? url.toLocalFile() : url.toString());
    QCOMPARE(paths, files);
    QCOMPARE(line.commandArgs, commandArgs);
    QCOMPARE(line.error.isEmpty(), action != int(CommandLine::Action::invalid));
}

void TestCommandLine::requestRoundTrip_data()
{
    using Kind = SingleInstance::Request::Kind;
    QTest::addColumn<int>("kind");
    QTest::addColumn<QList<QUrl>>("files");
    QTest::newRow("reopen") << int(Kind::reopen) << QList<QUrl>{};
    QTest::newRow("open, odd names") << int(Kind::open)
                                     << QList<QUrl>{QUrl::fromLocalFile("/m/a b#1?.mkv"),
                                                    QUrl::fromLocalFile(QStringLiteral("/m/caf\u00e9 \U0001F600.mp3"))};
    QTest::newRow("convert") << int(Kind::convert) << QList<QUrl>{QUrl::fromLocalFile("/m/x.docx")};
}

void TestCommandLine::requestRoundTrip()
{
    QFETCH(int, kind);
    QFETCH(QList<QUrl>, files);
    const SingleInstance::Request request{SingleInstance::Request::Kind(kind), files};
    const QByteArray line = request.encode();
    QVERIFY(line.endsWith('\n'));
    QCOMPARE(line.count('\n'), 1);  // one line per request, whatever the names hold
    const auto decoded = SingleInstance::Request::decode(line);
    QVERIFY(decoded);
    QCOMPARE(*decoded, request);
}

void TestCommandLine::badRequests_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("not JSON") << QByteArray("open /etc/passwd\n");
    QTest::newRow("unknown kind") << QByteArray(R"({"kind":"delete","files":[]})");
    QTest::newRow("files not a list") << QByteArray(R"({"kind":"open","files":"a"})");
    QTest::newRow("a file not a string") << QByteArray(R"({"kind":"open","files":[3]})");
    QTest::newRow("empty") << QByteArray("\n");
}

void TestCommandLine::badRequests()
{
    QFETCH(QByteArray, line);
    QVERIFY(!SingleInstance::Request::decode(line));
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
