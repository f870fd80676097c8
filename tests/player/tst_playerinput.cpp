#include "player/PlayerInput.h"

#include <QTest>

using namespace PlayerInput;
Q_DECLARE_METATYPE(PlayerInput::Command)

class TestPlayerInput : public QObject
{
    Q_OBJECT

private slots:
    void keys_data();
    void keys();
    void scroll_data();
    void scroll();
    void smartMagnify_data();
    void smartMagnify();
    void swipeStepsOnce_data();
    void swipeStepsOnce();
    void clicks_data();
    void clicks();
};

void TestPlayerInput::keys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("mods");
    QTest::addColumn<bool>("picture");
    QTest::addColumn<bool>("fullScreen");
    QTest::addColumn<double>("zoom");
    QTest::addColumn<Command>("command");
    QTest::addColumn<double>("amount");

    const Qt::KeyboardModifiers none;
    const Qt::KeyboardModifiers shift = Qt::ShiftModifier;
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    const Qt::KeyboardModifiers ctrlShift = Qt::ControlModifier | Qt::ShiftModifier;
    const Qt::KeyboardModifiers alt = Qt::AltModifier;

    QTest::newRow("Return: full screen") << int(Qt::Key_Return) << none << false << false << 1.0 << Command::toggleFullScreen << 0.0;
    QTest::newRow("keypad Enter: full screen") << int(Qt::Key_Enter) << none << false << false << 1.0 << Command::toggleFullScreen << 0.0;
    QTest::newRow("Space: play") << int(Qt::Key_Space) << none << false << false << 1.0 << Command::togglePlay << 0.0;
    QTest::newRow("Space on a picture: slideshow (play)") << int(Qt::Key_Space) << none << true << false << 1.0 << Command::togglePlay << 0.0;
    QTest::newRow("Backspace alone: nothing") << int(Qt::Key_Backspace) << none << false << false << 1.0 << Command::none << 0.0;
    QTest::newRow("Ctrl+Backspace: trash") << int(Qt::Key_Backspace) << ctrl << false << false << 1.0 << Command::trash << 0.0;
    QTest::newRow("Ctrl+Shift+Backspace: nothing") << int(Qt::Key_Backspace) << ctrlShift << false << false << 1.0 << Command::none << 0.0;
    QTest::newRow("Escape in full screen") << int(Qt::Key_Escape) << none << false << true << 3.0 << Command::leaveFullScreen << 0.0;
    QTest::newRow("Escape zoomed") << int(Qt::Key_Escape) << none << false << false << 2.0 << Command::resetZoom << 0.0;
    QTest::newRow("Escape at zoom 1: passed on") << int(Qt::Key_Escape) << none << false << false << 1.0 << Command::none << 0.0;
    QTest::newRow("Left: back 5") << int(Qt::Key_Left) << none << false << false << 1.0 << Command::seekBy << -5.0;
    QTest::newRow("Right: forward 5") << int(Qt::Key_Right) << none << false << false << 1.0 << Command::seekBy << 5.0;
    QTest::newRow("Shift+Left: long skip back") << int(Qt::Key_Left) << shift << false << false << 1.0 << Command::seekBy << -30.0;
    QTest::newRow("Shift+Right: long skip") << int(Qt::Key_Right) << shift << false << false << 1.0 << Command::seekBy << 30.0;
    QTest::newRow("Ctrl+Left: previous file") << int(Qt::Key_Left) << ctrl << false << false << 1.0 << Command::step << -1.0;
    QTest::newRow("Ctrl+Right: next file") << int(Qt::Key_Right) << ctrl << false << false << 1.0 << Command::step << 1.0;
    QTest::newRow("Ctrl+Shift+Right: 5 s") << int(Qt::Key_Right) << ctrlShift << false << false << 1.0 << Command::seekBy << 5.0;
    QTest::newRow("Alt+Right: 5 s") << int(Qt::Key_Right) << alt << false << false << 1.0 << Command::seekBy << 5.0;
    QTest::newRow("Left on a picture: previous") << int(Qt::Key_Left) << shift << true << false << 1.0 << Command::step << -1.0;
    QTest::newRow("Right on a picture: next") << int(Qt::Key_Right) << none << true << false << 1.0 << Command::step << 1.0;
    QTest::newRow("Page Up") << int(Qt::Key_PageUp) << none << false << false << 1.0 << Command::step << -1.0;
    QTest::newRow("Page Down") << int(Qt::Key_PageDown) << none << false << false << 1.0 << Command::step << 1.0;
    QTest::newRow("Up: volume up") << int(Qt::Key_Up) << none << false << false << 1.0 << Command::volumeBy << 0.1;
    QTest::newRow("Down: volume down") << int(Qt::Key_Down) << none << false << false << 1.0 << Command::volumeBy << -0.1;
    QTest::newRow("Up on a picture: zoom in") << int(Qt::Key_Up) << none << true << false << 1.0 << Command::zoomBy << 1.25;
    QTest::newRow("Down on a picture: zoom out") << int(Qt::Key_Down) << none << true << false << 1.0 << Command::zoomBy << 0.8;
    QTest::newRow("k") << int(Qt::Key_K) << none << false << false << 1.0 << Command::togglePlay << 0.0;
    QTest::newRow("j") << int(Qt::Key_J) << none << false << false << 1.0 << Command::seekBy << -30.0;
    QTest::newRow("l") << int(Qt::Key_L) << none << false << false << 1.0 << Command::seekBy << 30.0;
    QTest::newRow("n") << int(Qt::Key_N) << none << false << false << 1.0 << Command::step << 1.0;
    QTest::newRow("]") << int(Qt::Key_BracketRight) << none << false << false << 1.0 << Command::step << 1.0;
    QTest::newRow("p") << int(Qt::Key_P) << none << false << false << 1.0 << Command::step << -1.0;
    QTest::newRow("[") << int(Qt::Key_BracketLeft) << none << false << false << 1.0 << Command::step << -1.0;
    QTest::newRow("f") << int(Qt::Key_F) << none << false << false << 1.0 << Command::toggleFullScreen << 0.0;
    QTest::newRow("m") << int(Qt::Key_M) << none << false << false << 1.0 << Command::toggleMute << 0.0;
    QTest::newRow("=") << int(Qt::Key_Equal) << none << false << false << 1.0 << Command::zoomBy << 1.25;
    QTest::newRow("+ (shifted)") << int(Qt::Key_Plus) << shift << false << false << 1.0 << Command::zoomBy << 1.25;
    QTest::newRow("-") << int(Qt::Key_Minus) << none << false << false << 1.0 << Command::zoomBy << 0.8;
    QTest::newRow("0") << int(Qt::Key_0) << none << false << false << 1.0 << Command::resetZoom << 0.0;
    QTest::newRow(".") << int(Qt::Key_Period) << none << false << false << 1.0 << Command::frameStep << 1.0;
    QTest::newRow(",") << int(Qt::Key_Comma) << none << false << false << 1.0 << Command::frameStep << -1.0;
    QTest::newRow("> (shifted)") << int(Qt::Key_Greater) << shift << false << false << 1.0 << Command::faster << 0.0;
    QTest::newRow("< (shifted)") << int(Qt::Key_Less) << shift << false << false << 1.0 << Command::slower << 0.0;
    QTest::newRow("r") << int(Qt::Key_R) << none << false << false << 1.0 << Command::rotateBy << 90.0;
    QTest::newRow("Shift+R") << int(Qt::Key_R) << shift << false << false << 1.0 << Command::rotateBy << -90.0;
    QTest::newRow("Ctrl+k ignores the modifier") << int(Qt::Key_K) << ctrl << false << false << 1.0 << Command::togglePlay << 0.0;
    QTest::newRow("x: passed on") << int(Qt::Key_X) << none << false << false << 1.0 << Command::none << 0.0;
    QTest::newRow("F1: passed on") << int(Qt::Key_F1) << none << false << false << 1.0 << Command::none << 0.0;
}

