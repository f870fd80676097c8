#include "converter/ConverterEngine.h"
#include "converter/ConverterModel.h"
#include "converter/SizeSampler.h"
#include "core/Preferences.h"
#include "engine/ConvertTypes.h"
#include "log/Log.h"
#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <poppler-qt6.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace TestSupport;
using State = ConverterModel::Status::State;

namespace {

const QStringList clipArgs(int seconds, const QString &size = QStringLiteral("320x240"))
{
    return {"-f", "lavfi", "-i", QStringLiteral("testsrc=d=%1:s=%2:r=25").arg(seconds).arg(size), "-f", "lavfi", "-i",
            QStringLiteral("sine=d=%1").arg(seconds), "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac",
            "-shortest"};
}

QByteArray hashOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

QString codecOf(const QString &path, const char *stream)
{
    QByteArray out;
    run(QStringLiteral("ffprobe"), {"-v", "error", "-select_streams", stream, "-show_entries", "stream=codec_name",
                                    "-of", "csv=p=0", path},
        &out);
    return QString::fromUtf8(out).trimmed();
}

bool allFinished(const ConverterModel &model)
{
    for (const ConverterModel::Item &item : model.items()) {
        if (!item.status.finished())
            return false;
    }
    return true;
}

bool allProbed(const ConverterModel &model)
{
    for (const ConverterModel::Item &item : model.items()) {
        if ((item.kind == ConvertKind::video || item.kind == ConvertKind::audio) && !item.probed)
            return false;
    }
    return true;
}

QStringList names(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

std::optional<FFmpeg::Probe> probeJson(const QByteArray &json)
{
    return FFmpeg::Probe::decode(json);
}

} // namespace

class TestConverterModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void addFolderTwoLevels();
    void addSkipsDuplicatesAndCounts();
    void preferencesReadAndWritten();

    void outputNames_data();
    void outputNames();
    void reservationsNeverCollide();
    void uniqueNames_data();
    void uniqueNames();
    void failureTexts_data();
    void failureTexts();

    void convertsToMP4();
    void twoAtATime();
    void sameBaseNameTwoSources();
    void refusedConversions_data();
    void refusedConversions();
    void cancelRunningRemovesPartialOutput();
    void cancelWaitingAndAll();
    void quitWhileConvertingLeavesNoPartialFile();
    void clearFinishedAndRemove();
    void pictureOnWorkerThread();
    void documentKeepsMainThreadFree();
    void combinedPictures();
    void fullDisk();

    void calculatedSizes_data();
    void calculatedSizes();
    void needsSample_data();
    void needsSample();
    void sliceStarts_data();
    void sliceStarts();
    void sliceArguments();
    void measureWholeFileIsExact();
    void measureSlicesLeavesNothing();
    void measureFailsWithoutFile();
    void measureNextRulesAndCache();
    void noSamplingDuringConversions();
    void noDurationNoEstimate();

private:
    QString media(const QString &name) const { return m_media.filePath(name); }
    std::unique_ptr<ConverterModel> newModel();

    std::unique_ptr<TempHome> m_home;
    QTemporaryDir m_media;
    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<Preferences> m_prefs;
};

void TestConverterModel::initTestCase()
{
    m_home = std::make_unique<TempHome>();
    QVERIFY(m_media.isValid());
    QVERIFY(!makeMedia(media("clip.mkv"), clipArgs(2)).isEmpty());
    QVERIFY(!makeMedia(media("long.mkv"), clipArgs(20)).isEmpty());
    QVERIFY(!makeMedia(media("thirty.mkv"), clipArgs(30)).isEmpty());
    QVERIFY(!makeMedia(media("silent.mkv"), {"-f", "lavfi", "-i", "testsrc=d=2:s=160x120", "-c:v", "libx264"}).isEmpty());
    QVERIFY(!makeMedia(media("vp9.webm"), {"-f", "lavfi", "-i", "testsrc=d=2:s=160x120", "-f", "lavfi", "-i",
                                           "sine=d=2", "-c:v", "libvpx-vp9", "-c:a", "libopus", "-shortest"})
                 .isEmpty());
    QVERIFY(!makeMedia(media("song.mp3"), {"-f", "lavfi", "-i", "sine=d=3"}).isEmpty());
    QVERIFY(!makeMedia(media("picture.png"), {"-f", "lavfi", "-i", "color=red:s=64x48", "-frames:v", "1"}).isEmpty());
    QVERIFY(!makeMedia(media("dump.m2ts"), {"-f", "lavfi", "-i", "testsrc=d=2:s=160x120", "-c:v", "libx264", "-f", "h264"})
                 .isEmpty());
    QFile zip(media("archive.zip"));
    QVERIFY(zip.open(QIODevice::WriteOnly));
    zip.write(QByteArray("PK\x03\x04", 4) + QByteArray(60, '\0'));
}

void TestConverterModel::init()
{
    m_work = std::make_unique<QTemporaryDir>();
    QVERIFY(m_work->isValid());
    m_prefs = std::make_unique<Preferences>(m_work->filePath(QStringLiteral(".prefs.json")));
}

void TestConverterModel::cleanup()
{
    m_prefs.reset();
    m_work.reset();
}

std::unique_ptr<ConverterModel> TestConverterModel::newModel()
{
    return std::make_unique<ConverterModel>(*m_prefs);
}

// ---- adding -----------------------------------------------------------------------

