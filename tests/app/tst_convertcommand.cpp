#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <unistd.h>

using namespace TestSupport;

namespace {

QString executable()
{
    // Tests live in <build>/tests; the program is at the build root.
    return QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../zentrova-media"));
}

QByteArray hashOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
                                          : QByteArray();
}

QString probeField(const QString &path, const char *stream, const char *field)
{
    QByteArray out;
    run(QStringLiteral("ffprobe"), {"-v", "error", "-select_streams", stream, "-show_entries",
                                    QStringLiteral("stream=") + QLatin1String(field), "-of", "csv=p=0", path},
        &out);
    return QString::fromUtf8(out).trimmed();
}

struct Result
{
    int code = -1;
    QString out;
    QString err;
};

} // namespace

class TestConvertCommand : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void help();
    void usageErrors_data();
    void usageErrors();
    void convertsAsANewcomerWould();
    void redrawsInPlaceOnATerminal();
    void results_data();
    void results();
    void outputFolderAndSize();
    void folderWithoutWritePermission();
    void estimateWritesNothing();
    void missingFFmpeg();
    void interruptStopsCleanly();

private:
    Result convert(const QStringList &args, const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(),
                   const QStringList &wrapper = {});
    QString media(const QString &name) const { return m_media.filePath(name); }

    std::unique_ptr<TempHome> m_home;
    QTemporaryDir m_media;
    std::unique_ptr<QTemporaryDir> m_work;
};

void TestConvertCommand::initTestCase()
{
    m_home = std::make_unique<TempHome>();
    QVERIFY2(QFileInfo(executable()).isExecutable(), qPrintable(executable()));
    QVERIFY(!makeMedia(media("some.mkv"), {"-f", "lavfi", "-i", "testsrc=d=3:s=320x240:r=25", "-f", "lavfi", "-i",
                                           "sine=d=3", "-c:v", "libx264", "-c:a", "aac", "-shortest"})
                 .isEmpty());
    QVERIFY(!makeMedia(media("long.mkv"), {"-f", "lavfi", "-i", "testsrc=d=60:s=640x480:r=25", "-f", "lavfi", "-i",
                                           "sine=d=60", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac",
                                           "-shortest"})
                 .isEmpty());
    QVERIFY(!makeMedia(media("silent.mkv"), {"-f", "lavfi", "-i", "testsrc=d=2:s=160x120", "-c:v", "libx264"})
                 .isEmpty());
    QVERIFY(!makeMedia(media("photo.png"), {"-f", "lavfi", "-i", "color=green:s=32x32", "-frames:v", "1"}).isEmpty());
    QFile zip(media("archive.zip"));
    QVERIFY(zip.open(QIODevice::WriteOnly));
    zip.write(QByteArray("PK\x03\x04", 4) + QByteArray(60, '\0'));
}

void TestConvertCommand::init()
{
    m_work = std::make_unique<QTemporaryDir>();
    QVERIFY(m_work->isValid());
}

Result TestConvertCommand::convert(const QStringList &args, const QProcessEnvironment &env, const QStringList &wrapper)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(m_work->path());
    if (wrapper.isEmpty())
        process.start(executable(), QStringList{QStringLiteral("convert")} + args);
    else
        process.start(wrapper.first(), wrapper.mid(1) + QStringList{executable(), QStringLiteral("convert")} + args);
    Result result;
    if (!process.waitForFinished(180000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

void TestConvertCommand::help()
{
    const Result r = convert({QStringLiteral("--help")});
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.startsWith(QStringLiteral("Usage: zentrova-media convert --to ID")));
    // Every kind's formats, under the kind's title, in display order.
    const qsizetype videos = r.out.indexOf(QStringLiteral("  Videos:\n    mp4 "));
    const qsizetype audio = r.out.indexOf(QStringLiteral("  Music & audio:\n    mp3 "));
    const qsizetype pictures = r.out.indexOf(QStringLiteral("  Pictures:\n    jpeg "));
    const qsizetype pdfs = r.out.indexOf(QStringLiteral("  PDFs:\n    pdf-png "));
    const qsizetype documents = r.out.indexOf(QStringLiteral("  Documents:\n    doc-pdf "));
    QVERIFY(videos > 0 && videos < audio && audio < pictures && pictures < pdfs && pdfs < documents);
    QVERIFY(r.out.contains(QStringLiteral("    mov-prores  MOV (ProRes 422)\n")));
    QVERIFY(r.out.contains(QStringLiteral("    txt         Plain text (.txt)\n")));
}

void TestConvertCommand::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("no format") << QStringList{"some.mkv"} << "Choose a format with --to";
    QTest::newRow("unknown format") << QStringList{"--to", "mpeg2", "some.mkv"} << "Unknown format \"mpeg2\"";
    QTest::newRow("format without value") << QStringList{"some.mkv", "--to"} << "--to needs a value.";
    QTest::newRow("bad quality") << QStringList{"--to", "mp4", "--quality", "ultra", "x"} << "best, balanced or small";
    QTest::newRow("bad size") << QStringList{"--to", "mp4", "--max-size", "1000", "x"} << "2160, 1080, 720 or 480";
    QTest::newRow("no files") << QStringList{"--to", "mp4"} << "Name the files or folders to convert.";
    QTest::newRow("unknown option") << QStringList{"--to", "mp4", "--fast", "x"} << "Unknown option \"--fast\"";
    QTest::newRow("missing output folder") << QStringList{"--to", "mp4", "--output-dir", "/nonexistent/x", "x"}
                                           << "There is no folder at /nonexistent/x.";
}