void TestPlayerInput::keys()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, mods);
    QFETCH(bool, picture);
    QFETCH(bool, fullScreen);
    QFETCH(double, zoom);
    QFETCH(Command, command);
    QFETCH(double, amount);
    const Action a = keyAction(key, mods, {picture, fullScreen, zoom, 30});
    QCOMPARE(a.command, command);
    QCOMPARE(a.amount, amount);
}

void TestPlayerInput::scroll_data()
{
    QTest::addColumn<bool>("precise");
    QTest::addColumn<QPointF>("delta");
    QTest::addColumn<Qt::KeyboardModifiers>("mods");
    QTest::addColumn<bool>("picture");
    QTest::addColumn<double>("zoom");
    QTest::addColumn<Command>("command");
    QTest::addColumn<double>("amount");
    QTest::addColumn<QPointF>("pan");

    const Qt::KeyboardModifiers none;
    QTest::newRow("trackpad zoomed: pan") << true << QPointF(3, -4) << none << false << 2.0 << Command::pan << 0.0 << QPointF(3, -4);
    QTest::newRow("trackpad at zoom 1: swipe") << true << QPointF(30, 0) << none << true << 1.0 << Command::none << 0.0 << QPointF();
    QTest::newRow("wheel with Shift: seek") << false << QPointF(0, 120) << Qt::KeyboardModifiers(Qt::ShiftModifier) << false << 1.0 << Command::scrollSeek << 0.0 << QPointF();
    QTest::newRow("horizontal wheel: seek") << false << QPointF(120, 10) << none << false << 1.0 << Command::scrollSeek << 0.0 << QPointF();
    QTest::newRow("Ctrl+wheel up: zoom in") << false << QPointF(0, 120) << Qt::KeyboardModifiers(Qt::ControlModifier) << false << 1.0 << Command::zoomBy << 1.15 << QPointF();
    QTest::newRow("Ctrl+wheel down: zoom out") << false << QPointF(0, -120) << Qt::KeyboardModifiers(Qt::ControlModifier) << true << 1.0 << Command::zoomBy << 1 / 1.15 << QPointF();
    QTest::newRow("wheel: volume") << false << QPointF(0, 2) << none << false << 1.0 << Command::volumeBy << 0.1 << QPointF();
    QTest::newRow("wheel down on a picture: next") << false << QPointF(0, -1) << none << true << 1.0 << Command::step << 1.0 << QPointF();
    QTest::newRow("wheel up on a picture: previous") << false << QPointF(0, 1) << none << true << 1.0 << Command::step << -1.0 << QPointF();
    QTest::newRow("Shift wheel on a picture steps") << false << QPointF(0, -1) << Qt::KeyboardModifiers(Qt::ShiftModifier) << true << 1.0 << Command::step << 1.0 << QPointF();
    QTest::newRow("still wheel on a picture: nothing") << false << QPointF(0, 0) << none << true << 1.0 << Command::none << 0.0 << QPointF();
}

