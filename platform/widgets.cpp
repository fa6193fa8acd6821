#include "platform/widgets.h"

#include <QDialog>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QStyleOption>
#include <QStyleOptionSlider>
#include <QStylePainter>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>

namespace platform {

Slider::Slider(Qt::Orientation orientation, QWidget* parent) : QSlider(orientation, parent) {
    if (orientation == Qt::Vertical) {
        // Minimum at the top; the arrow keys and the wheel move the thumb the way they point.
        setInvertedAppearance(true);
        setInvertedControls(true);
    }
    setTickPosition(QSlider::TicksBothSides);
    // A user action first moves the slider position, reports actionTriggered, then sets the
    // value. Report the move once the value has been taken.
    connect(this, &QAbstractSlider::actionTriggered, this, [this](int action) {
        if (action == QAbstractSlider::SliderNoAction) return;
        if (sliderPosition() == value()) {
            emit scrolled(value());
        } else {
            pending_ = true;
        }
    });
    connect(this, &QAbstractSlider::valueChanged, this, [this](int v) {
        if (!pending_) return;
        pending_ = false;
        emit scrolled(v);
    });
}

void Slider::setup(int minimum, int maximum, int tickInterval, int value) {
    setRange(minimum, maximum);
    setTickInterval(tickInterval);
    setPageStep(tickInterval);
    setValue(value);
    if (orientation() == Qt::Vertical) setMinimumHeight(fontMetrics().height() * 8);
}

bool Slider::event(QEvent* e) {
    const bool r = QSlider::event(e);
    if (e->type() == QEvent::ToolTipChange && isSliderDown()) showThumbText();
    return r;
}

void Slider::showThumbText() {
    if (toolTip().isEmpty()) return;
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    const QRect handle =
        style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
    const QPoint at = orientation() == Qt::Vertical ? handle.topRight() + QPoint(4, 0)
                                                    : handle.bottomLeft() + QPoint(0, 4);
    QToolTip::showText(mapToGlobal(at), toolTip(), this);
}

ClickLabel::ClickLabel(QWidget* parent) : ClickLabel(QString(), parent) {}

ClickLabel::ClickLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setFocusPolicy(Qt::StrongFocus);
}

void ClickLabel::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Space || e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        emit clicked();
        return;
    }
    QLabel::keyPressEvent(e);
}

void ClickLabel::paintEvent(QPaintEvent* e) {
    QLabel::paintEvent(e);
    if (!hasFocus()) return;
    QStylePainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.backgroundColor = palette().color(QPalette::Window);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* e) {
    QLabel::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) emit clicked();
}

namespace {

// Draws at several sizes so that high-DPI screens get sharp pictures.
template <typename Paint>
QIcon drawnIcon(Paint paint) {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 32.0, size / 32.0);
        paint(p);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

}  // namespace

QIcon vocalRemoverIcon() {
    return drawnIcon([](QPainter& p) {
        // A microphone crossed out.
        p.setPen(QPen(QColor(40, 40, 40), 2.2));
        p.setBrush(QColor(90, 140, 200));
        p.drawRoundedRect(QRectF(12, 4, 8, 14), 4, 4);
        p.setBrush(Qt::NoBrush);
        QPainterPath cup;
        cup.moveTo(8, 14);
        cup.cubicTo(8, 24, 24, 24, 24, 14);
        p.drawPath(cup);
        p.drawLine(QPointF(16, 22), QPointF(16, 28));
        p.drawLine(QPointF(11, 28), QPointF(21, 28));
        p.setPen(QPen(QColor(200, 40, 40), 3));
        p.drawLine(QPointF(5, 5), QPointF(27, 27));
    });
}

QIcon equalizerIcon() {
    return drawnIcon([](QPainter& p) {
        // Seven bars of different heights.
        const int heights[] = {18, 12, 22, 8, 16, 24, 14};
        p.setPen(Qt::NoPen);
        for (int i = 0; i < 7; ++i) {
            p.setBrush(QColor(60 + i * 20, 160, 220 - i * 20));
            p.drawRect(QRectF(2 + i * 4.1, 28 - heights[i], 3, heights[i]));
        }
    });
}

QIcon mixerIcon() {
    return drawnIcon([](QPainter& p) {
        // Three faders.
        p.setPen(QPen(QColor(60, 60, 60), 2));
        const int knobs[] = {10, 20, 14};
        for (int i = 0; i < 3; ++i) {
            const double x = 7 + i * 9;
            p.drawLine(QPointF(x, 4), QPointF(x, 28));
            p.setBrush(QColor(230, 150, 40));
            p.drawRect(QRectF(x - 3.5, knobs[i] - 2.5, 7, 5));
        }
    });
}

// --- fitting the screen ------------------------------------------------------------------------

namespace {
// A title bar and frame of a usual window manager, in device-independent pixels.
constexpr int kFrameWidth = 16;
constexpr int kFrameHeight = 48;
}  // namespace

QSize roomOnScreen(const QWidget* window) {
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    const QRect free = screen->availableGeometry();
    return {free.width() - kFrameWidth, free.height() - kFrameHeight};
}

bool scrollWhenTooBig(QMainWindow* window) {
    const QSize room = roomOnScreen(window);
    const QSize needed = window->minimumSizeHint().expandedTo(window->size());
    if (needed.width() <= room.width() && needed.height() <= room.height()) return false;
    auto* scroll = new QScrollArea(window);
    scroll->setObjectName("scrollContent");
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(window->takeCentralWidget());
    window->setCentralWidget(scroll);
    // As much of the content as the screen holds: a scroll bar only where it does not fit.
    const int bar = window->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scroll);
    QSize wanted = needed;
    if (needed.height() > room.height()) wanted.rwidth() += bar;
    if (needed.width() > room.width()) wanted.rheight() += bar;
    window->resize(wanted.boundedTo(room));
    return true;
}

bool scrollWhenTooBig(QDialog* window, QSize design) {
    const QSize room = roomOnScreen(window);
    if (design.height() <= room.height() && design.width() <= room.width()) return false;
    auto* page = new QWidget;
    page->setObjectName("scrollPage");
    for (QWidget* child : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!child->isWindow()) child->setParent(page);
    page->setFixedSize(design);
    auto* scroll = new QScrollArea(window);
    scroll->setObjectName("scrollContent");
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(page);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);
    window->setMinimumSize(0, 0);
    window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    window->setFixedHeight(std::min(design.height(), room.height()));
    setScrolledWidth(window, std::min(design.width(), room.width()));
    return true;
}

void setScrolledWidth(QDialog* window, int width) {
    auto* scroll = window->findChild<QScrollArea*>("scrollContent", Qt::FindDirectChildrenOnly);
    if (!scroll) {
        window->setFixedWidth(width);
        return;
    }
    scroll->widget()->setFixedWidth(width);
    const int bar = window->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scroll);
    window->setFixedWidth(std::min(width + bar, roomOnScreen(window).width()));
}

}  // namespace platform
