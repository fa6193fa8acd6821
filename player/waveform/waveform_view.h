// The waveform of the loaded file for the Play Position frame: the overview (computed on a worker
// thread, coarse first), the play head, the A-B loop region, the song's markers and its chords
// (a tick at each change along the top, and the chord's name where its stretch has room). A click
// asks to seek there; a drag selects a loop, and a drag of one of the loop's ends moves that end.
// The wheel zooms in and out around the pointer. Positions are seconds on the file's timeline, as
// the position slider's.
#pragma once

#include <QFont>
#include <QPixmap>
#include <QString>
#include <QWidget>
#include <atomic>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "analysis/chord_detect.h"
#include "player/waveform/waveform_overview.h"

namespace player {

// Computes one file's overview at a time on the global thread pool and hands each stage (coarse,
// refined, exact) to the thread the loader lives in. A new load or the loader's end cancels the
// one under way; the window thread never waits for it.
class WaveformLoader : public QObject {
    Q_OBJECT
  public:
    explicit WaveformLoader(QObject* parent = nullptr);
    ~WaveformLoader() override;
    // `path` as the file system holds it (bytes; any name opens).
    void load(const std::string& path, int columns = 2000,
              OverviewChannels mode = OverviewChannels::Mixed);
    void cancel();
    // Shared by every loader: memory, and the program's cache folder on disk.
    static OverviewCache& cache();

  signals:
    void overviewReady(std::shared_ptr<const player::WaveformOverview> overview);
    void failed(const QString& message);

  private:
    struct Job;
    std::shared_ptr<Job> job_;
};

class WaveformView : public QWidget {
    Q_OBJECT
  public:
    explicit WaveformView(QWidget* parent = nullptr);

    // Starts computing the overview of `path` (the previous one disappears at once).
    void loadFile(const QString& path, OverviewChannels mode = OverviewChannels::Mixed);
    // The same with the path's bytes (a name that is not valid UTF-8 loads too).
    void loadFile(const std::string& path, OverviewChannels mode = OverviewChannels::Mixed);
    void setOverview(std::shared_ptr<const WaveformOverview> overview);
    std::shared_ptr<const WaveformOverview> overview() const { return overview_; }
    // Why the file's waveform could not be drawn (shown in its place); empty otherwise.
    const QString& failure() const { return failure_; }
    void clear();

    void setPosition(double seconds);  // the play head
    double position() const { return position_; }
    void setLoop(double a, double b);  // a >= b: no loop drawn
    void clearLoop() { setLoop(0, 0); }
    double loopStart() const { return loopA_; }
    double loopEnd() const { return loopB_; }
    void setMarkers(std::vector<double> seconds);
    const std::vector<double>& markers() const { return markers_; }
    // The song's chords, named as heard `semitones` away (the pitch shift).
    void setChords(std::vector<analysis::chords::ChordSpan> chords, int semitones,
                   analysis::chords::Spelling spelling = analysis::chords::Spelling::Usual);
    // What the top of the view shows of them: a tick at the x of each change in view, and the
    // names that fit inside their chord's stretch (at their x), left to right; only those of
    // the chords reaching into the columns `fromX`..`toX` (a repaint of the play head's).
    struct ChordLabel {
        int x;
        QString name;  // empty: a tick alone
    };
    std::vector<ChordLabel> chordLabels(int fromX = 0,
                                        int toX = std::numeric_limits<int>::max()) const;
    // The part of the file shown, in seconds (the whole file until the wheel zooms in).
    double viewStart() const { return viewFrom_; }
    double viewSeconds() const;

    // The seconds a click at `x` seeks to, and the x of the play head at `seconds`: the part shown
    // spread evenly over the width (unzoomed, from 0 at the left edge to the end at the right
    // one, as the position slider spreads its range, with no handle to leave room for).
    double secondsAt(int x) const;
    int xAt(double seconds) const;

    QSize sizeHint() const override { return {400, 64}; }
    QSize minimumSizeHint() const override { return {50, 24}; }

  signals:
    void seekRequested(double seconds);
    void loopSelected(double a, double b);
    void loadFailed(const QString& message);

  protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void wheelEvent(QWheelEvent*) override;

  private:
    static constexpr int kChordTick = 4, kChordPad = 2;  // pixels
    QFont chordFont() const;
    double length() const;
    void renderWave();
    void updateHead(int oldX, int newX);

    WaveformLoader loader_;
    std::shared_ptr<const WaveformOverview> overview_;
    QString failure_;
    QPixmap wave_;  // the drawn overview at the current size
    double position_ = 0.0;
    double loopA_ = 0.0, loopB_ = 0.0;
    int pressX_ = -1, dragX_ = -1;
    bool dragging_ = false;
    int draggedEnd_ = 0;        // 1: the loop's start is dragged, 2: its end
    double grabbedFrom_ = 0.0;  // where the dragged end was
    std::vector<double> markers_;
    std::vector<analysis::chords::ChordSpan> chords_;
    int chordShift_ = 0;
    analysis::chords::Spelling chordSpelling_ = analysis::chords::Spelling::Usual;
    double viewFrom_ = 0.0, viewSpan_ = 0.0;  // 0 span: the whole file
};

}  // namespace player
