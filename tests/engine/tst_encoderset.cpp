#include "engine/EncoderSet.h"

#include "engine/FFmpeg.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(EncoderSet)
Q_DECLARE_METATYPE(EncoderSet::Codec)

class TestEncoderSet : public QObject
{
    Q_OBJECT

private slots:
    void names_data()
    {
        QTest::addColumn<EncoderSet>("set");
        QTest::addColumn<QString>("h264");
        QTest::addColumn<QString>("hevc");
        QTest::addColumn<QString>("aac");
        QTest::newRow("macOS") << EncoderSet::macOS() << "h264_videotoolbox" << "hevc_videotoolbox" << "aac_at";
        QTest::newRow("software") << EncoderSet::software() << "libx264" << "libx265" << "aac";
        QTest::newRow("vaapi") << EncoderSet::vaapi("/dev/dri/renderD128") << "h264_vaapi" << "hevc_vaapi" << "aac";
    }

    void names()
    {
        QFETCH(EncoderSet, set);
        QFETCH(QString, h264);
        QFETCH(QString, hevc);
        QFETCH(QString, aac);
        QCOMPARE(set.h264(), h264);
        QCOMPARE(set.hevc(), hevc);
        QCOMPARE(set.aac(), aac);
        QCOMPARE(set.name(EncoderSet::Codec::h264), h264);
        QCOMPARE(set.name(EncoderSet::Codec::hevc), hevc);
        QCOMPARE(set.audioEncoder("192k"), QStringList({"-c:a", aac, "-b:a", "192k"}));
    }

    void videoEncoder_data()
    {
        QTest::addColumn<EncoderSet>("set");
        QTest::addColumn<EncoderSet::Codec>("codec");
        QTest::addColumn<int>("quality");
        QTest::addColumn<QStringList>("args");
        const auto h264 = EncoderSet::Codec::h264;
        const auto hevc = EncoderSet::Codec::hevc;
        const auto mac = EncoderSet::macOS();
        const auto sw = EncoderSet::software();
        const auto va = EncoderSet::vaapi("/dev/dri/renderD129");
        QTest::newRow("macOS playback") << mac << h264 << 65 << QStringList{"-c:v", "h264_videotoolbox", "-q:v", "65"};
        QTest::newRow("macOS hevc best") << mac << hevc << 75 << QStringList{"-c:v", "hevc_videotoolbox", "-q:v", "75"};
        QTest::newRow("x264 best") << sw << h264 << 75
                                   << QStringList{"-c:v", "libx264", "-preset", "veryfast", "-crf", "20"};
        QTest::newRow("x264 balanced") << sw << h264 << 60
                                       << QStringList{"-c:v", "libx264", "-preset", "veryfast", "-crf", "23"};
        QTest::newRow("x264 small") << sw << h264 << 45
                                    << QStringList{"-c:v", "libx264", "-preset", "veryfast", "-crf", "28"};
        QTest::newRow("x264 playback") << sw << h264 << 65
                                       << QStringList{"-c:v", "libx264", "-preset", "veryfast", "-crf", "22"};
        QTest::newRow("x265 best") << sw << hevc << 75
                                   << QStringList{"-c:v", "libx265", "-preset", "veryfast", "-crf", "25"};
        QTest::newRow("x265 balanced") << sw << hevc << 60
                                       << QStringList{"-c:v", "libx265", "-preset", "veryfast", "-crf", "28"};
        QTest::newRow("x265 small") << sw << hevc << 45
                                    << QStringList{"-c:v", "libx265", "-preset", "veryfast", "-crf", "33"};
        QTest::newRow("vaapi balanced") << va << h264 << 60 << QStringList{"-c:v", "h264_vaapi", "-qp", "23"};
        QTest::newRow("vaapi hevc small") << va << hevc << 45 << QStringList{"-c:v", "hevc_vaapi", "-qp", "28"};
    }

    void videoEncoder()
    {
        QFETCH(EncoderSet, set);
        QFETCH(EncoderSet::Codec, codec);
        QFETCH(int, quality);
        QFETCH(QStringList, args);
        QCOMPARE(set.videoEncoder(codec, quality), args);
    }

    void crfBounds_data()
    {
        QTest::addColumn<int>("quality");
        QTest::addColumn<int>("x264");
        QTest::addColumn<int>("x265");
        QTest::newRow("top") << 100 << 15 << 20;
        QTest::newRow("above range") << 140 << 15 << 20;
        QTest::newRow("bottom") << 0 << 43 << 48;
        QTest::newRow("below range") << -20 << 43 << 48;
    }

