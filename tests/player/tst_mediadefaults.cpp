#include "log/Log.h"
#include "platform/DefaultApps.h"
#include "player/MediaDefaults.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using Group = MediaDefaults::Group;

// GIO reads a temporary home: our desktop entry in the user's data folder, two stand-in
// desktop applications in the system data folder and their defaults in the system
// configuration, so "the desktop's own default" is a real, checkable app.
class TestMediaDefaults : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestSupport::TempHome> m_home;
    const QString m_ours = QStringLiteral("com.zentrova.media.desktop");

    static void write(const QString &path, const QByteArray &text)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    static QByteArray standIn(const char *name, const QStringList &types)
    {
        return QByteArray("[Desktop Entry]\nType=Application\nName=") + name + "\nExec=/bin/true %F\nMimeType="
               + types.join(u';').toUtf8() + ";\n";
    }

    QString userMimeApps() const { return m_home->config() + QStringLiteral("/mimeapps.list"); }

private slots:
    void initTestCase()
    {
        m_home = std::make_unique<TestSupport::TempHome>();
        const QString root = m_home->path();
        qputenv("XDG_DATA_DIRS", (root + QStringLiteral("/system-share")).toUtf8());
        qputenv("XDG_CONFIG_DIRS", (root + QStringLiteral("/system-config")).toUtf8());

        // GIO only accepts an entry whose program is on PATH, as it is once installed.
        write(root + QStringLiteral("/bin/zentrova-media"), "#!/bin/sh\n");
        QFile::setPermissions(root + QStringLiteral("/bin/zentrova-media"), QFile::ReadOwner | QFile::ExeOwner);
        qputenv("PATH", (root + QStringLiteral("/bin:") + qEnvironmentVariable("PATH")).toUtf8());

        QFile entry(TestSupport::sourceDir() + QStringLiteral("/resources/") + m_ours);
        QVERIFY(entry.open(QIODevice::ReadOnly));
        write(root + QStringLiteral("/.local/share/applications/") + m_ours, entry.readAll());

        const QStringList video = MediaDefaults::types(Group::video);
        const QStringList picture = MediaDefaults::types(Group::picture);
        write(root + QStringLiteral("/system-share/applications/stand-in-player.desktop"), standIn("Player", video));
        write(root + QStringLiteral("/system-share/applications/stand-in-viewer.desktop"), standIn("Viewer", picture));
        QByteArray defaults("[Default Applications]\n");
        for (const QString &type : video)
            defaults += type.toUtf8() + "=stand-in-player.desktop\n";
        for (const QString &type : picture)
            defaults += type.toUtf8() + "=stand-in-viewer.desktop\n";
        write(root + QStringLiteral("/system-config/mimeapps.list"), defaults);
    }

    void cleanupTestCase() { m_home.reset(); }

    void entryDeclaresEveryGroupType_data()
    {
        QTest::addColumn<QString>("type");
        for (Group group : MediaDefaults::groups())
            for (const QString &type : MediaDefaults::types(group))
                QTest::newRow(qPrintable(type)) << type;
    }

    void entryDeclaresEveryGroupType()
    {
        QFETCH(QString, type);
        QFile entry(TestSupport::sourceDir() + QStringLiteral("/resources/") + m_ours);
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(entry.readAll());
        const auto line = text.split(u'\n').filter(QStringLiteral("MimeType=")).value(0);
        QVERIFY(line.mid(9).split(u';').contains(type));
    }

    void startsUnknownThenRefreshes()
    {
        MediaDefaults defaults(m_ours);
        QVERIFY(defaults.isDefault().isEmpty());
        QSignalSpy spy(&defaults, &MediaDefaults::isDefaultChanged);
        defaults.refresh();
        QCOMPARE(spy.count(), 1);
        QCOMPARE(defaults.isDefault().value(Group::video, true), false);
        QCOMPARE(defaults.isDefault().value(Group::picture, true), false);
        QCOMPARE(defaults.isDefaultMap().keys(), (QStringList{QStringLiteral("picture"), QStringLiteral("video")}));
        defaults.refresh();
        QCOMPARE(spy.count(), 1);  // nothing changed, no notification
    }

    void setOnAndOff_data()
    {
        QTest::addColumn<Group>("group");
        QTest::addColumn<Group>("other");
        QTest::addColumn<QString>("desktopsOwn");
        QTest::newRow("video") << Group::video << Group::picture << QStringLiteral("stand-in-player.desktop");
        QTest::newRow("picture") << Group::picture << Group::video << QStringLiteral("stand-in-viewer.desktop");
    }

    void setOnAndOff()
    {
        QFETCH(Group, group);
        QFETCH(Group, other);
        QFETCH(QString, desktopsOwn);
        MediaDefaults defaults(m_ours);
        defaults.refresh();
        QCOMPARE(defaults.isDefault().value(group), false);

        QString error;
        QVERIFY2(DefaultApps::setDefault(m_ours, MediaDefaults::types(group).first(), &error), qPrintable(error));
        DefaultApps::resetAssociations(MediaDefaults::types(group).first());
        QCOMPARE(DefaultApps::defaultFor(MediaDefaults::types(group).first()), desktopsOwn);
        defaults.set(group, true);
        QCOMPARE(defaults.isDefault().value(group), true);
        QCOMPARE(defaults.isDefault().value(other), false);
        const QString prefix = QStringLiteral("Media player default for ") + MediaDefaults::rawValue(group);
        QVERIFY(Log::tail(3).join(u'\n').contains(prefix + QStringLiteral(": Zentrova Media")));
        for (const QString &type : MediaDefaults::types(group))
            QCOMPARE(DefaultApps::defaultFor(type), m_ours);
        QFile list(userMimeApps());
        QVERIFY(list.open(QIODevice::ReadOnly));
        QVERIFY(list.readAll().contains(MediaDefaults::types(group).first().toUtf8() + '=' + m_ours.toUtf8()));
        list.close();

        defaults.set(group, false);
        QCOMPARE(defaults.isDefault().value(group), false);
        QVERIFY(Log::tail(3).join(u'\n').contains(prefix + QStringLiteral(": the system's app")));
        for (const QString &type : MediaDefaults::types(group))
            QCOMPARE(DefaultApps::defaultFor(type), desktopsOwn);
    }

    void missingEntryChangesNothing()
    {
        MediaDefaults defaults(QStringLiteral("not-installed.desktop"));
        QString error;
        QVERIFY(!DefaultApps::setDefault(QStringLiteral("not-installed.desktop"), QStringLiteral("video/mp4"), &error));
        QVERIFY(!error.isEmpty());
        defaults.set(Group::video, true);
        QCOMPARE(defaults.isDefault().value(Group::video, true), false);
        QCOMPARE(DefaultApps::defaultFor(QStringLiteral("video/mp4")), QStringLiteral("stand-in-player.desktop"));
    }
};

QTEST_GUILESS_MAIN(TestMediaDefaults)
#include "tst_mediadefaults.moc"
