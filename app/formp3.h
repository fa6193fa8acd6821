// The help window: a read-only text about the program and "Ok".
#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

class formp3 : public QDialog {
    Q_OBJECT
  public:
    explicit formp3(QWidget* owner = nullptr);

    QPlainTextEdit* Text2;
    QPushButton* Command1;

    static const char* helpText();
    // Shows the one help window (created on first use, destroyed when closed), modeless and owned
    // by `owner` so it stays in front of it; while it is open, brings it forward.
    static formp3* showSingle(QWidget* owner);
    static formp3* current();
};