    void crfBounds()
    {
        QFETCH(int, quality);
        QFETCH(int, x264);
        QFETCH(int, x265);
        QCOMPARE(EncoderSet::crf(EncoderSet::Codec::h264, quality), x264);
        QCOMPARE(EncoderSet::crf(EncoderSet::Codec::hevc, quality), x265);
    }

    void crfFallsAsQualityRises()
    {
        for (int q = 1; q <= 100; ++q)
            QVERIFY(EncoderSet::crf(EncoderSet::Codec::h264, q) <= EncoderSet::crf(EncoderSet::Codec::h264, q - 1));
    }

    void videoFilter_data()
    {
        QTest::addColumn<EncoderSet>("set");
        QTest::addColumn<QString>("chain");
        QTest::addColumn<QString>("result");
        const auto va = EncoderSet::vaapi("/dev/dri/renderD128");
        QTest::newRow("macOS unchanged") << EncoderSet::macOS() << "format=yuv420p" << "format=yuv420p";
        QTest::newRow("software unchanged") << EncoderSet::software() << "scale=-2:'min(1080,ih)',format=yuv420p"
                                            << "scale=-2:'min(1080,ih)',format=yuv420p";
        QTest::newRow("vaapi format") << va << "format=yuv420p" << "format=nv12,hwupload";
        QTest::newRow("vaapi scale and format")
            << va << "scale=-2:'min(1080,ih)',format=yuv420p" << "scale=-2:'min(1080,ih)',format=nv12,hwupload";
        QTest::newRow("vaapi without format") << va << "fps=10" << "fps=10,format=nv12,hwupload";
        QTest::newRow("vaapi empty") << va << "" << "format=nv12,hwupload";
    }

    void videoFilter()
    {
        QFETCH(EncoderSet, set);
        QFETCH(QString, chain);
        QFETCH(QString, result);
        QCOMPARE(set.videoFilter(chain), result);
    }

    void inputOptions()
    {
        QCOMPARE(EncoderSet::macOS().inputOptions(), QStringList());
        QCOMPARE(EncoderSet::software().inputOptions(), QStringList());
        QCOMPARE(EncoderSet::vaapi("/dev/dri/renderD130").inputOptions(),
                 QStringList({"-vaapi_device", "/dev/dri/renderD130"}));
    }

    void detect_data()
    {
        QTest::addColumn<QString>("renderNode");
        QTest::newRow("no render node") << QString();
        // Not a VAAPI device: the one-frame test encode fails.
        QTest::newRow("node that cannot encode") << "/dev/null";
        QTest::newRow("node that does not exist") << "/dev/dri/renderD199";
    }

    void detect()
    {
        QFETCH(QString, renderNode);
        QCOMPARE(EncoderSet::detect(FFmpeg::ffmpeg(), renderNode), EncoderSet::software());
    }

    void detectWithoutFFmpeg()
    {
        QTemporaryDir dir;
        QCOMPARE(EncoderSet::detect(dir.filePath("ffmpeg"), "/dev/null"), EncoderSet::software());
    }

    void currentIsChosenOnce()
    {
        const EncoderSet &first = EncoderSet::current();
        QCOMPARE(&EncoderSet::current(), &first);
        QVERIFY(first.kind() != EncoderSet::Kind::macOS);
        if (EncoderSet::findRenderNode().isEmpty())
            QCOMPARE(first, EncoderSet::software());
    }

    void chosenSetEncodes()
    {
        // What the run chose really encodes a frame of each codec.
        QTemporaryDir dir;
        const EncoderSet &set = EncoderSet::current();
        for (const auto codec : {EncoderSet::Codec::h264, EncoderSet::Codec::hevc}) {
            QStringList args{"-hide_banner", "-loglevel", "error", "-y"};
            args << set.inputOptions() << "-f" << "lavfi" << "-i" << "testsrc2=size=320x240:rate=25:duration=0.2"
                 << "-f" << "lavfi" << "-i" << "sine=duration=0.2" << set.videoEncoder(codec, 60) << "-vf"
                 << set.videoFilter("format=yuv420p") << set.audioEncoder("128k") << dir.filePath("out.mp4");
            QByteArray output;
            QCOMPARE(TestSupport::run(FFmpeg::ffmpeg(), args, &output), 0);
            QByteArray probe;
            QCOMPARE(TestSupport::run("ffprobe", {"-v", "error", "-show_entries", "stream=codec_name", "-of", "csv=p=0",
                                                  dir.filePath("out.mp4")},
                                      &probe),
                     0);
            QCOMPARE(probe.split('\n').first(), codec == EncoderSet::Codec::h264 ? QByteArray("h264") : QByteArray("hevc"));
        }
    }
};

QTEST_GUILESS_MAIN(TestEncoderSet)
#include "tst_encoderset.moc"