void TestConverterModel::addFolderTwoLevels()
{
    const QString root = m_work->filePath(QStringLiteral("drop"));
    QVERIFY(QDir().mkpath(root + QStringLiteral("/sub/deeper")));
    QVERIFY(QDir().mkpath(root + QStringLiteral("/.hidden")));
    QVERIFY(QFile::copy(media("song.mp3"), root + QStringLiteral("/top.mp3")));
    QVERIFY(QFile::copy(media("song.mp3"), root + QStringLiteral("/sub/middle.mp3")));
    QVERIFY(QFile::copy(media("song.mp3"), root + QStringLiteral("/sub/deeper/bottom.mp3")));
    QVERIFY(QFile::copy(media("song.mp3"), root + QStringLiteral("/.secret.mp3")));
    QVERIFY(QFile::copy(media("song.mp3"), root + QStringLiteral("/.hidden/inside.mp3")));
    auto model = newModel();
    QSignalSpy rows(model.get(), &ConverterModel::itemsChanged);
    model->add({root, m_work->filePath(QStringLiteral("missing.mkv"))});
    QStringList added;
    for (const auto &item : model->items())
        added << QFileInfo(item.url).fileName();
    QCOMPARE(added, QStringList({"middle.mp3", "top.mp3"}));  // "sub" sorts before "top.mp3"
    QCOMPARE(rows.count(), 1);
    QCOMPARE(model->skipped(), 0);
    for (const auto &item : model->items()) {
        QCOMPARE(item.status.state, State::waiting);
        QCOMPARE(item.size, QFileInfo(media("song.mp3")).size());
    }
    QTRY_VERIFY(allProbed(*model));
    QVERIFY(model->items().first().probe);
}

void TestConverterModel::addSkipsDuplicatesAndCounts()
{
    auto model = newModel();
    QSignalSpy skipped(model.get(), &ConverterModel::skippedChanged);
    model->add({media("clip.mkv"), media("clip.mkv")});
    model->add({media("clip.mkv")});
    QCOMPARE(model->items().size(), 1);
    QCOMPARE(skipped.count(), 0);

    model->add({media("archive.zip"), media("song.mp3")});
    QCOMPARE(model->items().size(), 2);
    QCOMPARE(model->skipped(), 1);
    QCOMPARE(skipped.count(), 1);
    model->add({media("silent.mkv")});
    QCOMPARE(model->skipped(), 0);  // replaced, not added to
    QCOMPARE(skipped.count(), 2);
    QCOMPARE(model->kinds().size(), 2);
    QCOMPARE(model->pending(), 3);
    QVERIFY(!model->hasFinished());

    // A finished row does not block adding the file again.
    const QUuid first = model->items().first().id;
    model->cancel(first);
    QCOMPARE(model->item(first)->status.state, State::cancelled);
    model->add({media("clip.mkv")});
    QCOMPARE(model->items().size(), 4);
    QTRY_VERIFY(allProbed(*model));
}

void TestConverterModel::preferencesReadAndWritten()
{
    m_prefs->set(QStringLiteral("fx.converter.audio"), QStringLiteral("webm"));
    m_prefs->set(QStringLiteral("fx.converter.video"), QStringLiteral("mkv"));
    m_prefs->set(QStringLiteral("fx.converter.quality"), QStringLiteral("tiny"));
    m_prefs->set(QStringLiteral("fx.converter.maxSize"), 720);
    auto model = newModel();
    QCOMPARE(model->choice(ConvertKind::audio), QStringLiteral("mp3"));
    QCOMPARE(model->choice(ConvertKind::video), QStringLiteral("mkv"));
    QCOMPARE(model->quality().id(), QStringLiteral("balanced"));
    QCOMPARE(model->maxSize(), 720);
    QVERIFY(!model->folder());

    QSignalSpy quality(model.get(), &ConverterModel::qualityChanged);
    model->setQuality(ConvertQuality::small);
    model->setQuality(ConvertQuality::small);
    QCOMPARE(quality.count(), 1);
    QCOMPARE(m_prefs->string(QStringLiteral("fx.converter.quality")), std::optional<QString>("small"));
    model->setChoice(QStringLiteral("opus"), ConvertKind::video);  // not offered for videos
    QCOMPARE(model->choice(ConvertKind::video), QStringLiteral("mkv"));
    model->setChoice(QStringLiteral("webm"), ConvertKind::video);
    QCOMPARE(m_prefs->string(QStringLiteral("fx.converter.video")), std::optional<QString>("webm"));
    QSignalSpy size(model.get(), &ConverterModel::maxSizeChanged);
    model->setMaxSize(333);
    QCOMPARE(size.count(), 0);
    model->setMaxSize(480);
    QCOMPARE(size.count(), 1);
    model->setFolder(m_work->path());
    QCOMPARE(m_prefs->string(QStringLiteral("fx.converter.folder")), std::optional<QString>(m_work->path()));
    model->setFolder(std::nullopt);
    QVERIFY(!m_prefs->contains(QStringLiteral("fx.converter.folder")));
}

// ---- names and messages -------------------------------------------------------------

void TestConverterModel::outputNames_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("isFolder");
    QTest::addColumn<bool>("otherFolder");
    QTest::addColumn<QString>("expected");
    QTest::newRow("new extension") << "movie.mkv" << QStringList{"movie.mkv"} << "mp4" << false << false << "movie.mp4";
    QTest::newRow("same extension") << "clip.mp4" << QStringList{"clip.mp4"} << "mp4" << false << false
                                    << "clip (converted).mp4";
    QTest::newRow("again") << "clip.mp4" << QStringList{"clip.mp4", "clip (converted).mp4"} << "mp4" << false << false
                           << "clip (converted 2).mp4";
    QTest::newRow("third time") << "clip.mp4"
                                << QStringList{"clip.mp4", "clip (converted).mp4", "clip (converted 2).mp4"} << "mp4"
                                << false << false << "clip (converted 3).mp4";
    QTest::newRow("page folder") << "report.pdf" << QStringList{"report.pdf"} << "pdf-png" << true << false
                                 << "report pages";
    QTest::newRow("page folder exists") << "report.pdf" << QStringList{"report.pdf", "report pages"} << "pdf-jpeg"
                                        << true << false << "report (converted) pages";
    QTest::newRow("picture extension") << "photo.png" << QStringList{"photo.png"} << "jpeg" << false << false
                                       << "photo.jpg";
    QTest::newRow("dots in the name") << "a.b.c.mkv" << QStringList{"a.b.c.mkv"} << "mp3" << false << false
                                      << "a.b.c.mp3";
    QTest::newRow("chosen folder") << "clip.mp4" << QStringList{"clip.mp4"} << "mp4" << false << true << "clip.mp4";
}

