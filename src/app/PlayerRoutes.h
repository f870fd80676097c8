#pragma once

#include "app/AppRoutes.h"

// The routes with real player windows: opened files play, one window per file.
// Closing the last window quits unless a conversion is running (then the process
// quits when it ends, if no window opened meanwhile).
class PlayerRoutes : public LoggingRoutes
{
public:
    PlayerRoutes();
    void showLibrary() override;
    void openPlayer(const QUrl &url) override;
    bool hasVisibleWindows() const override;
    bool keepsRunning() const override;

private:
    void quitWhenIdle() const;
};
