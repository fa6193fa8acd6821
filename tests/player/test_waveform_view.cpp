// The waveform widget offscreen: where clicks seek, drags that select a loop, and a file's
// overview arriving from the worker while the window thread goes on.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QWheelEvent>
#include <tuple>

#include "player/waveform/waveform_view.h"
#include "tests/support/audio_fixtures.h"

namespace {

std::shared_ptr<player::WaveformOverview> flatOverview(double seconds) {
    auto ov = std::make_shared<player::WaveformOverview>();
    ov->rate = 44100;
    ov->frames = int64_t(seconds * 44100);
    ov->columns = 100;
    ov->exact = true;
    ov->lo.assign(100, -0.5f);
    ov->hi.assign(100, 0.5f);
    return ov;
}

// (width, length in seconds)
class WaveformClick : public ::testing::TestWithParam<std::tuple<int, double>> {};

// A click seeks to the point of the length the x stands for, from 0 at the left edge to the whole
// length at the right one, as the position slider spreads its range; the play head is drawn where
// a click would seek to its position.
TEST_P(WaveformClick, SeeksWhereTheSliderWouldAndTheHeadIsWhereItSeeks) {
    const auto [width, seconds] = GetParam();
    player::WaveformView view;
    view.resize(width, 60);
    view.setOverview(flatOverview(seconds));
    QSignalSpy seeks(&view, &player::WaveformView::seekRequested);
    const double secondsPerPixel = seconds / (width - 1);
    for (int x : {0, 1, width / 3, width / 2, width - 2, width - 1}) {
        QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(x, 30));
        ASSERT_EQ(seeks.size(), 1) << x;
        const double s = seeks.takeFirst().at(0).toDouble();
        EXPECT_NEAR(s, x * secondsPerPixel, 0.0011) << x;
        view.setPosition(s);
        EXPECT_EQ(view.xAt(view.position()), x);
    }
    view.setPosition(seconds * 2);  // beyond the end: the head stays at the right edge
    EXPECT_EQ(view.xAt(view.position()), width - 1);
}

INSTANTIATE_TEST_SUITE_P(Sizes, WaveformClick,
                         ::testing::Values(std::tuple{400, 300.0}, std::tuple{97, 3.7},
                                           std::tuple{1500, 1.0}, std::tuple{640, 5400.0}));

TEST(WaveformView, ADragSelectsALoopInEitherDirectionAndATremorIsAClick) {
    player::WaveformView view;
    view.resize(401, 60);
    view.setOverview(flatOverview(40.0));
    view.show();
    QSignalSpy loops(&view, &player::WaveformView::loopSelected);
    QSignalSpy seeks(&view, &player::WaveformView::seekRequested);
    const QImage before = view.grab().toImage();

    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(300, 30));
    QTest::mouseMove(&view, QPoint(200, 30));
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(100, 30));
    ASSERT_EQ(loops.size(), 1);
    EXPECT_NEAR(loops.at(0).at(0).toDouble(), 10.0, 0.001);
    EXPECT_NEAR(loops.at(0).at(1).toDouble(), 30.0, 0.001);
    EXPECT_EQ(seeks.size(), 0);
    const QImage looped = view.grab().toImage();
    EXPECT_NE(looped.pixel(200, 2), before.pixel(200, 2)) << "the loop region is drawn";
    EXPECT_EQ(looped.pixel(50, 2), before.pixel(50, 2));
    view.clearLoop();
    EXPECT_EQ(view.grab().toImage().pixel(200, 2), before.pixel(200, 2));

    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(100, 30));
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(101, 30));
    EXPECT_EQ(loops.size(), 1);
    EXPECT_EQ(seeks.size(), 1);
}

// The wheel zooms around the pointer (the second under it stays there, a click then seeks within
// the part shown) and back out to the whole file; a drag of one of the loop's ends moves that end
// only, and a tremor on it is a click.
TEST(WaveformView, TheWheelZoomsAroundThePointerAndTheLoopsEndsCanBeDragged) {
    player::WaveformView view;
    view.resize(401, 60);
    view.setOverview(flatOverview(40.0));
    view.show();
    const auto wheel = [&](int x, int steps) {
        QWheelEvent e(QPointF(x, 30), view.mapToGlobal(QPointF(x, 30)), {}, {0, 120 * steps},
                      Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&view, &e);
    };
    const double under = view.secondsAt(100);
    wheel(100, 3);
    EXPECT_NEAR(view.viewSeconds(), 40.0 * 0.512, 1e-9);
    EXPECT_NEAR(view.secondsAt(100), under, 40.0 / 400);
    QSignalSpy seeks(&view, &player::WaveformView::seekRequested);
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(400, 30));
    ASSERT_EQ(seeks.size(), 1);
    EXPECT_NEAR(seeks.takeFirst().at(0).toDouble(), view.viewStart() + view.viewSeconds(), 1e-9);
    wheel(300, -10);
    EXPECT_EQ(view.viewStart(), 0.0);
    EXPECT_EQ(view.viewSeconds(), 40.0);

    view.setLoop(10.0, 20.0);
    QSignalSpy loops(&view, &player::WaveformView::loopSelected);
    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(view.xAt(20.0) + 2, 30));
    QTest::mouseMove(&view, QPoint(view.xAt(30.0), 30));
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(view.xAt(30.0), 30));
    ASSERT_EQ(loops.size(), 1);
    EXPECT_DOUBLE_EQ(loops.at(0).at(0).toDouble(), 10.0);
    EXPECT_NEAR(loops.at(0).at(1).toDouble(), 30.0, 0.1);
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(view.xAt(10.0), 30));
    EXPECT_EQ(loops.size(), 1);
    EXPECT_EQ(seeks.size(), 1);
    EXPECT_DOUBLE_EQ(view.loopStart(), 10.0);
}

TEST(WaveformView, AFileIsDrawnFromTheWorkerAndAFailureIsReported) {
    QStandardPaths::setTestModeEnabled(true);
    fixtures::TempDir dir;
    const std::string path = dir.file("s.wav");
    fixtures::writeWav(path, fixtures::sine(440, 4.0, 44100, 2, 0.5));
    player::WaveformView view;
    view.resize(300, 60);
    QSignalSpy failures(&view, &player::WaveformView::loadFailed);
    view.loadFile(QString::fromStdString(path));
    EXPECT_FALSE(view.overview()) << "nothing shown of the previous file";
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.overview() && view.overview()->exact; }, 10000));
    EXPECT_NEAR(view.overview()->seconds(), 4.0, 1e-6);
    EXPECT_NEAR(view.overview()->hi[50], 0.5, 0.01);

    view.loadFile(QString::fromStdString(dir.file("missing.wav")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return failures.size() == 1; }, 10000));
    EXPECT_TRUE(failures.at(0).at(0).toString().contains("missing.wav"));
    EXPECT_EQ(view.failure(), failures.at(0).at(0).toString());  // shown where the wave would be
    EXPECT_FALSE(view.overview());
    view.loadFile(QString::fromStdString(path));
    EXPECT_TRUE(view.failure().isEmpty());
}

}  // namespace