void TestConverterModel::outputNames()
{
    QFETCH(QString, source);
    QFETCH(QStringList, existing);
    QFETCH(QString, target);
    QFETCH(bool, isFolder);
    QFETCH(bool, otherFolder);
    QFETCH(QString, expected);
    const QDir dir(m_work->path());
    for (const QString &name : existing) {
        if (name.endsWith(QLatin1String(" pages")))
            QVERIFY(dir.mkdir(name));
        else
            QVERIFY(QFile(dir.filePath(name)).open(QIODevice::WriteOnly));
    }
    const QString folder = otherFolder ? m_work->filePath(QStringLiteral("out")) : QString();
    if (otherFolder)
        QVERIFY(dir.mkdir(QStringLiteral("out")));
    const QString out = ConverterEngine::outputURL(dir.filePath(source), *ConvertTarget::byID(target), folder, isFolder);
    QCOMPARE(out, QDir(otherFolder ? folder : dir.path()).filePath(expected));
    ConverterEngine::release(out);
}

void TestConverterModel::reservationsNeverCollide()
{
    const QString source = m_work->filePath(QStringLiteral("a.mkv"));
    const ConvertTarget mp4 = *ConvertTarget::byID(QStringLiteral("mp4"));
    const QString first = ConverterEngine::outputURL(source, mp4, {}, false);
    const QString second = ConverterEngine::outputURL(m_work->filePath(QStringLiteral("a.avi")), mp4, {}, false);
    QCOMPARE(QFileInfo(first).fileName(), QStringLiteral("a.mp4"));
    QCOMPARE(QFileInfo(second).fileName(), QStringLiteral("a (converted).mp4"));
    ConverterEngine::release(first);
    QCOMPARE(ConverterEngine::outputURL(source, mp4, {}, false), first);
    ConverterEngine::release(first);
    ConverterEngine::release(second);
    // A dangling link is not a free name.
    QVERIFY(QFile::link(m_work->filePath(QStringLiteral("nowhere")), m_work->filePath(QStringLiteral("a.mp4"))));
    const QString third = ConverterEngine::outputURL(source, mp4, {}, false);
    QCOMPARE(QFileInfo(third).fileName(), QStringLiteral("a (converted).mp4"));
    ConverterEngine::release(third);
}

void TestConverterModel::uniqueNames_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<QString>("expected");
    QTest::newRow("free") << QStringList{} << "song.mp3" << "song.mp3";
    QTest::newRow("taken") << QStringList{"song.mp3"} << "song.mp3" << "song 2.mp3";
    QTest::newRow("taken twice") << QStringList{"song.mp3", "song 2.mp3"} << "song.mp3" << "song 3.mp3";
    QTest::newRow("no extension") << QStringList{"README"} << "README" << "README 2";
    QTest::newRow("two dots") << QStringList{"a.tar.gz"} << "a.tar.gz" << "a.tar 2.gz";
}

void TestConverterModel::uniqueNames()
{
    QFETCH(QStringList, existing);
    QFETCH(QString, wanted);
    QFETCH(QString, expected);
    for (const QString &name : existing)
        QVERIFY(QFile(m_work->filePath(name)).open(QIODevice::WriteOnly));
    QCOMPARE(ConverterEngine::uniqueURL(m_work->filePath(wanted)), m_work->filePath(expected));
}

void TestConverterModel::failureTexts_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("expected");
    const QString copyRefused = QStringLiteral(
        "This video's format can't go into MP4 without converting. Choose MP4 (H.264) instead.");
    QTest::newRow("copy: missing tag") << "mp4-copy"
                                       << "[mp4 @ 0x1] Could not find tag for codec theora in stream #0\nmore"
                                       << copyRefused;
    QTest::newRow("copy: not supported") << "mp4-copy" << "Something NOT SUPPORTED here" << copyRefused;
    QTest::newRow("copy: disk full first") << "mp4-copy" << "No space left on device" << "The disk is full.";
    QTest::newRow("tag on another target") << "mp4" << "line one\nCould not find tag for codec x\n"
                                           << "Could not find tag for codec x";
    QTest::newRow("disk full") << "webm" << "av_interleaved_write_frame(): No space left on device\nError"
                               << "The disk is full.";
    QTest::newRow("permission") << "mp3" << "/x/out.mp3: Permission denied"
                                << "Zentrova Media isn't allowed to save in that folder. Choose another folder.";
    QTest::newRow("damaged") << "mp4" << "/x/in.mkv: Invalid data found when processing input"
                             << "This file looks damaged or isn't really a video or audio file.";
    QTest::newRow("last line") << "mp4" << "first\nsecond line  \n\n" << "second line  ";
    QTest::newRow("exit code") << "mp4" << "FFmpeg stopped with code 1." << "FFmpeg stopped with code 1.";
}

void TestConverterModel::failureTexts()
{
    QFETCH(QString, target);
    QFETCH(QString, message);
    QFETCH(QString, expected);
    QCOMPARE(ConverterModel::describeFailure(target, message), expected);
}

// ---- converting -------------------------------------------------------------------

