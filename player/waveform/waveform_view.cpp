// The waveform widget and its loader.
#include "player/waveform/waveform_view.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStandardPaths>
#include <QThreadPool>
#include <algorithm>
#include <cmath>

namespace player {

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
            job->post(job, [m = QString::fromStdString(r.message)](WaveformLoader* l) {
                emit l->failed(m);
            });
    });
}

// --- WaveformView --------------------------------------------------------------------------------

WaveformView::WaveformView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
    connect(&loader_, &WaveformLoader::overviewReady, this, &WaveformView::setOverview);
    connect(&loader_, &WaveformLoader::failed, this, &WaveformView::loadFailed);
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
    position_ = 0;
    loopA_ = loopB_ = 0;
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

double WaveformView::secondsAt(int x) const {
    const int span = std::max(1, width() - 1);
    return double(std::clamp(x, 0, span)) / span * length();
}

int WaveformView::xAt(double seconds) const {
    const int span = std::max(1, width() - 1);
    if (!(length() > 0)) return 0;
    return int(std::lround(std::clamp(seconds / length(), 0.0, 1.0) * span));
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
    for (int x = 0; x < w; ++x) {
        const int c0 = int(int64_t(x) * ov.columns / w);
        const int c1 = std::max(c0 + 1, int(int64_t(x + 1) * ov.columns / w));
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
    if (overview_) {
        p.setPen(palette().color(QPalette::Text));
        const int x = xAt(position_);
        p.drawLine(x, 0, x, height() - 1);
    }
}

void WaveformView::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !overview_) return;
    pressX_ = dragX_ = int(e->position().x());
    dragging_ = false;
}

void WaveformView::mouseMoveEvent(QMouseEvent* e) {
    if (pressX_ < 0) return;
    dragX_ = std::clamp(int(e->position().x()), 0, width() - 1);
    if (std::abs(dragX_ - pressX_) >= QApplication::startDragDistance()) dragging_ = true;
    if (dragging_) update();
}

void WaveformView::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || pressX_ < 0) return;
    const int x = std::clamp(int(e->position().x()), 0, width() - 1);
    if (dragging_ || std::abs(x - pressX_) >= QApplication::startDragDistance()) {
        const double a = secondsAt(std::min(pressX_, x)), b = secondsAt(std::max(pressX_, x));
        dragging_ = false;
        pressX_ = -1;
        setLoop(a, b);
        emit loopSelected(a, b);
    } else {
        pressX_ = -1;
        emit seekRequested(secondsAt(x));
    }
}

}  // namespace player
