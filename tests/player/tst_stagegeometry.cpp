#include "player/StageGeometry.h"

#include <QTest>

using namespace StageGeometry;

class TestStageGeometry : public QObject
{
    Q_OBJECT

private slots:
    void zoomAboutPoint_data();
    void zoomAboutPoint();
    void zoomStepsStopAtTen();
    void zoomOutSnapsToOne();
    void offsetClamp_data();
    void offsetClamp();
    void contentSwapsOnQuarterTurns_data();
    void contentSwapsOnQuarterTurns();
    void turnShortestWay_data();
    void turnShortestWay();
    void fourRightTurnsGive360();
    void barClamp_data();
    void barClamp();
    void barFractions_data();
    void barFractions();
    void nearBar_data();
    void nearBar();
};

static const QSizeF stage(800, 600);

void TestStageGeometry::zoomAboutPoint_data()
{
    QTest::addColumn<double>("zoom");
    QTest::addColumn<QPointF>("offset");
    QTest::addColumn<double>("factor");
    QTest::addColumn<QPointF>("anchor");
    QTest::addColumn<double>("expectedZoom");
    QTest::addColumn<QPointF>("expectedOffset");

    // The stage centre is (400, 300); offset' = (a - c) - z' * (a - c - offset) / z.
    QTest::newRow("centre keeps offset 0") << 1.0 << QPointF() << 2.0 << QPointF(400, 300)
                                           << 2.0 << QPointF(0, 0);
    QTest::newRow("top-left quadrant point") << 1.0 << QPointF() << 2.0 << QPointF(200, 150)
                                             << 2.0 << QPointF(200, 150);
    QTest::newRow("from zoom 2 with pan") << 2.0 << QPointF(100, 0) << 1.5 << QPointF(600, 300)
                                          << 3.0 << QPointF(50, 0);
    QTest::newRow("result clamped to the pan limit") << 2.0 << QPointF(400, 300) << 0.6
                                                     << QPointF(400, 300) << 1.2
                                                     << QPointF(80, 60);
}

void TestStageGeometry::zoomAboutPoint()
{
    QFETCH(double, zoom);
    QFETCH(QPointF, offset);
    QFETCH(double, factor);
    QFETCH(QPointF, anchor);
    QFETCH(double, expectedZoom);
    QFETCH(QPointF, expectedOffset);
    const auto v = zoomAbout({zoom, offset}, factor, anchor, stage);
    QVERIFY(v.has_value());
    QCOMPARE(v->zoom, expectedZoom);
    QCOMPARE(v->offset, expectedOffset);

    // The content point under the anchor stays under it (when not clamped).
    const QPointF c(400, 300);
    const QPointF before = (anchor - c - offset) / zoom;
    const QPointF after = (anchor - c - v->offset) / v->zoom;
    if (QTest::currentDataTag() != QByteArray("result clamped to the pan limit"))
        QCOMPARE(after, before);
}

void TestStageGeometry::zoomStepsStopAtTen()
{
    View v;
    int steps = 0;
    while (auto next = zoomAbout(v, 1.25, std::nullopt, stage)) {
        v = *next;
        QVERIFY(++steps < 100);
    }
    QCOMPARE(v.zoom, 10.0);
    QCOMPARE(steps, 11);  // 1.25^10 < 10 < 1.25^11
    QVERIFY(!zoomAbout(v, 1.25, QPointF(10, 10), stage).has_value());
}

void TestStageGeometry::zoomOutSnapsToOne()
{
    View v{1.5, QPointF(120, -80)};
    auto a = zoomAbout(v, 0.8, QPointF(100, 100), stage);  // 1.2: still zoomed
    QVERIFY(a && a->zoom > 1.001);
    a = zoomAbout(*a, 1 / 1.1999, QPointF(100, 100), stage);  // 1.00008: snaps
    QVERIFY(a.has_value());
    QCOMPARE(a->zoom, 1.0);
    QCOMPARE(a->offset, QPointF(0, 0));
    QVERIFY(!zoomAbout(*a, 0.5, std::nullopt, stage).has_value());  // already 1
}

void TestStageGeometry::offsetClamp_data()
{
    QTest::addColumn<double>("zoom");
    QTest::addColumn<QPointF>("offset");
    QTest::addColumn<QPointF>("expected");
    QTest::newRow("zoom 1 never pans") << 1.0 << QPointF(50, -50) << QPointF(0, 0);
    QTest::newRow("zoom 2 inside") << 2.0 << QPointF(399, -299) << QPointF(399, -299);
    QTest::newRow("zoom 2 beyond right/bottom") << 2.0 << QPointF(1000, 1000)
                                                << QPointF(400, 300);
    QTest::newRow("zoom 2 beyond left/top") << 2.0 << QPointF(-401, -301) << QPointF(-400, -300);
    QTest::newRow("zoom 3") << 3.0 << QPointF(5000, -5000) << QPointF(800, -600);
}

void TestStageGeometry::offsetClamp()
{
    QFETCH(double, zoom);
    QFETCH(QPointF, offset);
    QFETCH(QPointF, expected);
    QCOMPARE(clampOffset(offset, stage, zoom), expected);
}

void TestStageGeometry::contentSwapsOnQuarterTurns_data()
{
    QTest::addColumn<int>("turned");
    QTest::addColumn<QSizeF>("expected");
    QTest::newRow("0") << 0 << QSizeF(800, 600);
    QTest::newRow("90") << 90 << QSizeF(600, 800);
    QTest::newRow("180") << 180 << QSizeF(800, 600);
    QTest::newRow("270") << 270 << QSizeF(600, 800);
    QTest::newRow("-90") << -90 << QSizeF(600, 800);
    QTest::newRow("450") << 450 << QSizeF(600, 800);
    QTest::newRow("360") << 360 << QSizeF(800, 600);
}