void TestConverterModel::convertsToMP4()
{
    const QString source = m_work->filePath(QStringLiteral("clip.mkv"));
    QVERIFY(QFile::copy(media("clip.mkv"), source));
    const QByteArray before = hashOf(source);
    auto model = newModel();
    model->add({source});
    const QUuid id = model->items().first().id;
    QList<double> progress;
    connect(model.get(), &ConverterModel::itemChanged, this, [&](const QUuid &changed) {
        const auto item = model->item(changed);
        if (item && item->status.state == State::running)
            progress << item->status.progress;
    });
    model->convertAll();
    QCOMPARE(model->running(), 1);
    QVERIFY(model->isBusy());
    QTRY_VERIFY_WITH_TIMEOUT(allFinished(*model), 60000);
    const auto item = model->item(id);
    QCOMPARE(item->status.state, State::done);
    QCOMPARE(item->status.output, m_work->filePath(QStringLiteral("clip.mp4")));
    QCOMPARE(codecOf(item->status.output, "v:0"), QStringLiteral("h264"));
    QCOMPARE(codecOf(item->status.output, "a:0"), QStringLiteral("aac"));
    QCOMPARE(hashOf(source), before);
    QVERIFY(!progress.isEmpty());
    QVERIFY(std::is_sorted(progress.cbegin(), progress.cend()));
    QCOMPARE(model->running(), 0);
    QVERIFY(model->hasFinished());
    QVERIFY(model->kinds().isEmpty());
    QTRY_VERIFY(Log::tail(5).join(QLatin1Char('\n')).contains(QStringLiteral("Converter: video → mp4 done")));
}

void TestConverterModel::twoAtATime()
{
    for (const char *name : {"one.mkv", "two.mkv", "three.mkv"})
        QVERIFY(QFile::copy(media("clip.mkv"), m_work->filePath(QString::fromLatin1(name))));
    auto model = newModel();
    model->setChoice(QStringLiteral("webm"), ConvertKind::video);
    model->add({m_work->filePath("one.mkv"), m_work->filePath("two.mkv"), m_work->filePath("three.mkv")});
    int most = 0;
    bool thirdStartedAfterAnEnd = false;
    connect(model.get(), &ConverterModel::runningChanged, this, [&] { most = std::max(most, model->running()); });
    connect(model.get(), &ConverterModel::itemChanged, this, [&](const QUuid &id) {
        if (id == model->items().at(2).id && model->item(id)->status.state == State::running)
            thirdStartedAfterAnEnd = model->items().at(0).status.finished() || model->items().at(1).status.finished();
    });
    model->convertAll();
    QCOMPARE(model->running(), 2);
    QCOMPARE(model->items().at(2).status.state, State::waiting);
    QTRY_VERIFY_WITH_TIMEOUT(allFinished(*model), 120000);
    QCOMPARE(most, 2);
    QVERIFY(thirdStartedAfterAnEnd);
    for (const auto &item : model->items()) {
        QCOMPARE(item.status.state, State::done);
        QCOMPARE(codecOf(item.status.output, "v:0"), QStringLiteral("vp9"));
    }
}

void TestConverterModel::sameBaseNameTwoSources()
{
    QVERIFY(QFile::copy(media("clip.mkv"), m_work->filePath("a.mkv")));
    QVERIFY(!makeMedia(m_work->filePath("a.avi"), {"-i", media("clip.mkv"), "-c:v", "mpeg4", "-c:a", "libmp3lame"})
                 .isEmpty());
    auto model = newModel();
    model->add({m_work->filePath("a.mkv"), m_work->filePath("a.avi")});
    model->convertAll();
    QTRY_VERIFY_WITH_TIMEOUT(allFinished(*model), 60000);
    QStringList outputs;
    for (const auto &item : model->items()) {
        QCOMPARE(item.status.state, State::done);
        outputs << QFileInfo(item.status.output).fileName();
    }
    QCOMPARE(outputs, QStringList({"a.mp4", "a (converted).mp4"}));
}

void TestConverterModel::refusedConversions_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("message");
    QTest::newRow("video without sound to mp3") << "silent.mkv" << "mp3" << "This video has no sound to save.";
    QTest::newRow("VP9 WebM rewrapped into MP4")
        << "vp9.webm" << "mp4-copy"
        << "This video's format can't go into MP4 without converting. Choose MP4 (H.264) instead.";
    QTest::newRow("stream dump without sound to wav") << "dump.m2ts" << "wav" << "This video has no sound to save.";
}

void TestConverterModel::refusedConversions()
{
    QFETCH(QString, source);
    QFETCH(QString, target);
    QFETCH(QString, message);
    const QString input = m_work->filePath(source);
    QVERIFY(QFile::copy(media(source), input));
    auto model = newModel();
    model->setChoice(target, ConvertKind::video);
    model->add({input});
    model->convertAll();
    QTRY_VERIFY_WITH_TIMEOUT(allFinished(*model), 60000);
    QCOMPARE(model->items().first().status.state, State::failed);
    QCOMPARE(model->items().first().status.message, message);
    QCOMPARE(names(m_work->path()), QStringList({source}));  // nothing written
    QTRY_VERIFY(Log::tail(5).join(QLatin1Char('\n')).contains(QStringLiteral("Converter: video → ") + target
                                                                + QStringLiteral(" failed")));
}