void TestPlayerInput::scroll()
{
    QFETCH(bool, precise);
    QFETCH(QPointF, delta);
    QFETCH(Qt::KeyboardModifiers, mods);
    QFETCH(bool, picture);
    QFETCH(double, zoom);
    QFETCH(Command, command);
    QFETCH(double, amount);
    QFETCH(QPointF, pan);
    const Action a = scrollAction({precise, delta, Qt::ScrollUpdate, mods}, {picture, zoom});
    QCOMPARE(a.command, command);
    QCOMPARE(a.amount, amount);
    QCOMPARE(a.delta, pan);
}

void TestPlayerInput::smartMagnify_data()
{
    QTest::addColumn<double>("zoom");
    QTest::addColumn<Command>("command");
    QTest::addColumn<double>("amount");
    QTest::newRow("at fit: twice as close") << 1.0 << Command::zoomBy << 2.0;
    QTest::newRow("zoomed in: back to fit") << 1.5 << Command::resetZoom << 0.0;
}

void TestPlayerInput::smartMagnify()
{
    QFETCH(double, zoom);
    QFETCH(Command, command);
    QFETCH(double, amount);
    const Action a = smartMagnifyAction(zoom);
    QCOMPARE(a.command, command);
    QCOMPARE(a.amount, amount);
}

