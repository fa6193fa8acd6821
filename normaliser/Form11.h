// The normaliser window " Normalize Wave File": a source WAV, a destination WAV and a target (a
// peak percentage, or a loudness in LUFS), handed to the normalising component; its progress is
// shown until it finishes.
#pragma once

#include <functional>

#include <QDialog>
#include <string>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class NormaliserComponent;

namespace normaliser {

class Form11 : public QDialog {
    Q_OBJECT
  public:
    explicit Form11(QWidget* parent = nullptr);

    NormaliserComponent& normaliserComponent() { return *normaliser; }

    void ReportNormaliseProgress(double percent);

    // Label2's text for a progress report: at least two digits, rounded half away from zero.
    static QString percentText(double percent);

    // The window, created on first use and hidden (not destroyed) at the end of a job.
    static Form11* instance();
    // Stops the job under way, if any (its temporary file goes), and calls `then` on the window
    // thread once it has ended. False when no job runs.
    static bool stopJob(std::function<void()> then);

  protected:
    // Closing the window (its close button, Esc) stops a job under way: none goes on unseen.
    void done(int result) override;

  private:
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();

    QLineEdit* Text1;  // source
    QPushButton* Command1;
    QLineEdit* Text2;  // destination
    QPushButton* Command2;
    QLineEdit* Text3;  // percentage
    QLabel* Label1;
    QComboBox* cboTarget;     // "Peak %" or "Loudness (LUFS)"
    QDoubleSpinBox* spnLufs;  // the loudness target, -70 .. 0 LUFS
    QComboBox* cboBits;       // the result's bits per sample: "16-bit" (the default) or "24-bit"
    QProgressBar* prog;
    QLabel* Label2;
    QPushButton* Command3;            // "Start"
    bool running_ = false;            // Start's job is under way
    std::function<void()> afterJob_;  // stopJob's `then`
    NormaliserComponent* normaliser;
    // The dialogs keep their last choice; a cancelled dialog gives it again.
    std::string lastOpen_;
    std::string lastSave_;
};

}  // namespace normaliser