void TestConverterModel::cancelRunningRemovesPartialOutput()
{
    const QString input = m_work->filePath(QStringLiteral("long.mkv"));
    QVERIFY(QFile::copy(media("long.mkv"), input));
    auto model = newModel();
    model->setChoice(QStringLiteral("webm"), ConvertKind::video);
    model->setQuality(ConvertQuality::best);
    model->add({input});
    model->convertAll();
    const QUuid id = model->items().first().id;
    const QString output = m_work->filePath(QStringLiteral("long.webm"));
    // Wait until ffmpeg has written part of the file, then stop it.
    QTRY_VERIFY_WITH_TIMEOUT(model->item(id)->status.progress > 0 && QFileInfo(output).size() > 0, 60000);
    model->cancel(id);
    QTRY_VERIFY_WITH_TIMEOUT(model->item(id)->status.finished(), 30000);
    QCOMPARE(model->item(id)->status.state, State::cancelled);
    QVERIFY(!QFileInfo::exists(output));
    QCOMPARE(model->running(), 0);
    QTRY_VERIFY(Log::tail(5).join(QLatin1Char('\n')).contains(QStringLiteral("Converter: video → webm stopped")));
}

void TestConverterModel::quitWhileConvertingLeavesNoPartialFile()
{
    const QString input = m_work->filePath(QStringLiteral("long.mkv"));
    QVERIFY(QFile::copy(media("long.mkv"), input));
    auto model = newModel();
    model->setChoice(QStringLiteral("webm"), ConvertKind::video);
    model->add({input});
    model->convertAll();
    const QString output = m_work->filePath(QStringLiteral("long.webm"));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(output).size() > 0, 60000);
    model.reset();
    QVERIFY(!QFileInfo::exists(output));
    // The name is free again for the next conversion.
    const QString again = ConverterEngine::outputURL(input, *ConvertTarget::byID("webm"), {}, false);
    QCOMPARE(again, output);
    ConverterEngine::release(again);
}

void TestConverterModel::cancelWaitingAndAll()
{
    for (const char *name : {"w1.mkv", "w2.mkv", "w3.mkv"})
        QVERIFY(QFile::copy(media("long.mkv"), m_work->filePath(QString::fromLatin1(name))));
    auto model = newModel();
    model->setChoice(QStringLiteral("webm"), ConvertKind::video);
    model->add({m_work->filePath("w1.mkv"), m_work->filePath("w2.mkv"), m_work->filePath("w3.mkv")});
    model->cancel(model->items().at(2).id);
    QCOMPARE(model->items().at(2).status.state, State::cancelled);
    model->convertAll();
    QCOMPARE(model->running(), 2);
    // Stopped while still probing, before ffmpeg starts: no conversion follows.
    model->cancelAll();
    QTRY_VERIFY_WITH_TIMEOUT(allFinished(*model), 30000);
    for (const auto &item : model->items())
        QCOMPARE(item.status.state, State::cancelled);
    QCOMPARE(model->running(), 0);
    QCOMPARE(names(m_work->path()), QStringList({"w1.mkv", "w2.mkv", "w3.mkv"}));
}

void TestConverterModel::clearFinishedAndRemove()
{
    auto model = newModel();
    model->add({media("clip.mkv"), media("song.mp3"), media("picture.png")});
    model->cancel(model->items().at(0).id);
    model->remove(model->items().at(1).id);
    QCOMPARE(model->items().size(), 2);
    QSignalSpy rows(model.get(), &ConverterModel::itemsChanged);
    model->clearFinished();
    QCOMPARE(rows.count(), 1);
    QCOMPARE(model->items().size(), 1);
    QCOMPARE(model->items().first().kind.id(), QStringLiteral("image"));
    model->clearFinished();
    QCOMPARE(rows.count(), 1);
    QTRY_VERIFY(allProbed(*model));
}

void TestConverterModel::pictureOnWorkerThread()
{
    const QString input = m_work->filePath(QStringLiteral("picture.png"));
    QVERIFY(QFile::copy(media("picture.png"), input));
    auto model = newModel();
    model->add({input});
    model->convertAll();
    QCOMPARE(model->items().first().status.state, State::running);  // not done inline
    QTRY_VERIFY_WITH_TIMEOUT(allFinished(*model), 30000);
    const auto item = model->items().first();
    QCOMPARE(item.status.state, State::done);
    QCOMPARE(item.status.output, m_work->filePath(QStringLiteral("picture.jpg")));
    QCOMPARE(codecOf(item.status.output, "v:0"), QStringLiteral("mjpeg"));
}

void TestConverterModel::documentKeepsMainThreadFree()
{
    const QString input = m_work->filePath(QStringLiteral("letter.html"));
    QFile html(input);
    QVERIFY(html.open(QIODevice::WriteOnly));
    html.write("<html><body><h1>Dear reader</h1><p>Converted without a frozen window.</p></body></html>\n");
    html.close();
    auto model = newModel();
    model->setChoice(QStringLiteral("docx"), ConvertKind::document);
    model->add({input});
    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, this, [&] {
        if (model->running() > 0)
            ++ticks;
    });
    timer.start(20);
    model->convertAll();
    QTRY_VERIFY_WITH_TIMEOUT(allFinished(*model), 120000);
    const auto item = model->items().first();
    QVERIFY2(item.status.state == State::done, qPrintable(item.status.message));
    QVERIFY(ticks > 0);  // the event loop kept turning while LibreOffice worked
    QByteArray text;
    QCOMPARE(run(QStringLiteral("unzip"), {"-p", item.status.output, "word/document.xml"}, &text), 0);
    QVERIFY(text.contains("Converted without a frozen window."));
}

