#pragma once

#include <QRect>
#include <QSize>

#include <optional>

class QImage;
class QString;
class PlayerEngine;

// What a player controller needs of its window and of the stage inside it.
// The window implements it; the controller never touches a view directly, so
// its logic runs (and is tested) without one. Every call is on the main thread.
class PlayerStage
{
public:
    virtual ~PlayerStage() = default;

    // --- the stage ---

    // Zoom 1, no pan; afterwards the controller's zoomChanged(1) is called by the stage.
    virtual void resetZoom(bool animated) = 0;
    // Turns the content to `degrees` (0, 90, 180 or 270) the short way round and resets
    // the zoom; afterwards the stage calls the controller's zoomChanged(1).
    virtual void setRotation(int degrees, bool animated) = 0;
    // Zooms by `factor` about the stage centre (limits are the stage's own).
    virtual void zoomBy(double factor) = 0;
    // Shows a picture, or an audio item's cover when `isArtwork`; a null image clears
    // the stage. Drops any video.
    virtual void show(const QImage &image, bool isArtwork) = 0;
    // Shows the video frames of `player` (null clears). The stage does not own it.
    virtual void show(PlayerEngine *player) = 0;
    // The pointer is within reach of the control bar; holds the controls up.
    virtual bool pointerOverControls() const = 0;

    // --- the window ---

    virtual void setTitle(const QString &title, const QString &subtitle) = 0;
    // The usable area of the window's screen, none without a screen.
    virtual std::optional<QRect> screenArea() const = 0;
    // The smallest content height the window allows.
    virtual int minimumContentHeight() const = 0;
    // Gives the window's content this size, centred in `screenArea`, without animation.
    virtual void resizeContent(const QSize &size) = 0;
    virtual void setFullScreen(bool on) = 0;
    // Hides the pointer over the stage until the mouse next moves.
    virtual void hidePointerUntilMoved() = 0;
    virtual void showPointer() = 0;
    // Gives the keyboard focus to the stage when it does not have it.
    virtual void focusStage() = 0;
    // Closes the window; the window then calls the controller's windowWillClose().
    virtual void closeWindow() = 0;
};
