// The "Wav to Mp3 Encode" window: encodes a WAV (or headerless ".raw") file into an MP3 beside it,
// at one of four bit rates, stereo or mono, showing the encoder's progress and the time left.
// Widgets carry the control names as object names (Text1, Command1, Combo1, ...).
#pragma once

#include <QDialog>
#include <QString>

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace components {
class Mp3Encoder;
}

namespace mp3 {

class Form1 : public QDialog {
    Q_OBJECT
  public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    components::Mp3Encoder& encoder() { return *MEnc1; }

    // The time-left text for `seconds`: "123.46 Seconds Left", "5.50 Seconds Left".
    static QString timeLeftText(double seconds);
    // The progress text for `percent`: "07 %", "42 %", "100 %".
    static QString progressText(int percent);

  protected:
    void done(int result) override;

  private:
    void Command1_Click();  // Open
    void Combo1_Click(int index);
    void Combo2_Click(int index);
    void Command3_Click();  // Encode
    void Command4_Click();  // Stop
    void MEnc1_EncodeProgress(int percent);
    void MEnc1_EncodeTimeLeft(double seconds);

    QLineEdit* Text1;
    QPushButton* Command1;
    QComboBox* Combo1;
    QComboBox* Combo2;
    QPushButton* Command3;
    QPushButton* Command4;
    QProgressBar* prog;
    QLabel* Label1;
    QLabel* Label2;
    components::Mp3Encoder* MEnc1;
    QString dialogFileName_;  // the open dialog keeps its last name, as a cancelled dialog shows
};

}  // namespace mp3