void TestConverterModel::combinedPictures()
{
    QStringList pictures;
    for (int i = 1; i <= 5; ++i) {
        const QString path = m_work->filePath(QStringLiteral("p%1.png").arg(i));
        QVERIFY(!makeMedia(path, {"-f", "lavfi", "-i", QStringLiteral("color=c=0x%1%1%1:s=%2x40").arg(i * 30, 2, 16, QLatin1Char('0')).arg(40 + i * 10),
                                  "-frames:v", "1"})
                     .isEmpty());
        pictures << path;
    }
    QVERIFY(QFile(m_work->filePath(QStringLiteral("Pictures.pdf"))).open(QIODevice::WriteOnly));
    auto model = newModel();
    model->setChoice(QStringLiteral("pdf"), ConvertKind::image);
    model->setCombinePDF(true);
    model->add(pictures);
    model->convertAll();
    QTRY_VERIFY_WITH_TIMEOUT(allFinished(*model), 60000);
    const QString expected = m_work->filePath(QStringLiteral("Pictures (converted).pdf"));
    for (const auto &item : model->items()) {
        QVERIFY2(item.status.state == State::done, qPrintable(item.status.message));
        QCOMPARE(item.status.output, expected);
    }
    const auto document = Poppler::Document::load(expected);
    QVERIFY(document);
    QCOMPARE(document->numPages(), 5);
    QCOMPARE(model->running(), 0);
}

void TestConverterModel::fullDisk()
{
    if (::geteuid() != 0)
        QSKIP("mounting a small tmpfs needs root");
    const QString disk = m_work->filePath(QStringLiteral("small"));
    QVERIFY(QDir().mkdir(disk));
    if (::mount("tmpfs", disk.toLocal8Bit().constData(), "tmpfs", 0, "size=256k") != 0)
        QSKIP("this system does not allow mounting a tmpfs");
    const auto unmount = qScopeGuard([&] { ::umount(disk.toLocal8Bit().constData()); });
    auto model = newModel();
    model->setChoice(QStringLiteral("wav"), ConvertKind::video);
    model->setFolder(disk);
    model->add({media("thirty.mkv")});
    model->convertAll();
    QTRY_VERIFY_WITH_TIMEOUT(allFinished(*model), 60000);
    QCOMPARE(model->items().first().status.state, State::failed);
    QCOMPARE(model->items().first().status.message, QStringLiteral("The disk is full."));
    QVERIFY(names(disk).isEmpty());  // the partial file is gone
}

// ---- estimates ---------------------------------------------------------------------

void TestConverterModel::calculatedSizes_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QByteArray>("probe");
    QTest::addColumn<qint64>("sourceSize");
    QTest::addColumn<QString>("quality");
    QTest::addColumn<qint64>("expected");  // -1: absent
    const QByteArray mp3 = R"({"streams":[{"index":0,"codec_type":"audio","channels":2,"sample_rate":"44100"}],
                               "format":{"duration":"180"}})";
    const QByteArray stereo60 = R"({"streams":[{"index":0,"codec_type":"audio","channels":2,"sample_rate":"44100"}],
                                    "format":{"duration":"60"}})";
    const QByteArray bare = R"({"streams":[{"index":0,"codec_type":"audio"}],"format":{"duration":"10"}})";
    const QByteArray mono0 = R"({"streams":[{"index":0,"codec_type":"audio","channels":0,"sample_rate":"x"}],
                                 "format":{"duration":"10"}})";
    const QByteArray noAudio = R"({"streams":[{"index":0,"codec_type":"video"}],"format":{"duration":"10"}})";
    const QByteArray noDuration = R"({"streams":[{"index":0,"codec_type":"audio"}]})";
    QTest::newRow("3 min mp3 to m4a balanced") << "m4a" << mp3 << qint64(0) << "balanced" << qint64(4320000);
    QTest::newRow("m4a best") << "m4a" << mp3 << qint64(0) << "best" << qint64(180 * 256 * 125);
    QTest::newRow("mp3 small") << "mp3" << mp3 << qint64(0) << "small" << qint64(180 * 128 * 125);
    QTest::newRow("mp3 best") << "mp3" << mp3 << qint64(0) << "best" << qint64(180 * 320 * 125);
    QTest::newRow("opus balanced") << "opus" << mp3 << qint64(0) << "balanced" << qint64(180 * 128 * 125);
    QTest::newRow("60 s stereo to wav") << "wav" << stereo60 << qint64(0) << "small" << qint64(10584000);
    QTest::newRow("60 s stereo to aiff") << "aiff" << stereo60 << qint64(0) << "best" << qint64(10584000);
    QTest::newRow("60 s stereo to flac") << "flac" << stereo60 << qint64(0) << "balanced" << qint64(6350400);
    QTest::newRow("alac like flac") << "alac" << stereo60 << qint64(0) << "balanced" << qint64(6350400);
    QTest::newRow("defaults: 2 ch, 44.1 kHz") << "wav" << bare << qint64(0) << "balanced" << qint64(1764000);
    QTest::newRow("at least one channel, unreadable rate") << "wav" << mono0 << qint64(0) << "balanced"
                                                           << qint64(882000);
    QTest::newRow("rewrap keeps the size") << "mp4-copy" << QByteArray() << qint64(700000000) << "small"
                                           << qint64(700000000);
    QTest::newRow("no audio stream") << "mp3" << noAudio << qint64(5) << "balanced" << qint64(-1);
    QTest::newRow("no duration") << "mp3" << noDuration << qint64(5) << "balanced" << qint64(-1);
    QTest::newRow("no probe") << "mp3" << QByteArray() << qint64(5) << "balanced" << qint64(-1);
    QTest::newRow("video target") << "mp4" << mp3 << qint64(5) << "balanced" << qint64(-1);
    QTest::newRow("picture target") << "jpeg" << mp3 << qint64(5) << "balanced" << qint64(-1);
}

void TestConverterModel::calculatedSizes()
{
    QFETCH(QString, target);
    QFETCH(QByteArray, probe);
    QFETCH(qint64, sourceSize);
    QFETCH(QString, quality);
    QFETCH(qint64, expected);
    const auto p = probe.isEmpty() ? std::nullopt : probeJson(probe);
    QVERIFY(probe.isEmpty() || p);
    const auto size = ConverterEngine::calculatedSize(*ConvertTarget::byID(target), p, sourceSize,
                                                      ConvertOptions{*ConvertQuality::fromRawValue(quality), 0});
    QCOMPARE(size.value_or(-1), expected);
}

