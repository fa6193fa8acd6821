// The waveform widget and its loader.
#include "player/waveform/waveform_view.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QStandardPaths>
#include <QThreadPool>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace player {

namespace {

// The window's texts, through the translation (the context is the window's name).
struct Text {
    Q_DECLARE_TR_FUNCTIONS(frmWriteWave)
};

QString failureText(const std::string& path, bool unreadable) {
    const QString name = QString::fromStdString(path);
    return unreadable ? Text::tr("Can't read \"%1\".").arg(name)
                      : Text::tr("\"%1\" is not an audio file the program can read.").arg(name);
}

}  // namespace

// --- WaveformLoader ------------------------------------------------------------------------------

struct WaveformLoader::Job {
    std::atomic<bool> cancelled{false};
    std::mutex mutex;  // guards receiver against the loader's end
    WaveformLoader* receiver = nullptr;

    // Runs `f` on the receiver's thread, unless the job was cancelled meanwhile.
    template <class F>
    void post(std::shared_ptr<Job> self, F f) {
        std::lock_guard g(mutex);
        if (!receiver || cancelled) return;
        QMetaObject::invokeMethod(
            receiver,
            [self, f = std::move(f)] {
                if (!self->cancelled) f(self->receiver);
            },
            Qt::QueuedConnection);
    }
};

WaveformLoader::WaveformLoader(QObject* parent) : QObject(parent) {}

WaveformLoader::~WaveformLoader() {
    cancel();
}

void WaveformLoader::cancel() {
    if (!job_) return;
    std::lock_guard g(job_->mutex);
    job_->cancelled = true;
    job_->receiver = nullptr;
    job_.reset();
}

OverviewCache& WaveformLoader::cache() {
    // Never destroyed: a cancelled computation may still be finishing on the thread pool while
    // the program's statics are torn down.
    static auto* c = new OverviewCache(
        (QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + "/waveforms")
            .toStdString());
    return *c;
}

void WaveformLoader::load(const std::string& path, int columns, OverviewChannels mode) {
    cancel();
    auto job = std::make_shared<Job>();
    job->receiver = this;
    job_ = job;
    OverviewRequest request;
    request.path = path;
    request.columns = columns;
    request.mode = mode;
    request.cancel = &job->cancelled;
    request.progress = [job](std::shared_ptr<const WaveformOverview> ov) {
        job->post(job, [ov](WaveformLoader* l) { emit l->overviewReady(ov); });
    };
    QThreadPool::globalInstance()->start([job, request] {
        const OverviewResult r = cachedOverview(cache(), request);
        if (r.ok)
            job->post(job, [ov = r.overview](WaveformLoader* l) { emit l->overviewReady(ov); });
        else if (!r.message.empty())
            job->post(job, [m = failureText(request.path, r.unreadable)](WaveformLoader* l) {
                emit l->failed(m);
            });
    });
}

// --- WaveformView --------------------------------------------------------------------------------

WaveformView::WaveformView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
    connect(&loader_, &WaveformLoader::overviewReady, this, &WaveformView::setOverview);
    connect(&loader_, &WaveformLoader::failed, this, [this](const QString& message) {
        // Said where the waveform would be, so that an empty view is not taken for silence.
        failure_ = message;
        setToolTip(message);
        update();
        emit loadFailed(message);
    });
}

void WaveformView::loadFile(const QString& path, OverviewChannels mode) {
    loadFile(path.toStdString(), mode);
}

void WaveformView::loadFile(const std::string& path, OverviewChannels mode) {
    clear();
    loader_.load(path, 2000, mode);
}

void WaveformView::clear() {
    loader_.cancel();
    overview_.reset();
    if (!failure_.isEmpty()) setToolTip({});
    failure_.clear();
    position_ = 0;
    loopA_ = loopB_ = 0;
    viewFrom_ = viewSpan_ = 0;
    markers_.clear();
    chords_.clear();
    renderWave();
    update();
}

void WaveformView::setOverview(std::shared_ptr<const WaveformOverview> overview) {
    overview_ = std::move(overview);
    renderWave();
    update();
}

double WaveformView::length() const {
    return overview_ ? overview_->seconds() : 0.0;
}

double WaveformView::viewSeconds() const {
    return viewSpan_ > 0 ? viewSpan_ : length();
}

double WaveformView::secondsAt(int x) const {
    const int span = std::max(1, width() - 1);
    return viewFrom_ + double(std::clamp(x, 0, span)) / span * viewSeconds();
}

