#include "normaliser/Form11.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <utility>

#include "components/normaliser_component.h"
#include "platform/platform.h"

namespace normaliser {

namespace {
QLineEdit* greyBox(QWidget* parent, const char* name) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setStyleSheet("QLineEdit { background-color: rgb(192, 192, 192); }");
    e->setMinimumWidth(320);
    return e;
}
QPushButton* button(QWidget* parent, const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    return b;
}
}  // namespace

Form11::Form11(QWidget* parent) : QDialog(parent) {
    setObjectName("Form11");
    setWindowTitle(" Normalize Wave File");
    Text1 = greyBox(this, "Text1");
    Command1 = button(this, "Command1", "...");
    Text2 = greyBox(this, "Text2");
    Command2 = button(this, "Command2", "...");
    Text3 = greyBox(this, "Text3");
    Text3->setMinimumWidth(60);
    Label1 = new QLabel("% Normalization", this);
    Label1->setObjectName("Label1");
    cboTarget = new QComboBox(this);
    cboTarget->setObjectName("cboTarget");
    cboTarget->addItems({tr("Peak %"), tr("Loudness (LUFS)")});
    spnLufs = new QDoubleSpinBox(this);
    spnLufs->setObjectName("spnLufs");
    spnLufs->setRange(-70.0, 0.0);
    spnLufs->setDecimals(1);
    spnLufs->setSingleStep(0.5);
    spnLufs->setValue(-16.0);
    spnLufs->setSuffix(" LUFS");
    spnLufs->setEnabled(false);
    cboBits = new QComboBox(this);
    cboBits->setObjectName("cboBits");
    cboBits->addItems({tr("16-bit"), tr("24-bit")});
    cboBits->setToolTip(
        tr("Bits per sample of the result; a finer source written as 16 bits "
           "is dithered"));
    prog = new QProgressBar(this);
    prog->setObjectName("prog");
    prog->setRange(0, 100);
    prog->setValue(0);
    prog->setTextVisible(false);
    Label2 = new QLabel("00 %", this);
    Label2->setObjectName("Label2");
    Command3 = button(this, "Command3", tr("Start"));
    Command3->setDefault(true);  // Enter in a field starts the work, not a file chooser
    normaliser = new NormaliserComponent(this);

    // What a screen reader calls the controls: the two "..." buttons apart, the boxes by their
    // labels.
    Text1->setAccessibleName(tr("Source"));
    Command1->setAccessibleName(tr("Choose the source"));
    Text2->setAccessibleName(tr("Destination"));
    Command2->setAccessibleName(tr("Choose the destination"));
    Text3->setAccessibleName(tr("Target percent"));
    spnLufs->setAccessibleName(tr("Target loudness"));
    cboTarget->setAccessibleName(tr("Normalise to"));
    cboBits->setAccessibleName(tr("Bits per sample"));
    prog->setAccessibleName(tr("Normalising progress"));
    // Tab follows the row as it reads: the choice, then its value.
    setTabOrder(Command2, cboTarget);
    setTabOrder(cboTarget, Text3);
    setTabOrder(Text3, spnLufs);
    setTabOrder(spnLufs, cboBits);
    setTabOrder(cboBits, Command3);

    auto* g = new QGridLayout(this);
    g->addWidget(new QLabel(tr("Source:"), this), 0, 0);
    g->addWidget(Text1, 0, 1);
    g->addWidget(Command1, 0, 2);
    g->addWidget(new QLabel(tr("Destination:"), this), 1, 0);
    g->addWidget(Text2, 1, 1);
    g->addWidget(Command2, 1, 2);
    auto* percentRow = new QHBoxLayout;
    percentRow->addWidget(cboTarget);
    percentRow->addWidget(Text3);
    percentRow->addWidget(Label1);
    percentRow->addWidget(spnLufs);
    percentRow->addWidget(cboBits);
    percentRow->addStretch(1);
    g->addLayout(percentRow, 2, 1);
    g->addWidget(prog, 3, 0, 1, 2);
    g->addWidget(Label2, 3, 2);
    g->addWidget(Command3, 4, 2);

    connect(cboTarget, &QComboBox::currentIndexChanged, this, [this](int index) {
        Text3->setEnabled(index == 0);
        spnLufs->setEnabled(index == 1);
    });
    connect(Command1, &QPushButton::clicked, this, &Form11::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form11::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form11::Command3_Click);
    connect(normaliser, &NormaliserComponent::progress, this, &Form11::ReportNormaliseProgress);
}