void TestConverterModel::needsSample_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("needs");
    for (const char *id : {"mp4", "mp4-hevc", "mov-prores", "mkv", "webm", "mp4-part2", "avi", "gif"})
        QTest::newRow(id) << QString::fromLatin1(id) << true;
    for (const char *id : {"mp4-copy", "mp3", "wav", "jpeg", "gif-still", "pdf", "pdf-png", "docx"})
        QTest::newRow(id) << QString::fromLatin1(id) << false;
}

void TestConverterModel::needsSample()
{
    QFETCH(QString, target);
    QFETCH(bool, needs);
    QCOMPARE(ConverterEngine::needsSample(*ConvertTarget::byID(target)), needs);
}

void TestConverterModel::sliceStarts_data()
{
    QTest::addColumn<double>("duration");
    QTest::addColumn<QList<double>>("starts");
    QTest::newRow("100 s") << 100.0 << QList<double>{17.5, 47.5, 77.5};
    QTest::newRow("22 s is whole") << 22.0 << QList<double>{};
    QTest::newRow("10 s is whole") << 10.0 << QList<double>{};
    QTest::newRow("2 s is whole") << 2.0 << QList<double>{};
    QTest::newRow("23 s") << 23.0 << QList<double>{2.1, 9.0, 15.9};
    QTest::newRow("600 s") << 600.0 << QList<double>{117.5, 297.5, 477.5};
}

void TestConverterModel::sliceStarts()
{
    QFETCH(double, duration);
    QFETCH(QList<double>, starts);
    const QList<double> got = SizeSampler::sliceStarts(duration);
    QCOMPARE(got.size(), starts.size());
    for (int i = 0; i < got.size(); ++i)
        QVERIFY2(qAbs(got[i] - starts[i]) < 1e-9, qPrintable(QString::number(got[i])));
}

void TestConverterModel::sliceArguments()
{
    const ConvertTarget webm = *ConvertTarget::byID(QStringLiteral("webm"));
    const QStringList slice = SizeSampler::sliceArguments("/in.mkv", "/tmp/o.webm", 12.5, webm, std::nullopt, {});
    const QStringList head{"-hide_banner", "-nostdin", "-y", "-loglevel", "error", "-ss", "12.500", "-t", "5.000"};
    QCOMPARE(slice.mid(0, head.size()), head);
    QCOMPARE(slice.mid(head.size()),
             ConverterEngine::ffmpegArguments("/in.mkv", "/tmp/o.webm", webm, ConvertKind::video, std::nullopt, {}));
    const QStringList whole = SizeSampler::sliceArguments("/in.mkv", "/tmp/o.webm", -1, webm, std::nullopt, {});
    QVERIFY(!whole.contains(QStringLiteral("-ss")));
    QCOMPARE(whole.at(5), QStringLiteral("-i"));
    // Audio targets never take the cover-art branch when sampled.
    const auto cover = probeJson(R"({"streams":[{"index":0,"codec_type":"audio"},
        {"index":1,"codec_type":"video","disposition":{"attached_pic":1}}],"format":{"duration":"9"}})");
    QVERIFY(SizeSampler::sliceArguments("/a.mp3", "/o.mp3", -1, *ConvertTarget::byID("mp3"), cover, {})
                .contains(QStringLiteral("-vn")));
}

void TestConverterModel::measureWholeFileIsExact()
{
    const QString input = media("clip.mkv");
    const auto probe = FFmpeg::probeNow(input);
    QVERIFY(probe);
    const ConvertTarget mp4 = *ConvertTarget::byID(QStringLiteral("mp4"));
    const auto estimate = SizeSampler::measure(input, probe->duration(), mp4, probe, {});
    QVERIFY(estimate);
    const QString output = m_work->filePath(QStringLiteral("whole.mp4"));
    QCOMPARE(run(FFmpeg::ffmpeg(), SizeSampler::sliceArguments(input, output, -1, mp4, probe, {})), 0);
    QCOMPARE(*estimate, QFileInfo(output).size());
}

void TestConverterModel::measureSlicesLeavesNothing()
{
    const auto leftovers = [] {
        return QDir::temp().entryList({QStringLiteral("converter-estimate-*")}, QDir::Files).size();
    };
    const qsizetype before = leftovers();
    const QString input = media("thirty.mkv");
    const auto probe = FFmpeg::probeNow(input);
    QVERIFY(probe);
    const ConvertTarget mkv = *ConvertTarget::byID(QStringLiteral("mkv"));
    const ConvertOptions small{ConvertQuality::small, 0};
    const auto estimate = SizeSampler::measure(input, probe->duration(), mkv, probe, small);
    QVERIFY(estimate);
    // Three real slices at 5.5, 12.5 and 19.5 s, summed and extrapolated.
    qint64 total = 0;
    for (const double start : SizeSampler::sliceStarts(probe->duration())) {
        const QString out = m_work->filePath(QStringLiteral("slice.mkv"));
        QCOMPARE(run(FFmpeg::ffmpeg(), SizeSampler::sliceArguments(input, out, start, mkv, probe, small)), 0);
        total += QFileInfo(out).size();
    }
    QCOMPARE(*estimate, qint64(probe->duration() * double(total) / 15.0 * 0.88));
    QCOMPARE(leftovers(), before);
}

