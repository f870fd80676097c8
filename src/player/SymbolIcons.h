#pragma once

#include <QObject>
#include <QQuickImageProvider>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

// The one table from the symbol names the windows use ("play.fill", "gobackward.10")
// to the bundled SVG icons in resources/icons, and the image provider that draws
// them in any colour: QML asks for "image://symbol/<name>/<AARRGGBB>".
class SymbolIcons : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;

    // The bundled file for a symbol ("gobackward.10" falls back to "gobackward");
    // empty for an unknown name.
    static QString fileName(const QString &symbol);
    // Every symbol name of the table.
    static QStringList names();
    // The full path of the symbol's file in the resources folder; empty when unknown.
    static QString path(const QString &symbol);

    // The URL for an Image source: the symbol drawn in `color`.
    Q_INVOKABLE QUrl source(const QString &symbol, const QString &color = QStringLiteral("white")) const;
};

class SymbolImageProvider : public QQuickImageProvider
{
public:
    SymbolImageProvider();
    QImage requestImage(const QString &id, QSize *size, const QSize &requestedSize) override;

    // The SVG text of a symbol recoloured to `color`; empty when unknown.
    static QByteArray tinted(const QString &symbol, const QString &color);
};
