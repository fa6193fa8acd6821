// Small widgets the windows are built from: a slider that tells a user's move apart from a
// change made by code, a label that can be clicked, and the pictures of the graphical buttons.
// Window thread only.
#pragma once

#include <QIcon>
#include <QLabel>
#include <QSize>
#include <QSlider>

class QDialog;
class QMainWindow;

namespace platform {

// A slider whose tool tip is also the text shown beside the thumb while it is dragged.
// valueChanged() fires for every change, from the user or from code (the program's "change"
// event); scrolled() fires only for the user's own moves (dragging, clicking the track, keys,
// wheel), after the new value has been taken.
class Slider : public QSlider {
    Q_OBJECT
  public:
    explicit Slider(Qt::Orientation orientation, QWidget* parent = nullptr);

    // Range, tick interval and value in one call. Vertical sliders have their minimum at the top.
    void setup(int minimum, int maximum, int tickInterval, int value);

  signals:
    void scrolled(int value);

  protected:
    bool event(QEvent* e) override;

  private:
    void showThumbText();
    bool pending_ = false;
};

// A label that reports a click of the left mouse button, or of Space or Enter when it has the
// focus (Tab reaches it, and it draws a focus frame then).
class ClickLabel : public QLabel {
    Q_OBJECT
  public:
    explicit ClickLabel(QWidget* parent = nullptr);
    ClickLabel(const QString& text, QWidget* parent = nullptr);

  signals:
    void clicked();

  protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
};

// Room a window may take on its screen: the screen's free area less what a window manager's
// frame and title bar take.
QSize roomOnScreen(const QWidget* window);

// A window laid out for a bigger screen than its own: its central widget goes into a scroll
// area and the window takes at most the room there is. Nothing changes where the design fits.
// True when the content scrolls.
bool scrollWhenTooBig(QMainWindow* window);

// The same for a window of fixed size whose controls are placed by hand (`design`: the size they
// need): they move onto a page inside a scroll area, and the window's height is what the screen
// has room for. The page's width follows the window's (setScrolledWidth).
bool scrollWhenTooBig(QDialog* window, QSize design);
// A fixed width for a window made by scrollWhenTooBig(QDialog*): the page gets `width`, the
// window that plus the scroll bar.
void setScrolledWidth(QDialog* window, int width);

// Pictures of the graphical buttons, drawn so that they scale on any screen.
QIcon vocalRemoverIcon();
QIcon equalizerIcon();
QIcon mixerIcon();

}  // namespace platform