void TestConverterModel::measureFailsWithoutFile()
{
    const ConvertTarget mp4 = *ConvertTarget::byID(QStringLiteral("mp4"));
    QVERIFY(!SizeSampler::measure(m_work->filePath(QStringLiteral("gone.mkv")), 30, mp4, std::nullopt, {}));
    QVERIFY(!SizeSampler::measure(media("clip.mkv"), 0, mp4, std::nullopt, {}));
}

void TestConverterModel::measureNextRulesAndCache()
{
    auto model = newModel();
    QSignalSpy sampling(model.get(), &ConverterModel::samplingChanged);
    model->add({media("clip.mkv"), media("song.mp3")});
    const ConverterModel::Item clip = model->items().first();
    const ConvertTarget mp4 = *ConvertTarget::byID(QStringLiteral("mp4"));
    QVERIFY(model->isEstimating(clip, mp4));  // probe not back yet
    QVERIFY(model->isEstimating(model->items().at(1), *ConvertTarget::byID("mp3")));
    const QString balanced = ConverterModel::sampleKey(clip.id, "mp4", ConvertQuality::balanced, 0);
    QVERIFY(balanced.startsWith(clip.id.toString(QUuid::WithoutBraces).toUpper() + "|mp4|balanced|0"));
    QTRY_VERIFY_WITH_TIMEOUT(model->sampled().contains(balanced), 60000);
    QCOMPARE(sampling.count(), 2);  // on, then off: one measurement
    QVERIFY(!model->isEstimating(*model->item(clip.id), mp4));
    const qint64 first = *model->estimate(*model->item(clip.id), mp4);
    QVERIFY(first > 0);
    const auto total = model->estimatedTotal(ConvertKind::video, mp4);
    QCOMPARE(total.bytes, first);
    QVERIFY(total.any && !total.pending);
    QCOMPARE(model->originalTotal(ConvertKind::video), QFileInfo(media("clip.mkv")).size());
    // The song's size is computed, not sampled.
    const auto song = model->estimatedTotal(ConvertKind::audio, *ConvertTarget::byID("mp3"));
    QVERIFY(song.any && !song.pending);
    QCOMPARE(song.bytes, qint64(model->items().at(1).probe->duration() * 192 * 125));

    model->setQuality(ConvertQuality::small);
    QVERIFY(model->sampling());  // a new setting needs a new measurement
    const QString small = ConverterModel::sampleKey(clip.id, "mp4", ConvertQuality::small, 0);
    QTRY_VERIFY_WITH_TIMEOUT(model->sampled().contains(small), 60000);
    model->setQuality(ConvertQuality::balanced);
    QVERIFY(!model->sampling());  // cached
    QCOMPARE(model->estimate(*model->item(clip.id), mp4), std::optional<qint64>(first));

    // Only the chosen video format is measured.
    model->setChoice(QStringLiteral("mp4-copy"), ConvertKind::video);
    QVERIFY(!model->sampling());
    QCOMPARE(model->estimate(*model->item(clip.id), *ConvertTarget::byID("mp4-copy")),
             std::optional<qint64>(QFileInfo(media("clip.mkv")).size()));
    const ConvertTarget gif = *ConvertTarget::byID(QStringLiteral("gif"));
    QVERIFY(model->isEstimating(*model->item(clip.id), gif));
    model->setChoice(QStringLiteral("gif"), ConvertKind::video);
    QVERIFY(model->sampling());
    QTRY_VERIFY_WITH_TIMEOUT(!model->isEstimating(*model->item(clip.id), gif), 60000);
    QVERIFY(model->estimate(*model->item(clip.id), gif).value_or(0) > 0);
}

void TestConverterModel::noSamplingDuringConversions()
{
    QVERIFY(QFile::copy(media("thirty.mkv"), m_work->filePath("r1.mkv")));
    auto model = newModel();
    model->setChoice(QStringLiteral("mkv"), ConvertKind::video);
    model->add({m_work->filePath("r1.mkv")});
    model->convertAll();
    bool sampledWhileRunning = false;
    connect(model.get(), &ConverterModel::samplingChanged, this, [&] {
        if (model->sampling() && model->running() > 0)
            sampledWhileRunning = true;
    });
    model->add({media("clip.mkv")});  // waits; its probe arrives while the first file converts
    const QUuid waiting = model->items().last().id;
    QTRY_VERIFY_WITH_TIMEOUT(model->item(waiting)->probed, 30000);
    QCOMPARE(model->running(), 1);
    QVERIFY(!model->sampling());
    QVERIFY(model->isEstimating(*model->item(waiting), *ConvertTarget::byID("mkv")));
    // The end of the conversion starts the waiting file's measurement, then the queue
    // moves on to that file.
    const QString key = ConverterModel::sampleKey(waiting, "mkv", ConvertQuality::balanced, 0);
    QTRY_VERIFY_WITH_TIMEOUT(model->sampled().contains(key), 120000);
    QVERIFY(!sampledWhileRunning);
    QTRY_VERIFY_WITH_TIMEOUT(allFinished(*model), 60000);
    QCOMPARE(model->item(waiting)->status.state, State::done);
}

void TestConverterModel::noDurationNoEstimate()
{
    auto model = newModel();
    model->add({media("dump.m2ts")});
    QTRY_VERIFY_WITH_TIMEOUT(model->items().first().probed, 30000);
    const auto item = model->items().first();
    QVERIFY(item.probe);
    QCOMPARE(item.probe->duration(), 0.0);
    const ConvertTarget mp4 = *ConvertTarget::byID(QStringLiteral("mp4"));
    QVERIFY(!model->estimate(item, mp4));
    QVERIFY(!model->isEstimating(item, mp4));
    QVERIFY(!model->sampling());
    const auto total = model->estimatedTotal(ConvertKind::video, mp4);
    QVERIFY(!total.any && !total.pending);
}

QTEST_MAIN(TestConverterModel)
#include "tst_convertermodel.moc"