int WaveformView::xAt(double seconds) const {
    const int span = std::max(1, width() - 1);
    if (!(viewSeconds() > 0)) return 0;
    return int(std::lround(std::clamp((seconds - viewFrom_) / viewSeconds(), 0.0, 1.0) * span));
}

void WaveformView::setMarkers(std::vector<double> seconds) {
    markers_ = std::move(seconds);
    update();
}

void WaveformView::setChords(std::vector<analysis::chords::ChordSpan> chords, int semitones,
                             analysis::chords::Spelling spelling) {
    chords_ = std::move(chords);
    chordShift_ = semitones;
    chordSpelling_ = spelling;
    update();
}

std::vector<WaveformView::ChordLabel> WaveformView::chordLabels(int fromX, int toX) const {
    std::vector<ChordLabel> labels;
    if (!overview_) return labels;
    const double from = viewFrom_, to = viewFrom_ + viewSeconds();
    const QFontMetrics metrics(chordFont());
    for (const analysis::chords::ChordSpan& c : chords_) {
        if (c.root < 0 || !(c.end > from) || !(c.start < to)) continue;
        const int x = xAt(std::max(c.start, from)), end = xAt(std::min(c.end, to));
        if (end < fromX || x > toX) continue;
        const QString name = QString::fromStdString(analysis::chords::chordName(
            analysis::chords::transposed(c, chordShift_), chordSpelling_));
        const bool fits = metrics.horizontalAdvance(name) + 2 * kChordPad <= end - x;
        labels.push_back({x, fits ? name : QString()});
    }
    return labels;
}

QFont WaveformView::chordFont() const {
    QFont f = font();
    f.setPointSizeF(f.pointSizeF() * 0.85);
    return f;
}

void WaveformView::wheelEvent(QWheelEvent* e) {
    const double total = length();
    const int steps = e->angleDelta().y() / 120;
    if (!(total > 0) || steps == 0) return;
    // The second under the pointer stays under it.
    const int x = int(e->position().x());
    const double at = secondsAt(x);
    const double shortest = std::min(total, 1.0);
    const double span = std::clamp(viewSeconds() * std::pow(0.8, steps), shortest, total);
    const double ratio =
        double(std::clamp(x, 0, std::max(1, width() - 1))) / std::max(1, width() - 1);
    viewFrom_ = std::clamp(at - ratio * span, 0.0, total - span);
    viewSpan_ = span >= total ? 0.0 : span;
    if (viewSpan_ == 0.0) viewFrom_ = 0.0;
    renderWave();
    update();
    e->accept();
}

void WaveformView::setPosition(double seconds) {
    const int oldX = xAt(position_);
    position_ = seconds;
    updateHead(oldX, xAt(position_));
}

void WaveformView::updateHead(int oldX, int newX) {
    if (oldX == newX) return;
    update(oldX - 1, 0, 3, height());
    update(newX - 1, 0, 3, height());
}

void WaveformView::setLoop(double a, double b) {
    loopA_ = a;
    loopB_ = b;
    update();
}

void WaveformView::resizeEvent(QResizeEvent*) {
    renderWave();
}

// Each pixel column shows the lowest and highest sample of the overview columns it covers; each
// kept channel has a lane of its own.
void WaveformView::renderWave() {
    const int w = width(), h = height();
    if (w <= 0 || h <= 0) return;
    wave_ = QPixmap(w, h);
    wave_.fill(palette().color(QPalette::Base));
    if (!overview_ || overview_->columns <= 0) return;
    const WaveformOverview& ov = *overview_;
    QPainter p(&wave_);
    p.setPen(ov.exact ? palette().color(QPalette::Highlight)
                      : palette().color(QPalette::Highlight).lighter(130));
    const int lanes = ov.channels;
    const double laneH = double(h) / lanes;
    const double total = ov.seconds() > 0 ? ov.seconds() : 1.0;
    const double from = viewFrom_ / total, part = viewSeconds() / total;
    for (int x = 0; x < w; ++x) {
        const int c0 = int(std::floor((from + part * x / w) * ov.columns));
        const int c1 = std::max(c0 + 1, int(std::floor((from + part * (x + 1) / w) * ov.columns)));
        for (int ch = 0; ch < lanes; ++ch) {
            float lo = 1.0f, hi = -1.0f;
            for (int c = c0; c < c1 && c < ov.columns; ++c) {
                lo = std::min(lo, ov.lo[size_t(c * lanes + ch)]);
                hi = std::max(hi, ov.hi[size_t(c * lanes + ch)]);
            }
            if (lo > hi) continue;  // not decoded yet
            const double mid = laneH * (ch + 0.5);
            const int yTop = int(std::floor(mid - hi * laneH / 2));
            const int yBottom = int(std::ceil(mid - lo * laneH / 2));
            p.drawLine(x, yTop, x, std::max(yTop, yBottom));
        }
    }
}

