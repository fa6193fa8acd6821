// The about window: the program's name and description, and "OK".
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QFrame;

namespace app {

// Window thread only.
class frmAbout : public QDialog {
    Q_OBJECT
  public:
    explicit frmAbout(QWidget* parent = nullptr);

    // Shows the one about window (created on first use, destroyed when closed), modeless and
    // without owner; while it is open, brings it forward.
    static frmAbout* showSingle();
    static frmAbout* current();

  private:
    QLabel* lblVersion;
    QLabel* lblDescription;
    QFrame* Line1_0;  // the etched line: a grey line over a white one
    QFrame* Line1_1;
    QPushButton* cmdOK;
};

}  // namespace app
