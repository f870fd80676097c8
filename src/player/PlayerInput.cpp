#include "player/PlayerInput.h"

#include <QChar>
#include <QLineF>

#include <cmath>

namespace PlayerInput {

namespace {

constexpr Qt::KeyboardModifiers tracked = Qt::ShiftModifier | Qt::ControlModifier
                                          | Qt::AltModifier | Qt::MetaModifier;

bool only(Qt::KeyboardModifiers modifiers, Qt::KeyboardModifier one)
{
    return (modifiers & tracked) == one;
}

Action act(Command c, double amount = 0)
{
    return {c, amount, {}};
}

// The character a key stands for, ignoring Ctrl and Alt: Qt gives printable keys
// their upper-case code, and shifted symbols (>, +) their own code.
QChar character(int key)
{
    if (key < 0x20 || key > 0x7e)
        return {};
    return QChar(key).toLower();
}

Action characterAction(QChar c, Qt::KeyboardModifiers modifiers, const KeyContext &ctx)
{
    switch (c.unicode()) {
    case 'k': return act(Command::togglePlay);
    case 'j': return act(Command::seekBy, -ctx.longSkip);
    case 'l': return act(Command::seekBy, ctx.longSkip);
    case 'n': case ']': return act(Command::step, 1);
    case 'p': case '[': return act(Command::step, -1);
    case 'f': return act(Command::toggleFullScreen);
    case 'm': return act(Command::toggleMute);
    case '=': case '+': return act(Command::zoomBy, 1.25);
    case '-': return act(Command::zoomBy, 0.8);
    case '0': return act(Command::resetZoom);
    case '.': return act(Command::frameStep, 1);
    case ',': return act(Command::frameStep, -1);
    case '>': return act(Command::faster);
    case '<': return act(Command::slower);
    case 'r': return act(Command::rotateBy, modifiers & Qt::ShiftModifier ? -90 : 90);
    default: return {};
    }
}

} // namespace

Action keyAction(int key, Qt::KeyboardModifiers modifiers, const KeyContext &ctx)
{
    const bool shiftAlone = only(modifiers, Qt::ShiftModifier);
    const bool ctrlAlone = only(modifiers, Qt::ControlModifier);
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return act(Command::toggleFullScreen);
    case Qt::Key_Space:
        return act(Command::togglePlay);
    case Qt::Key_Backspace:
        // Trash only with Ctrl alone; otherwise no character rule matches either.
        return ctrlAlone ? act(Command::trash) : Action{};
    case Qt::Key_Escape:
        if (ctx.fullScreen)
            return act(Command::leaveFullScreen);
        return ctx.zoom > 1 ? act(Command::resetZoom) : Action{};
    case Qt::Key_Left:
    case Qt::Key_Right: {
        const int sign = key == Qt::Key_Right ? 1 : -1;
        if (ctx.picture || ctrlAlone)
            return act(Command::step, sign);
        return act(Command::seekBy, sign * (shiftAlone ? ctx.longSkip : 5.0));
    }
    case Qt::Key_PageUp:
        return act(Command::step, -1);
    case Qt::Key_PageDown:
        return act(Command::step, 1);
    case Qt::Key_Down:
        return ctx.picture ? act(Command::zoomBy, 0.8) : act(Command::volumeBy, -0.1);
    case Qt::Key_Up:
        return ctx.picture ? act(Command::zoomBy, 1.25) : act(Command::volumeBy, 0.1);
    default:
        break;
    }
    const QChar c = character(key);
    return c.isNull() ? Action{} : characterAction(c, modifiers, ctx);
}

Action smartMagnifyAction(double zoom)
{
    return zoom > 1 ? act(Command::resetZoom) : act(Command::zoomBy, 2);
}

Action scrollAction(const Scroll &s, const ScrollContext &ctx)
{
    if (s.precise) {
        if (ctx.zoom > 1)
            return {Command::pan, 0, s.delta};
        return {};  // a swipe
    }
    const double dx = s.delta.x(), dy = s.delta.y();
    if (!ctx.picture && ((s.modifiers & Qt::ShiftModifier) || std::abs(dx) > std::abs(dy)))
        return act(Command::scrollSeek);
    if (s.modifiers & (Qt::ControlModifier | Qt::MetaModifier))
        return act(Command::zoomBy, dy > 0 ? 1.15 : 1 / 1.15);
    if (!ctx.picture)
        return act(Command::volumeBy, dy * 0.05);
    if (dy < 0)
        return act(Command::step, 1);
    if (dy > 0)
        return act(Command::step, -1);
    return {};
}

std::optional<int> Swipe::feed(const Scroll &s)
{
    if (s.phase == Qt::ScrollBegin) {
        m_sum = 0;
        m_done = false;
    }
    if (s.phase == Qt::ScrollMomentum || m_done)
        return std::nullopt;
    m_sum += s.delta.x();
    if (std::abs(m_sum) > 90 && std::abs(s.delta.x()) >= std::abs(s.delta.y())) {
        m_done = true;
        return m_sum < 0 ? 1 : -1;
    }
    return std::nullopt;
}

ClickGate::Press ClickGate::press(QPointF at, qint64 now)
{
    const bool second = m_lastPress && now - *m_lastPress <= m_interval
                        && QLineF(m_start, at).length() <= 4;
    m_start = at;
    if (second) {
        m_lastPress.reset();  // a third press starts over
        m_deadline.reset();
        return Press::doubleClick;
    }
    m_lastPress = now;
    m_deadline = now + m_interval;
    return Press::single;
}

void ClickGate::move(QPointF to)
{
    if (QLineF(m_start, to).length() > 4)
        m_deadline.reset();
}

bool ClickGate::fire(qint64 now)
{
    if (!m_deadline || now < *m_deadline)
        return false;
    m_deadline.reset();
    return true;
}

} // namespace PlayerInput
