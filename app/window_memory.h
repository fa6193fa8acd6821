// Remembers every window's position and size between runs, and a few choices of the CD window
// (its output type and WMA bit rate), in platform::settings(). A window is restored when it is
// first shown and remembered when it is hidden or closed, and by saveAll() ("Save
// Configuration"). Install it on the application object. Window thread only.
#pragma once

#include <QObject>

class QWidget;

namespace app {

class WindowMemory : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

    // Writes every open window's position and choices at once.
    static void saveAll();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    static void restore(QWidget* window);
    static void save(QWidget* window);
};

}  // namespace app
