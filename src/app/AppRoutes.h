#pragma once

#include <QList>
#include <QUrl>

// The launch sequence's way into the subsystems above it (updates, shares, playback
// scratch folders, the library and player windows, the converter). The wiring code
// hands the application one implementation; each later subsystem fills its part.
class AppRoutes
{
public:
    virtual ~AppRoutes() = default;

    virtual void startUpdates() = 0;
    virtual void reconnectShares() = 0;
    virtual void prunePlayback() = 0;
    virtual void showLibrary() = 0;
    virtual void openPlayer(const QUrl &url) = 0;
    // Files handed over for conversion (the "Convert" desktop action); may be empty.
    virtual void convertFiles(const QList<QUrl> &urls) = 0;

    virtual bool hasVisibleWindows() const = 0;
    // Whether anything (a window, a conversion) needs the process to stay alive.
    virtual bool keepsRunning() const = 0;
};

// Until the windows exist: every route writes a log line and does nothing else, so
// a launch logs and then ends.
class LoggingRoutes : public AppRoutes
{
public:
    void startUpdates() override;
    void reconnectShares() override;
    void prunePlayback() override;
    void showLibrary() override;
    void openPlayer(const QUrl &url) override;
    void convertFiles(const QList<QUrl> &urls) override;
    bool hasVisibleWindows() const override { return false; }
    bool keepsRunning() const override { return false; }
};
