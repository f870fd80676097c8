// The player's QML views under Qt Quick Test: each view is built from the real
// module with a model and controller written in QML (tests/player/qml).
#include "player/SymbolIcons.h"

#include <QFile>
#include <QQmlEngine>
#include <QtQuickTest>

void qml_register_types_ZentrovaMedia_Player();

class Setup : public QObject
{
    Q_OBJECT

public slots:
    void applicationAvailable() { qml_register_types_ZentrovaMedia_Player(); }
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
        engine->addImageProvider(QStringLiteral("symbol"), new SymbolImageProvider);
    }
};

int main(int argc, char **argv)
{
    // Draw in software: the views are checked, not the GPU.
    qputenv("QT_QUICK_BACKEND", "software");
    const QByteArray dir = qgetenv("ZM_SOURCE_DIR") + "/tests/player/qml";
    Setup setup;
    return quick_test_main_with_setup(argc, argv, "playerviews", dir.constData(), &setup);
}

#include "tst_playerviews.moc"