namespace {
// The window whose job is under way, if any.
QPointer<Form11>& running() {
    static QPointer<Form11> form;
    return form;
}
}  // namespace

Form11* Form11::instance() {
    static QPointer<Form11> form;
    if (!form) form = new Form11(nullptr);
    return form;
}

bool Form11::stopJob(std::function<void()> then) {
    Form11* form = running();
    if (!form || !form->running_) return false;
    form->afterJob_ = std::move(then);
    form->normaliser->stop();
    return true;
}

void Form11::done(int result) {
    if (running_) normaliser->stop();
    QDialog::done(result);
}

void Form11::Command1_Click() {
    auto chosen = platform::Platform::instance().openFile(platform::FileDialog{
        "", (tr("Wave Audio File") + "|*.wav").toStdString(), 0, lastOpen_, ""});
    if (chosen) lastOpen_ = *chosen;
    if (!lastOpen_.empty()) Text1->setText(QString::fromStdString(lastOpen_));
}

void Form11::Command2_Click() {
    auto chosen = platform::Platform::instance().saveFile(platform::FileDialog{
        "", (tr("Wave Audio File") + "|*.wav").toStdString(), 0, lastSave_, ""});
    if (chosen) lastSave_ = *chosen;
    if (!lastSave_.empty()) Text2->setText(QString::fromStdString(lastSave_));
}

void Form11::Command3_Click() {
    const std::string source = Text1->text().toStdString();
    const std::string destination = Text2->text().toStdString();
    const std::string percent = Text3->text().toStdString();
    const bool loudness = cboTarget->currentIndex() == 1;
    if (source.empty() || destination.empty() || (!loudness && percent.empty())) return;
    auto& p = platform::Platform::instance();
    p.setBusy(true);
    Command3->setEnabled(false);
    running_ = true;
    running() = this;
    std::string error;
    NormaliseOptions options;
    options.bits = cboBits->currentIndex() == 1 ? 24 : 16;
    if (loudness) {
        options.target = NormaliseOptions::Target::Loudness;
        options.lufs = spnLufs->value();
        error = normaliser->run(source, destination, options).error;
    } else {
        error = normaliser->Normalize(source, destination, percent, options.bits);
    }
    running_ = false;
    running() = nullptr;
    Command3->setEnabled(true);
    // What was to follow a stop asked for (the program's end), also when the job ended otherwise.
    if (auto then = std::exchange(afterJob_, nullptr)) QTimer::singleShot(0, std::move(then));
    if (!error.empty()) {  // no progress is left showing for a job that did not finish
        prog->setValue(0);
        Label2->setText("00 %");
    }
    if (error == NormaliserComponent::kStopped) {
        // Stopped by closing the window or the program: nothing to say, nothing left.
        p.setBusy(false);
        return;
    }
    if (!error.empty()) {
        // A refused job never reaches 100: end the busy pointer here and say why.
        p.setBusy(false);
        platform::message(error, "Quorvin Audio Tools", platform::Icon::Exclamation);
    }
}

QString Form11::percentText(double percent) {
    const long v = std::lround(percent);  // half away from zero
    return QString("%1 %").arg(v, 2, 10, QChar('0'));
}

void Form11::ReportNormaliseProgress(double percent) {
    prog->setValue(int(std::clamp(percent, 0.0, 100.0)));
    Label2->setText(percentText(percent));
    if (percent != 100.0) return;
    prog->setValue(100);
    std::string text = "Finished Normalizing The Wave Audio File";
    if (!normaliser->lastNote().empty()) text += "\n" + normaliser->lastNote();
    platform::message(text, "Finished", platform::Icon::Information);
    prog->setValue(0);
    Label2->setText("00 %");
    platform::Platform::instance().setBusy(false);
    hide();
}

}  // namespace normaliser
