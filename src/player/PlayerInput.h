#pragma once

#include <QPointF>
#include <QtGlobal>

#include <optional>

class QString;

// How keys, the wheel, the trackpad and mouse clicks become player commands.
// Pure decisions: the window feeds events in and carries the commands out.
namespace PlayerInput {

enum class Command {
    none,  // not ours: pass the event on
    toggleFullScreen,
    leaveFullScreen,
    togglePlay,
    trash,
    seekBy,      // amount: signed seconds
    step,        // amount: +1 next file, -1 previous
    zoomBy,      // amount: factor, about the centre (or the pointer for the wheel)
    resetZoom,
    volumeBy,    // amount: signed change, announced
    toggleMute,
    frameStep,   // amount: signed frames
    faster,
    slower,
    rotateBy,    // amount: signed degrees
    pan,         // delta: points
    scrollSeek,  // the event goes to the controller's scroll scrubbing
};

struct Action
{
    Command command = Command::none;
    double amount = 0;
    QPointF delta;
    bool operator==(const Action &) const = default;
};

// What the key table needs to know of the window at the moment of the key press.
struct KeyContext
{
    bool picture = false;
    bool fullScreen = false;
    double zoom = 1;
    double longSkip = 10;  // already the effective value (at least 5)
};

// A Qt key press (key code, modifiers, text) to a command. Ctrl stands for the
// other platform's Command key, Backspace for its Delete key.
Action keyAction(int key, Qt::KeyboardModifiers modifiers, const KeyContext &context);

// One wheel or trackpad scroll event. `precise` is a trackpad (pixel deltas).
// Deltas as Qt gives them: y positive when the wheel turns away from the user,
// and for a trackpad the way the content should follow the fingers.
struct Scroll
{
    bool precise = false;
    QPointF delta;
    Qt::ScrollPhase phase = Qt::NoScrollPhase;
    Qt::KeyboardModifiers modifiers;
};

struct ScrollContext
{
    bool picture = false;
    double zoom = 1;
};

// Wheel and trackpad table; swipes are left to Swipe below (command `none`
// with a precise event at zoom 1 means: feed it to the swipe tracker).
Action scrollAction(const Scroll &scroll, const ScrollContext &context);

// A two-finger double tap: back to fit when zoomed in, otherwise twice as close
// (about the pointer).
Action smartMagnifyAction(double zoom);

// A two-finger horizontal swipe steps one file at most once per gesture;
// momentum after the fingers lift steps nothing.
class Swipe
{
public:
    // Returns the step (+1 or -1) when this event completes the swipe.
    std::optional<int> feed(const Scroll &scroll);

private:
    double m_sum = 0;
    bool m_done = false;
};

// Tells a single click (toggles play) from a double click (full screen) and from
// a drag. Times are milliseconds on any monotonic clock; the window arms a timer
// for `deadline()` and calls `fire` when it runs out.
class ClickGate
{
public:
    explicit ClickGate(int doubleClickInterval) : m_interval(doubleClickInterval) {}

    enum class Press { single, doubleClick };
    // A second press within the interval, near the first, is a double click.
    Press press(QPointF at, qint64 now);
    void move(QPointF to);  // cancels the pending click past 4 points
    // When the single-click action is due, or none when nothing is pending.
    std::optional<qint64> deadline() const { return m_deadline; }
    // True when the pending single click is due at `now` (and consumes it).
    bool fire(qint64 now);

private:
    int m_interval;
    QPointF m_start;
    std::optional<qint64> m_lastPress;
    std::optional<qint64> m_deadline;
};

} // namespace PlayerInput
