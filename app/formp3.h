// The help window: a read-only text about the program and "Ok".
#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace app {

// Window thread only.
class formp3 : public QDialog {
    Q_OBJECT
  public:
    explicit formp3(QWidget* owner = nullptr);

    static const char* helpText();
    // Shows the one help window (created on first use, destroyed when closed), modeless and owned
    // by `owner` so it stays in front of it; while it is open, brings it forward.
    static formp3* showSingle(QWidget* owner);
    static formp3* current();

  private:
    QPlainTextEdit* Text2;  // the help text
    QPushButton* Command1;  // "Ok"
};

}  // namespace app
