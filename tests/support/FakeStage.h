#pragma once

#include "player/PlayerStage.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>

class MediaPlayerController;

// A player window that records what the controller asked of it.
class FakeStage : public PlayerStage
{
public:
    QStringList calls;         // one line per call, e.g. "setRotation 90 animated"
    QImage image;              // the last image shown
    bool imageIsArtwork = false;
    PlayerEngine *player = nullptr;
    QString title, subtitle;
    QSize content;             // the last resizeContent
    std::optional<QRect> area = QRect(0, 0, 1920, 1080);
    bool overControls = false;
    bool fullScreen = false;
    bool closed = false;
    std::function<void()> onClose;  // the window's close: calls windowWillClose

    void resetZoom(bool animated) override { calls << (animated ? "resetZoom animated" : "resetZoom"); }
    void setRotation(int degrees, bool animated) override
    {
        calls << QStringLiteral("setRotation %1%2").arg(degrees).arg(animated ? " animated" : "");
    }
    void zoomBy(double factor) override { calls << QStringLiteral("zoomBy %1").arg(factor); }
    void show(const QImage &shown, bool isArtwork) override
    {
        calls << (shown.isNull() ? "show no image" : isArtwork ? "show artwork" : "show picture");
        image = shown;
        imageIsArtwork = isArtwork;
        player = nullptr;
    }
    void show(PlayerEngine *shown) override
    {
        calls << (shown ? "show player" : "show no player");
        player = shown;
    }
    bool pointerOverControls() const override { return overControls; }
    void setTitle(const QString &t, const QString &s) override
    {
        title = t;
        subtitle = s;
    }
    std::optional<QRect> screenArea() const override { return area; }
    int minimumContentHeight() const override { return 260; }
    void resizeContent(const QSize &size) override
    {
        calls << QStringLiteral("resizeContent %1x%2").arg(size.width()).arg(size.height());
        content = size;
    }
    void setFullScreen(bool on) override
    {
        calls << (on ? "fullScreen on" : "fullScreen off");
        fullScreen = on;
    }
    void hidePointerUntilMoved() override { calls << "hidePointer"; }
    void showPointer() override {}
    void focusStage() override { calls << "focusStage"; }
    void closeWindow() override
    {
        calls << "closeWindow";
        closed = true;
        if (onClose)
            onClose();
    }
};