void TestConvertCommand::usageErrors()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const Result r = convert(args);
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QCOMPARE(QDir(m_work->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

void TestConvertCommand::convertsAsANewcomerWould()
{
    QVERIFY(QFile::copy(media("some.mkv"), m_work->filePath("some.mkv")));
    const QByteArray before = hashOf(m_work->filePath("some.mkv"));
    const Result r = convert({"--to", "mp3", "some.mkv"});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains(QStringLiteral("some.mkv: Saved as some.mp3\n")), qPrintable(r.out));
    QVERIFY(r.out.endsWith(QStringLiteral("1 file: 1 saved.\n")));
    QVERIFY(!r.out.contains(QStringLiteral("\x1b[")));  // not a terminal: plain lines only
    QCOMPARE(probeField(m_work->filePath("some.mp3"), "a:0", "codec_name"), QStringLiteral("mp3"));
    QCOMPARE(hashOf(m_work->filePath("some.mkv")), before);
}

void TestConvertCommand::redrawsInPlaceOnATerminal()
{
    if (QStandardPaths::findExecutable(QStringLiteral("script")).isEmpty())
        QSKIP("needs script(1) for a pseudo-terminal");
    QVERIFY(QFile::copy(media("long.mkv"), m_work->filePath("long.mkv")));
    const QString command = executable() + QStringLiteral(" convert --to mp4 --max-size 480 long.mkv");
    QProcess process;
    process.setWorkingDirectory(m_work->path());
    process.start(QStringLiteral("script"), {QStringLiteral("-qfec"), command, QStringLiteral("/dev/null")});
    QVERIFY(process.waitForFinished(180000));
    Result r;
    r.code = process.exitCode();
    r.out = QString::fromUtf8(process.readAllStandardOutput());
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains(QStringLiteral("\x1b[1F\x1b[J")), qPrintable(r.out));  // the progress line is redrawn
    QVERIFY(r.out.contains(QStringLiteral("long.mkv: Saved as long.mp4")));
    QVERIFY(r.out.contains(QStringLiteral("1 file: 1 saved.")));
}

void TestConvertCommand::results_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("video without sound")
        << QStringList{"silent.mkv", "some.mkv"} << "mp3" << 1
        << QStringList{"silent.mkv: This video has no sound to save.", "some.mkv: Saved as some.mp3",
                       "2 files: 1 saved, 1 failed."};
    QTest::newRow("picture cannot become MP3")
        << QStringList{"photo.png", "some.mkv"} << "mp3" << 1
        << QStringList{"photo.png: Pictures can't be converted to MP3.", "some.mkv: Saved as some.mp3",
                       "2 files: 1 saved, 1 failed."};
    QTest::newRow("zip skipped") << QStringList{"archive.zip", "photo.png"} << "png" << 0
                                 << QStringList{"1 skipped (not a format Zentrova Media converts)",
                                                "photo.png: Saved as photo (converted).png", "1 file: 1 saved."};
    QTest::newRow("rewrap twice") << QStringList{"some.mkv"} << "mp4-copy" << 0
                                  << QStringList{"some.mkv: Saved as some.mp4", "1 file: 1 saved."};
}

void TestConvertCommand::results()
{
    QFETCH(QStringList, files);
    QFETCH(QString, target);
    QFETCH(int, code);
    QFETCH(QStringList, lines);
    for (const QString &f : files)
        QVERIFY(QFile::copy(media(f), m_work->filePath(f)));
    const Result r = convert(QStringList{"--to", target} + files);
    QCOMPARE(r.code, code);
    const QStringList got = r.out.split(QLatin1Char('\n'));
    for (const QString &line : lines)
        QVERIFY2(got.contains(line), qPrintable(QStringLiteral("missing \"%1\" in:\n%2").arg(line, r.out)));
}

void TestConvertCommand::outputFolderAndSize()
{
    QVERIFY(QDir(m_work->path()).mkdir(QStringLiteral("out")));
    const Result r = convert({"--to", "mp4", "--quality", "small", "--max-size", "480", "--output-dir", "out",
                              media("long.mkv")});
    QCOMPARE(r.code, 0);
    const QString output = m_work->filePath(QStringLiteral("out/long.mp4"));
    QCOMPARE(probeField(output, "v:0", "height"), QStringLiteral("480"));
    QCOMPARE(probeField(output, "v:0", "width"), QStringLiteral("640"));
    // Progress came as plain lines, at most one per tenth, always growing.
    static const QRegularExpression progress(QStringLiteral("^long\\.mkv: (\\d+) %"));
    QList<int> tenths;
    for (const QString &line : r.out.split(QLatin1Char('\n'))) {
        if (const auto m = progress.match(line); m.hasMatch())
            tenths << m.captured(1).toInt() / 10;
    }
    QVERIFY2(tenths.size() >= 2, qPrintable(r.out));
    for (qsizetype i = 1; i < tenths.size(); ++i)
        QVERIFY2(tenths[i] > tenths[i - 1], qPrintable(r.out));
    const Result again = convert({"--to", "mp4", "--output-dir", "out", media("long.mkv")});
    QCOMPARE(again.code, 0);
    QVERIFY(again.out.contains(QStringLiteral("long.mkv: Saved as long (converted).mp4")));
}