void TestStageGeometry::contentSwapsOnQuarterTurns()
{
    QFETCH(int, turned);
    QFETCH(QSizeF, expected);
    QCOMPARE(contentSize(stage, turned), expected);
}

void TestStageGeometry::turnShortestWay_data()
{
    QTest::addColumn<int>("turned");
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("delta");
    QTest::newRow("270 to 0 turns +90") << 270 << 0 << 90;
    QTest::newRow("0 to 270 turns -90") << 0 << 270 << -90;
    QTest::newRow("0 to 90") << 0 << 90 << 90;
    QTest::newRow("0 to 180 is -180") << 0 << 180 << -180;
    QTest::newRow("90 to 270 is -180") << 90 << 270 << -180;
    QTest::newRow("360 to 90 (accumulated)") << 360 << 90 << 90;
    QTest::newRow("-90 to 0") << -90 << 0 << 90;
    QTest::newRow("same") << 180 << 180 << 0;
}

void TestStageGeometry::turnShortestWay()
{
    QFETCH(int, turned);
    QFETCH(int, target);
    QFETCH(int, delta);
    QCOMPARE(turnDelta(turned, target), delta);
    QCOMPARE(normalizedTurn(turned + delta), normalizedTurn(target));
}

void TestStageGeometry::fourRightTurnsGive360()
{
    int turned = 0;
    int rotation = 0;
    for (int i = 0; i < 4; ++i) {
        rotation = (rotation + 90) % 360;
        turned += turnDelta(turned, rotation);
    }
    QCOMPARE(turned, 360);
    QCOMPARE(normalizedTurn(turned), 0);
}

void TestStageGeometry::barClamp_data()
{
    QTest::addColumn<QSizeF>("root");
    QTest::addColumn<bool>("fullScreen");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("bottom");
    QTest::addColumn<double>("expectedX");
    QTest::addColumn<double>("expectedBottom");
    // Bar 500 x 40. Room = (width - max(500, min(width - 36, 640))) / 2 - 8.
    QTest::newRow("default place stays") << QSizeF(1200, 800) << false << 0.0 << -16.0
                                         << 0.0 << -16.0;
    QTest::newRow("dragged right beyond room") << QSizeF(1200, 800) << false << 900.0
                                               << -16.0 << 272.0 << -16.0;
    QTest::newRow("dragged left beyond room") << QSizeF(1200, 800) << false << -900.0
                                              << -16.0 << -272.0 << -16.0;
    QTest::newRow("below the bottom edge") << QSizeF(1200, 800) << false << 0.0 << 20.0
                                           << 0.0 << -8.0;
    QTest::newRow("under the title bar") << QSizeF(1200, 800) << false << 0.0 << -790.0
                                         << 0.0 << -726.0;
    QTest::newRow("top in full screen") << QSizeF(1200, 800) << true << 0.0 << -790.0
                                        << 0.0 << -752.0;
    // A corner place, then the window shrinks to 600 x 300.
    QTest::newRow("corner after shrink") << QSizeF(600, 300) << false << 272.0 << -726.0
                                         << 10.0 << -226.0;
    QTest::newRow("narrower than the bar") << QSizeF(420, 260) << false << 100.0 << -16.0
                                           << 0.0 << -16.0;
}

void TestStageGeometry::barClamp()
{
    QFETCH(QSizeF, root);
    QFETCH(bool, fullScreen);
    QFETCH(double, x);
    QFETCH(double, bottom);
    QFETCH(double, expectedX);
    QFETCH(double, expectedBottom);
    const Bar b = clampBar({x, bottom}, root, QSizeF(500, 40), fullScreen);
    QCOMPARE(b.x, expectedX);
    QCOMPARE(b.bottom, expectedBottom);
}

void TestStageGeometry::barFractions_data()
{
    QTest::addColumn<QList<double>>("stored");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("bottom");
    QTest::newRow("absent") << QList<double>{} << 0.0 << -16.0;
    QTest::newRow("only x") << QList<double>{0.25} << 250.0 << -16.0;
    QTest::newRow("both") << QList<double>{-0.1, 0.5} << -100.0 << -416.0;
}

void TestStageGeometry::barFractions()
{
    QFETCH(QList<double>, stored);
    QFETCH(double, x);
    QFETCH(double, bottom);
    const QSizeF root(1000, 800);
    const Bar b = barFromFractions(stored, root);
    QCOMPARE(b.x, x);
    QCOMPARE(b.bottom, bottom);
    // Stored again, the fractions read back to the same place.
    const QList<double> back = fractionsFromBar(b, root);
    QCOMPARE(barFromFractions(back, root), b);
    QCOMPARE(back.size(), 2);
    QVERIFY(fractionsFromBar(b, QSizeF(0, 0)).isEmpty());
}

void TestStageGeometry::nearBar_data()
{
    QTest::addColumn<QPointF>("point");
    QTest::addColumn<bool>("near");
    QTest::newRow("inside") << QPointF(150, 520) << true;
    QTest::newRow("24 above") << QPointF(150, 476) << true;
    QTest::newRow("25 above") << QPointF(150, 474.9) << false;
    QTest::newRow("left of it") << QPointF(70, 520) << false;
}

void TestStageGeometry::nearBar()
{
    QFETCH(QPointF, point);
    QFETCH(bool, near);
    QCOMPARE(StageGeometry::nearBar(point, QRectF(100, 500, 400, 40)), near);
}

QTEST_GUILESS_MAIN(TestStageGeometry)
#include "tst_stagegeometry.moc"