void WaveformView::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    p.drawPixmap(e->rect(), wave_, e->rect());
    QColor region = palette().color(QPalette::Highlight);
    region.setAlpha(60);
    if (dragging_) {
        p.fillRect(QRect(QPoint(std::min(pressX_, dragX_), 0),
                         QPoint(std::max(pressX_, dragX_), height() - 1)),
                   region);
    } else if (loopB_ > loopA_) {
        p.fillRect(QRect(QPoint(xAt(loopA_), 0), QPoint(xAt(loopB_), height() - 1)), region);
    }
    if (!overview_ && !failure_.isEmpty()) {
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(rect(), Qt::AlignCenter,
                   fontMetrics().elidedText(failure_, Qt::ElideMiddle, width() - 8));
    }
    if (overview_) {
        QColor marker = palette().color(QPalette::Link);
        p.setPen(QPen(marker, 1, Qt::DashLine));
        for (double m : markers_)
            if (m >= viewFrom_ && m <= viewFrom_ + viewSeconds())
                p.drawLine(xAt(m), 0, xAt(m), height() - 1);
        // The chords along the top, each name on a patch of the background.
        p.setFont(chordFont());
        const QFontMetrics metrics(p.font());
        QColor patch = palette().color(QPalette::Base);
        patch.setAlpha(200);
        for (const ChordLabel& l : chordLabels(e->rect().left(), e->rect().right())) {
            p.setPen(marker);
            p.drawLine(l.x, 0, l.x, kChordTick);
            if (l.name.isEmpty()) continue;
            const QRect box(l.x + 1, 0, metrics.horizontalAdvance(l.name) + 2 * kChordPad - 1,
                            metrics.height());
            p.fillRect(box, patch);
            p.setPen(palette().color(QPalette::Text));
            p.drawText(box, Qt::AlignCenter, l.name);
        }
        p.setPen(palette().color(QPalette::Text));
        const int x = xAt(position_);
        p.drawLine(x, 0, x, height() - 1);
    }
}

void WaveformView::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !overview_) return;
    pressX_ = dragX_ = int(e->position().x());
    dragging_ = false;
    // A press on one of the loop's ends takes that end.
    constexpr int kGrip = 4;
    draggedEnd_ = 0;
    if (loopB_ > loopA_) {
        if (std::abs(pressX_ - xAt(loopA_)) <= kGrip)
            draggedEnd_ = 1;
        else if (std::abs(pressX_ - xAt(loopB_)) <= kGrip)
            draggedEnd_ = 2;
        grabbedFrom_ = draggedEnd_ == 1 ? loopA_ : loopB_;
    }
}

void WaveformView::mouseMoveEvent(QMouseEvent* e) {
    if (pressX_ < 0) return;
    dragX_ = std::clamp(int(e->position().x()), 0, width() - 1);
    if (draggedEnd_ != 0) {
        if (draggedEnd_ == 1)
            loopA_ = secondsAt(dragX_);
        else
            loopB_ = secondsAt(dragX_);
        update();
        return;
    }
    if (std::abs(dragX_ - pressX_) >= QApplication::startDragDistance()) dragging_ = true;
    if (dragging_) update();
}

void WaveformView::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || pressX_ < 0) return;
    const int x = std::clamp(int(e->position().x()), 0, width() - 1);
    if (draggedEnd_ != 0 && std::abs(x - pressX_) >= QApplication::startDragDistance()) {
        draggedEnd_ = 0;
        pressX_ = -1;
        const double a = std::min(loopA_, loopB_), b = std::max(loopA_, loopB_);
        setLoop(a, b);
        emit loopSelected(a, b);
        return;
    }
    if (dragging_ || std::abs(x - pressX_) >= QApplication::startDragDistance()) {
        const double a = secondsAt(std::min(pressX_, x)), b = secondsAt(std::max(pressX_, x));
        dragging_ = false;
        pressX_ = -1;
        setLoop(a, b);
        emit loopSelected(a, b);
    } else {
        if (draggedEnd_ != 0) {
            // A tremor on one of the loop's ends is a click: the end stays where it was.
            if (draggedEnd_ == 1)
                loopA_ = grabbedFrom_;
            else
                loopB_ = grabbedFrom_;
            draggedEnd_ = 0;
            update();
        }
        pressX_ = -1;
        emit seekRequested(secondsAt(x));
    }
}

}  // namespace player