void TestConvertCommand::folderWithoutWritePermission()
{
    // Root writes anywhere, so the program then runs as "nobody".
    const bool root = ::geteuid() == 0;
    QTemporaryDir shared(QStringLiteral("/tmp/zm-convert-XXXXXX"));
    QVERIFY(shared.isValid());
    QFile::setPermissions(shared.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                             | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther
                                             | QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup);
    const QString input = shared.filePath(QStringLiteral("some.mkv"));
    QVERIFY(QFile::copy(media("some.mkv"), input));
    QFile::setPermissions(input, QFileDevice::ReadOwner | QFileDevice::ReadOther | QFileDevice::ReadGroup);
    const QString locked = shared.filePath(QStringLiteral("locked"));
    QVERIFY(QDir().mkdir(locked));
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                      | QFileDevice::ExeOther);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QStringList wrapper;
    if (root) {
        if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
            QSKIP("needs setpriv to drop root");
        for (const char *var : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME"})
            env.insert(QString::fromLatin1(var), shared.path());
        wrapper = QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        if (!QFileInfo(executable()).isExecutable())
            QSKIP("the build folder is not reachable");
    }
    const Result r = convert({"--to", "wav", "--output-dir", locked, input}, env, wrapper);
    QVERIFY2(r.code == 1, qPrintable(r.out + r.err));
    QVERIFY2(r.out.contains(QStringLiteral(
                 "some.mkv: Zentrova Media isn't allowed to save in that folder. Choose another folder.")),
             qPrintable(r.out + r.err));
    QVERIFY(QDir(locked).isEmpty());
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void TestConvertCommand::estimateWritesNothing()
{
    QVERIFY(QFile::copy(media("some.mkv"), m_work->filePath("some.mkv")));
    const Result r = convert({"--estimate", "some.mkv"});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.startsWith(QStringLiteral("some.mkv (Videos, ")), qPrintable(r.out));
    // Every video format with a figure: measured (mp4, webm, gif...) or computed (mp4-copy, mp3...).
    for (const char *id : {"mp4", "mp4-hevc", "mp4-copy", "mp4-part2", "mov-prores", "mkv", "webm", "avi", "gif",
                           "mp3", "m4a", "flac", "wav"}) {
        const QRegularExpression line(QStringLiteral("\n  %1 +about [0-9.]+ [kMG]?B").arg(QRegularExpression::escape(id)));
        QVERIFY2(r.out.contains(line), qPrintable(QString::fromLatin1(id) + QLatin1Char('\n') + r.out));
    }
    QVERIFY(r.out.contains(QStringLiteral("  mp4-copy    about ") + QLocale::c().formattedDataSize(
                               QFileInfo(media("some.mkv")).size(), 1, QLocale::DataSizeSIFormat)
                           + QStringLiteral(" (same size)")));
    QCOMPARE(QDir(m_work->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList({"some.mkv"}));
}

void TestConvertCommand::missingFFmpeg()
{
    QTemporaryDir empty;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ZENTROVA_MEDIA_RESOURCES"), empty.path());
    QVERIFY(QFile::copy(media("some.mkv"), m_work->filePath("some.mkv")));
    const Result r = convert({"--to", "mp4", "some.mkv"}, env);
    QCOMPARE(r.code, 1);
    QVERIFY2(r.out.contains(QStringLiteral(
                 "some.mkv: The converter's FFmpeg is missing from Zentrova Media. Reinstall Zentrova Media.")),
             qPrintable(r.out));
}

void TestConvertCommand::interruptStopsCleanly()
{
    QVERIFY(QFile::copy(media("long.mkv"), m_work->filePath("long.mkv")));
    QProcess process;
    process.setWorkingDirectory(m_work->path());
    process.start(executable(), {"convert", "--to", "webm", "--quality", "best", "long.mkv"});
    QVERIFY(process.waitForStarted());
    const QString partial = m_work->filePath(QStringLiteral("long.webm"));
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT((out += process.readAllStandardOutput()).contains(" %")
                                 && QFileInfo(partial).size() > 0,
                             60000);
    ::kill(pid_t(process.processId()), SIGINT);
    QVERIFY(process.waitForFinished(60000));
    out += process.readAllStandardOutput();
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    QVERIFY2(out.contains("long.mkv: Stopped\n"), out.constData());
    QVERIFY(out.endsWith("1 file: 0 saved, 1 stopped.\n"));
    QVERIFY(!QFileInfo::exists(partial));
}

QTEST_GUILESS_MAIN(TestConvertCommand)
#include "tst_convertcommand.moc"
