#include "mp3/Form1.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <cmath>

#include "components/mp3_encoder.h"
#include "platform/platform.h"

namespace mp3 {

namespace {

constexpr const char* kTitle = "Quorvin Audio Tools";

struct ListItem {
    const char* text;
    int value;
};
constexpr ListItem kBitRates[] = {
    {"256000", 256000}, {"128000", 128000}, {"112000", 112000}, {"96000", 96000}};
constexpr ListItem kModes[] = {{"STEREO", 0}, {"MONO", 1}};

// `value` with `decimals` decimals and at least `intDigits` integer digits, with the system's
// decimal separator and no grouping ("00.00", "0.00").
QString formatNumber(double value, int intDigits, int decimals) {
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    QString text = locale.toString(std::fabs(value), 'f', decimals);
    const qsizetype point = decimals > 0 ? text.indexOf(locale.decimalPoint()) : text.size();
    if (point >= 0 && point < intDigits) text.prepend(QString(intDigits - point, QChar('0')));
    return value < 0 ? locale.negativeSign() + text : text;
}

// The file a path names, to compare two paths.
QString identity(const QString& path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

template <size_t N>
QComboBox* makeList(QWidget* parent, const char* name, const char* placeholder,
                    const ListItem (&items)[N]) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setPlaceholderText(placeholder);
    for (const ListItem& item : items) box->addItem(item.text);
    box->setCurrentIndex(-1);  // no item is selected
    return box;
}

}  // namespace

Form1::Form1(QWidget* parent) : QDialog(parent) {
    setObjectName("Form1");
    setWindowTitle(tr("Wav to Mp3 Encode"));

    Text1 = new QLineEdit(this);
    Text1->setObjectName("Text1");
    Text1->setMinimumWidth(320);
    Command1 = new QPushButton(tr("Open"), this);
    Command1->setObjectName("Command1");
    Combo1 = makeList(this, "Combo1", "BitRate", kBitRates);
    Combo2 = makeList(this, "Combo2", "Channels", kModes);
    Command3 = new QPushButton(tr("Encode"), this);
    Command3->setDefault(true);  // Enter in the path starts the work, not a file chooser
    Command3->setObjectName("Command3");
    Command4 = new QPushButton(tr("Stop"), this);
    Command4->setObjectName("Command4");
    prog = new QProgressBar(this);
    prog->setObjectName("prog");
    prog->setRange(0, 100);
    prog->setValue(0);
    prog->setTextVisible(false);
    Label1 = new QLabel("00 %", this);
    Label1->setObjectName("Label1");
    Label2 = new QLabel(tr("Seconds Left"), this);
    Label2->setObjectName("Label2");
    MEnc1 = new components::Mp3Encoder(this);
    MEnc1->setObjectName("MEnc1");

    auto* grid = new QGridLayout(this);
    grid->addWidget(Text1, 0, 0, 1, 3);
    grid->addWidget(Command1, 0, 3);
    grid->addWidget(Combo1, 1, 0);
    grid->addWidget(Combo2, 1, 1);
    grid->addWidget(Command3, 1, 2);
    grid->addWidget(Command4, 1, 3);
    grid->addWidget(prog, 2, 0, 1, 4);
    grid->addWidget(Label1, 3, 0);
    grid->addWidget(Label2, 3, 1, 1, 3);

    // What a screen reader calls the controls without a caption of their own.
    Text1->setAccessibleName(tr("WAV file to convert"));
    Combo1->setAccessibleName(tr("Mp3 bit rate"));
    Combo2->setAccessibleName(tr("Channels"));
    prog->setAccessibleName(tr("Conversion progress"));

    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Combo1, &QComboBox::activated, this, &Form1::Combo1_Click);
    connect(Combo2, &QComboBox::activated, this, &Form1::Combo2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(MEnc1, &components::Mp3Encoder::EncodeProgress, this, &Form1::MEnc1_EncodeProgress);
    connect(MEnc1, &components::Mp3Encoder::EncodeTimeLeft, this, &Form1::MEnc1_EncodeTimeLeft);
}

Form1::~Form1() = default;

QString Form1::progressText(int percent) {
    return QString("%1 %").arg(percent, 2, 10, QChar('0'));
}

QString Form1::timeLeftText(double seconds) {
    // To the nearest tenth as shown with one decimal; the two formats meet at 9.9, which takes
    // the shorter one.
    const double tenths = std::nearbyint(seconds * 10) / 10;
    return formatNumber(seconds, tenths > 9.9 ? 2 : 1, 2) + " Seconds Left";
}

void Form1::Command1_Click() {
    platform::FileDialog dialog;
    dialog.title = tr("Open").toStdString();
    dialog.filter =
        (tr("Wave Audio File") + "|*.wav|" + tr("Raw Audio File") + "|*.raw").toStdString();
    dialog.initialName = dialogFileName_.toStdString();
    if (auto chosen = platform::Platform::instance().openFile(dialog))
        dialogFileName_ = QString::fromStdString(*chosen);
    Text1->setText(dialogFileName_);
    MEnc1->setInputFile(Text1->text());
}

void Form1::Combo1_Click(int index) {
    if (index >= 0 && index < int(std::size(kBitRates))) MEnc1->setBitRate(kBitRates[index].value);
}

void Form1::Combo2_Click(int index) {
    if (index >= 0 && index < int(std::size(kModes)))
        MEnc1->setChannelMode(int16_t(kModes[index].value));
}

void Form1::Command3_Click() {
    const QString path = Text1->text();
    // Fewer than three characters leave no name to build the MP3's from.
    if (path.size() < 3 || MEnc1->isEncoding()) return;
    // The name's extension becomes mp3 (C:\a\b.wav gives C:\a\b.mp3); a name without one gets it.
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf('.');
    const QString output =
        dot > 0 ? path.left(path.size() - (name.size() - dot - 1)) + "mp3" : path + ".mp3";
    // The file named in Text1 is the one encoded, whether chosen with Open or typed.
    MEnc1->setInputFile(path);
    if (identity(output) == identity(path)) {
        platform::message("The MP3 file would replace the file it is made from:\n" +
                              output.toStdString() + "\nChoose a file with another name.",
                          kTitle, platform::Icon::Exclamation);
        return;
    }
    if (QFileInfo::exists(output)) {
        const platform::Answer answer =
            platform::message(output.toStdString() + " already exists.\nDo you want to replace it?",
                              kTitle, platform::Icon::Question, platform::Buttons::YesNo);
        if (answer != platform::Answer::Yes) return;
    }
    MEnc1->setOutputFile(output);
    if (MEnc1->BitRate().toString().isEmpty()) MEnc1->setBitRate(128000);
    if (MEnc1->ChannelMode().toString().isEmpty()) MEnc1->setChannelMode(0);

    QPointer<Form1> self(this);
    const bool ok = MEnc1->Encode();
    if (!self) return;
    if (!ok || MEnc1->wasStopped()) {  // no progress is left showing for an MP3 not made
        prog->setValue(0);
        Label1->setText("00 %");
        Label2->setText(tr("Seconds Left"));
    }
    if (MEnc1->wasStopped()) return;
    if (ok) {
        // A source cut short or damaged (the MP3 holds what it held), or a rate MP3 could not
        // hold as asked: the user is told.
        if (!MEnc1->noteText().isEmpty())
            platform::message("The MP3 file was made.\n" + MEnc1->noteText().toStdString() + ".",
                              kTitle, platform::Icon::Information);
        return;
    }
    platform::message("The MP3 file was not made.\n" + MEnc1->errorText().toStdString(), kTitle,
                      platform::Icon::Exclamation);
}

void Form1::Command4_Click() {
    MEnc1->StopEncoding();
}

void Form1::done(int result) {
    // A closed window shows no progress: its encoding stops, and nothing is left half-written.
    MEnc1->StopEncoding();
    QDialog::done(result);
}

void Form1::MEnc1_EncodeProgress(int percent) {
    prog->setValue(std::clamp(percent, 0, 100));
    Label1->setText(progressText(percent));
    if (percent == 100) {
        prog->setValue(100);
        Label1->setText("00 %");
        Label2->setText("Finished Encoding");
    }
}

void Form1::MEnc1_EncodeTimeLeft(double seconds) {
    Label2->setText(timeLeftText(seconds));
    if (prog->value() == 100) {
        Label2->setText("Finished Encoding");
        prog->setValue(0);
    }
}

}  // namespace mp3