void TestPlayerInput::swipeStepsOnce_data()
{
    QTest::addColumn<QList<QPointF>>("deltas");  // first event begins the gesture
    QTest::addColumn<int>("momentumEvents");
    QTest::addColumn<QList<int>>("steps");
    QTest::newRow("long swipe left steps once forward")
        << QList<QPointF>{{-30, 0}, {-40, 0}, {-40, 0}, {-60, 0}, {-80, 0}} << 5 << QList<int>{1};
    QTest::newRow("swipe right steps back")
        << QList<QPointF>{{50, 0}, {50, 2}} << 0 << QList<int>{-1};
    QTest::newRow("short swipe steps nothing")
        << QList<QPointF>{{20, 0}, {30, 0}, {30, 0}} << 10 << QList<int>{};
    QTest::newRow("mostly vertical event does not step")
        << QList<QPointF>{{-60, 0}, {-40, -80}} << 0 << QList<int>{};
}

void TestPlayerInput::swipeStepsOnce()
{
    QFETCH(QList<QPointF>, deltas);
    QFETCH(int, momentumEvents);
    QFETCH(QList<int>, steps);
    Swipe swipe;
    QList<int> got;
    for (int i = 0; i < deltas.size(); ++i) {
        const auto phase = i == 0 ? Qt::ScrollBegin : Qt::ScrollUpdate;
        if (auto s = swipe.feed({true, deltas.at(i), phase, {}}))
            got << *s;
    }
    for (int i = 0; i < momentumEvents; ++i)
        if (auto s = swipe.feed({true, QPointF(-200, 0), Qt::ScrollMomentum, {}}))
            got << *s;
    QCOMPARE(got, steps);
    // The next gesture may step again.
    QCOMPARE(swipe.feed({true, QPointF(-100, 0), Qt::ScrollBegin, {}}), std::optional<int>(1));
}

void TestPlayerInput::clicks_data()
{
    // Events: 'p' press at t, 'm' move to x (y 0) , 't' timer check at t.
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("outcome");  // what happened, in order
    QTest::newRow("single click plays after the interval") << "p0 t399 t400" << "single";
    QTest::newRow("double click is full screen, no play") << "p0 p250 t400 t700" << "double";
    QTest::newRow("second press after the interval: two singles") << "p0 t400 p401 t801"
                                                                 << "single single";
    QTest::newRow("drag past 4 points cancels the play") << "p0 m5 t400" << "";
    QTest::newRow("small wobble still plays") << "p0 m3 t400" << "single";
    QTest::newRow("triple click: double, then single") << "p0 p100 p200 t600" << "double single";
}

void TestPlayerInput::clicks()
{
    QFETCH(QString, events);
    QFETCH(QString, outcome);
    ClickGate gate(400);
    QStringList got;
    for (const QString &e : events.split(u' ')) {
        const qint64 v = e.mid(1).toLongLong();
        if (e.startsWith(u'p')) {
            if (gate.press(QPointF(0, 0), v) == ClickGate::Press::doubleClick)
                got << QStringLiteral("double");
        } else if (e.startsWith(u'm')) {
            gate.move(QPointF(v, 0));
        } else if (gate.fire(v)) {
            got << QStringLiteral("single");
        }
    }
    QCOMPARE(got.join(u' '), outcome);
}

QTEST_GUILESS_MAIN(TestPlayerInput)
#include "tst_playerinput.moc"
