#include "app/main_controls.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <iterator>

#include "components/mp3_encoder.h"
#include "platform/widgets.h"
#include "player/transport_panel.h"
#include "player/waveform/waveform_view.h"

namespace app {

const QKeySequence kPlayStopKey(Qt::Key_Space);
const QKeySequence kLoopAKey(Qt::Key_BracketLeft);
const QKeySequence kLoopBKey(Qt::Key_BracketRight);
const QKeySequence kLoopClearKey(Qt::Key_Backslash);
const QKeySequence kPauseKey(Qt::Key_P);
const QKeySequence kMarkerKey(Qt::Key_M);
const QKeySequence kTapKey(Qt::Key_T);
const QKeySequence kJumpBackKey(Qt::Key_Left);
const QKeySequence kJumpForwardKey(Qt::Key_Right);

namespace {

// The window's texts, through the translation (the context is the window's name).
struct Text {
    Q_DECLARE_TR_FUNCTIONS(frmWriteWave)
};

template <typename W>
W* named(W* w, const char* name) {
    w->setObjectName(name);
    return w;
}

// A tip with the key that does the same: "Player (Space)".
QString withKey(const QString& tip, const QKeySequence& key) {
    return tip + " (" + key.toString(QKeySequence::NativeText) + ")";
}

void withShortcut(QPushButton* b, const QKeySequence& key, const QString& tip) {
    b->setShortcut(key);
    b->setToolTip(withKey(tip, key));
}

// Hidden widgets keep their place so the layout does not jump when they appear.
void keepPlaceWhenHidden(QWidget* w) {
    QSizePolicy sp = w->sizePolicy();
    sp.setRetainSizeWhenHidden(true);
    w->setSizePolicy(sp);
}

void buildControls(MainControls& c, QMainWindow* window) {
    c.btnLoadFile = named(new QPushButton(Text::tr("Load Audio File"), window), "btnLoadFile");
    c.btnLoadFile->setToolTip(withKey(Text::tr("Load Audio File"), player::kLoadKey));
    c.CmdPlay = named(new QPushButton(Text::tr("Play"), window), "CmdPlay");
    c.CmdPlay->setToolTip(withKey(Text::tr("Player"), kPlayStopKey));
    c.CmdPlay->setEnabled(false);
    c.CmdPlay->setIcon(window->style()->standardIcon(QStyle::SP_MediaPlay));
    c.CmdStop = named(new QPushButton(Text::tr("Stop"), window), "CmdStop");
    c.CmdStop->setToolTip(withKey(Text::tr("Stop Player"), kPlayStopKey));
    c.CmdStop->setEnabled(false);
    c.CmdStop->setIcon(window->style()->standardIcon(QStyle::SP_MediaStop));
    c.btnConvert = named(new QPushButton(Text::tr("Process"), window), "btnConvert");
    withShortcut(c.btnConvert, QKeySequence(Qt::CTRL | Qt::Key_P), Text::tr("Elaborazione"));
    c.btnConvert->setEnabled(false);
    c.chkProcessLoop = named(new QCheckBox(Text::tr("Loop only"), window), "chkProcessLoop");
    c.chkProcessLoop->setToolTip(
        Text::tr("Process renders only the loop chosen in the list of loops, not the whole file"));
    c.chkProcessLoop->setEnabled(false);
    c.Comout = named(new QPushButton(window), "Comout");
    c.Comout->setToolTip(Text::tr("Output Control"));
    c.Comout->setIcon(platform::mixerIcon());
    c.Comout->setIconSize(QSize(28, 28));

    c.sldTempo[0] = named(new platform::Slider(Qt::Vertical, window), "sldTempo_0");
    c.sldTempo[0]->setup(-60, 60, 5, 0);
    c.sldTempo[0]->setToolTip(Text::tr("Tempo"));
    c.sldTempo[2] = named(new platform::Slider(Qt::Vertical, window), "sldTempo_2");
    c.sldTempo[2]->setup(-8, 8, 2, 0);
    c.sldTempo[2]->setToolTip(Text::tr("Pitch"));
    c.lblTempo = named(new platform::ClickLabel(window), "lblTempo");
    c.lblTempo->setToolTip(Text::tr("click to set Tempo Default"));
    c.lblPitch = named(new platform::ClickLabel(window), "lblPitch");
    c.lblPitch->setToolTip(Text::tr("click to set Pitch Default"));
    for (QLabel* l : {static_cast<QLabel*>(c.lblTempo), static_cast<QLabel*>(c.lblPitch)}) {
        l->setAlignment(Qt::AlignCenter);
        l->setCursor(Qt::PointingHandCursor);
        l->setMinimumWidth(l->fontMetrics().horizontalAdvance("-60%") + 8);
    }
    c.LblTm = named(new QLabel(Text::tr("+Tempo+"), window), "LblTm");
    c.LblPh = named(new QLabel(Text::tr("+Pitch+"), window), "LblPh");

    c.sldVolume = named(new platform::Slider(Qt::Vertical, window), "sldVolume");
    c.sldVolume->setup(0, 100, 10, 50);
    c.lblVolPitch = named(new QLabel(Text::tr("Volume"), window), "lblVolPitch");

    c.sldPosition = named(new platform::Slider(Qt::Horizontal, window), "sldPosition");
    c.sldPosition->setup(0, 100, 5, 0);
    // The change handler seeks and detects the BPM again: run it when the thumb is let go, not
    // for every pixel of a drag.
    c.sldPosition->setTracking(false);
    c.Frame3 = named(new QGroupBox(Text::tr("Play Position"), window), "Frame3");
    c.lblPos = named(new QLabel(Text::tr(" 00:00 / 00:00"), window), "lblPos");
    c.lblTime = named(new QLabel(Text::tr("Time:"), window), "lblTime");
    c.lblStrFile = named(new QLabel(Text::tr("Streaming File:"), window), "lblStrFile");
    c.wavOverview = named(new player::WaveformView(window), "wavOverview");
    c.wavOverview->setToolTip(
        Text::tr("Click to play from there, drag to loop a passage (%1 / %2: 5 s back / on)")
            .arg(kJumpBackKey.toString(QKeySequence::NativeText),
                 kJumpForwardKey.toString(QKeySequence::NativeText)));
    c.wavOverview->setMinimumHeight(20);
    c.cmdLoopA = named(new QPushButton(Text::tr("A"), window), "cmdLoopA");
    withShortcut(c.cmdLoopA, kLoopAKey, Text::tr("Loop from here"));
    c.cmdLoopB = named(new QPushButton(Text::tr("B"), window), "cmdLoopB");
    withShortcut(c.cmdLoopB, kLoopBKey, Text::tr("Loop up to here"));
    c.cmdLoopClear = named(new QPushButton(Text::tr("A–B ✕"), window), "cmdLoopClear");
    withShortcut(c.cmdLoopClear, kLoopClearKey, Text::tr("No loop"));
    for (QPushButton* b : {c.cmdLoopA, c.cmdLoopB}) b->setCheckable(true);
    for (QPushButton* b : {c.cmdLoopA, c.cmdLoopB, c.cmdLoopClear}) {
        b->setEnabled(false);
        b->setFocusPolicy(Qt::NoFocus);  // the keys work from anywhere in the window
        b->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    }

    c.lblBPM = named(new QLabel(Text::tr("BPM: 0.00"), window), "lblBPM");
    c.lblBeat = named(new QLabel(Text::tr("Beat pos: 0.00"), window), "lblBeat");
    c.lblKey = named(new QLabel(Text::tr("Key:"), window), "lblKey");
    c.lblChord = named(new QLabel(Text::tr("Chord:"), window), "lblChord");
    c.cmdBpmHalf = named(new QToolButton(window), "cmdBpmHalf");
    c.cmdBpmHalf->setText(Text::tr("½"));
    c.cmdBpmHalf->setToolTip(Text::tr("Show half the BPM: the beat is counted twice as fast"));
    c.cmdBpmDouble = named(new QToolButton(window), "cmdBpmDouble");
    c.cmdBpmDouble->setText(Text::tr("×2"));
    c.cmdBpmDouble->setToolTip(Text::tr("Show twice the BPM: the beat is counted at its half"));
    c.cmdBpmTap = named(new QToolButton(window), "cmdBpmTap");
    c.cmdBpmTap->setText(Text::tr("Tap"));
    c.cmdBpmTap->setToolTip(
        withKey(Text::tr("Tap along with the beat: from the fourth tap the BPM shown is the "
                         "detected one at the octave nearest the taps"),
                kTapKey));
    QFont big = c.lblBPM->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    c.lblBPM->setFont(big);
    c.chkBPMCallback =
        named(new QCheckBox(Text::tr("BPM by period of seconds:"), window), "chkBPMCallback");
    c.txtPeriod = named(new QLineEdit("10", window), "txtPeriod");
    c.txtPeriod->setMaximumWidth(c.txtPeriod->fontMetrics().horizontalAdvance("00000000") + 12);
    c.chkBeat =
        named(new QCheckBox(Text::tr("Enable / Disable showing Beat pos"), window), "chkBeat");
    c.pbProcess = named(new QProgressBar(window), "pbProcess");
    c.pbProcess->setRange(0, 100);
    c.pbProcess->setValue(0);

    c.Chkrem = named(new QPushButton(window), "Chkrem");
    c.Chkrem->setCheckable(true);
    c.Chkrem->setEnabled(false);
    c.Chkrem->setIcon(platform::vocalRemoverIcon());
    c.Chkrem->setIconSize(QSize(32, 32));
    c.Chkrem->setAccessibleName(Text::tr("Vocal remover on / off"));
    c.Frame2 = named(new QGroupBox(Text::tr("Vocal Remover"), window), "Frame2");
    c.LblRem = named(new QLabel(Text::tr("Actived"), window), "LblRem");
    c.LblRem->setEnabled(false);
    c.vcompr[0] = named(new platform::Slider(Qt::Vertical, window), "vcompr_0");
    c.vcompr[0]->setup(0, 10, 1, 10);
    c.vcompr[0]->setToolTip(Text::tr("Gain Audio"));
    c.chkKeepBass = named(new QCheckBox(Text::tr("Keep bass"), window), "chkKeepBass");
    c.chkKeepBass->setEnabled(false);
    c.chkKeepBass->setToolTip(Text::tr(
        "Removes the voice only above 150 Hz: the kick drum and the bass stay in the mix"));
    c.chkKeepStereo = named(new QCheckBox(Text::tr("Keep stereo"), window), "chkKeepStereo");
    c.chkKeepStereo->setEnabled(false);
    c.chkKeepStereo->setToolTip(
        Text::tr("Removes only what sounds from the centre, in the band set below it: "
                 "instruments panned to a side stay where they are, at their level"));

    c.cboChannels = named(new QComboBox(window), "cboChannels");
    c.cboChannels->addItems(
        {Text::tr("Both sides"), Text::tr("Left only"), Text::tr("Right only"), Text::tr("Mono")});
    c.cboChannels->setToolTip(
        Text::tr("What is heard of a stereo file, and saved by Process: both sides, one side alone "
                 "(an instrument panned hard to it), or the two mixed to mono"));

    c.CEq = named(new QPushButton(window), "CEq");
    c.CEq->setCheckable(true);
    c.CEq->setIcon(platform::equalizerIcon());
    c.CEq->setIconSize(QSize(32, 32));
    c.CEq->setAccessibleName(Text::tr("Equalizer on / off"));
    c.Label5 = named(new QLabel(Text::tr("Actived"), window), "Label5");
    c.Label5->setVisible(false);
    c.Label5->setEnabled(false);
    keepPlaceWhenHidden(c.Label5);
    c.lblClipped = named(new QLabel(window), "lblClipped");
    c.lblClipped->setToolTip(Text::tr(
        "Samples the equalizer raised past full scale since Play or Process: lower its boost"));
    c.lblClipped->setVisible(false);
    keepPlaceWhenHidden(c.lblClipped);
    c.chkEqualizer = named(new QCheckBox(Text::tr("Peaking Equalizer"), window), "chkEqualizer");
    for (int i = 0; i < 7; ++i) {
        c.sldEQ[i] = new platform::Slider(Qt::Vertical, window);
        c.sldEQ[i]->setObjectName(QString("sldEQ_%1").arg(i));
        c.sldEQ[i]->setup(-10, 10, 2, 0);
    }
    c.Frame1 = named(new QGroupBox(Text::tr(" 80    200  1500  4000  7500 10000 12000 "), window),
                     "Frame1");
    c.Label1 = named(new QLabel(Text::tr("   Equalizer"), window), "Label1");
    c.Label2 = named(new QLabel(Text::tr("Bass"), window), "Label2");
    c.Label3 = named(new QLabel(Text::tr("Middle"), window), "Label3");
    c.Label4 = named(new QLabel(Text::tr("Treble"), window), "Label4");

    c.Pbregg = named(new QProgressBar(window), "Pbregg");
    c.Pbregg->setVisible(false);
    c.Pbregg->setTextVisible(false);
    keepPlaceWhenHidden(c.Pbregg);
    c.cmdCancelProcess = named(new QPushButton(Text::tr("Cancel"), window), "cmdCancelProcess");
    c.cmdCancelProcess->setShortcut(QKeySequence(Qt::Key_Escape));
    c.cmdCancelProcess->setToolTip(
        withKey(Text::tr("Stop the render; nothing is saved"), QKeySequence(Qt::Key_Escape)));
    c.cmdCancelProcess->setVisible(false);
    keepPlaceWhenHidden(c.cmdCancelProcess);
    c.prog = named(new QProgressBar(window), "prog");
    c.prog->setTextVisible(false);

    c.Combo2 = named(new QComboBox(window), "Combo2");
    for (int k = 320; k >= 8; k -= 8) c.Combo2->addItem(k == 192 ? "192 " : QString::number(k));
    c.Combo2->setPlaceholderText(Text::tr("BitRate"));
    c.Combo2->setCurrentIndex(-1);
    c.Combo2->setVisible(false);
    keepPlaceWhenHidden(c.Combo2);
    c.MEnc1 = new components::Mp3Encoder(window);
    c.MEnc1->setObjectName("MEnc1");
    c.Frame5 =
        named(new QGroupBox(Text::tr("             Player    Audio            WinMixer"), window),
              "Frame5");
    c.Label6 = named(new platform::ClickLabel(kContact, window), "Label6");
    c.Label6->setCursor(Qt::PointingHandCursor);
    QFont link = c.Label6->font();
    link.setUnderline(true);
    c.Label6->setFont(link);
    c.lblNoSound =
        named(new QLabel(Text::tr("No sound device: nothing is heard"), window), "lblNoSound");
    c.lblNoSound->setVisible(false);
    // Enter on a focused button clicks it, as in the tool windows.
    for (QPushButton* b : window->findChildren<QPushButton*>()) b->setAutoDefault(true);
}

QSpinBox* spin(QWidget* parent, const char* name, int lo, int hi, int value, const QString& tip) {
    auto* box = named(new QSpinBox(parent), name);
    box->setRange(lo, hi);
    box->setValue(value);
    box->setToolTip(tip);
    return box;
}

void buildPracticeControls(MainControls& c, QMainWindow* window) {
    c.CmdPause = named(new QPushButton(Text::tr("Pause"), window), "CmdPause");
    c.CmdPause->setCheckable(true);
    c.CmdPause->setEnabled(false);
    c.CmdPause->setIcon(window->style()->standardIcon(QStyle::SP_MediaPause));
    withShortcut(c.CmdPause, kPauseKey, Text::tr("Pause, and go on from there"));

    c.spnCents = spin(window, "spnCents", -50, 50, 0, Text::tr("Fine pitch in cents"));
    c.spnCents->setSuffix(Text::tr(" ct"));
    c.spnReferenceA = spin(window, "spnReferenceA", 415, 466, 440,
                           Text::tr("The A the recording is tuned to: the pitch moves it "
                                    "to A = 440 Hz"));
    c.spnReferenceA->setPrefix(Text::tr("A = "));
    c.spnReferenceA->setSuffix(Text::tr(" Hz"));

    c.cboLoops = named(new QComboBox(window), "cboLoops");
    c.cboLoops->setEditable(true);
    c.cboLoops->setInsertPolicy(QComboBox::NoInsert);
    c.cboLoops->setToolTip(Text::tr("The song's loops: choose one to play it, type to rename"));
    c.cmdLoopAdd = named(new QPushButton(Text::tr("+"), window), "cmdLoopAdd");
    c.cmdLoopAdd->setToolTip(Text::tr("A new loop"));
    c.cmdLoopDelete = named(new QPushButton(Text::tr("−"), window), "cmdLoopDelete");
    c.cmdLoopDelete->setToolTip(Text::tr("Take the loop out of the list"));
    c.cmdLoopDelete->setEnabled(false);
    c.cboMarkers = named(new QComboBox(window), "cboMarkers");
    c.cboMarkers->setEditable(true);
    c.cboMarkers->setInsertPolicy(QComboBox::NoInsert);
    c.cboMarkers->setToolTip(Text::tr("Go to a marker or where you were; type to rename"));
    c.cmdMarker = named(new QPushButton(Text::tr("Marker"), window), "cmdMarker");
    withShortcut(c.cmdMarker, kMarkerKey, Text::tr("A marker at the play position"));
    c.cmdMarkerDelete = named(new QPushButton(Text::tr("−"), window), "cmdMarkerDelete");
    c.cmdMarkerDelete->setToolTip(Text::tr("Take the marker chosen out of the list"));
    c.cmdMarkerDelete->setEnabled(false);
    for (QPushButton* b : {c.cmdLoopAdd, c.cmdLoopDelete, c.cmdMarker, c.cmdMarkerDelete})
        b->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);

    c.chkTrainer = named(new QCheckBox(Text::tr("Speed trainer"), window), "chkTrainer");
    c.chkTrainer->setToolTip(
        Text::tr("On a loop: from the start tempo, a step every so many passes, up to the "
                 "target"));
    c.spnTrainerStart = spin(window, "spnTrainerStart", -60, 60, -20, Text::tr("Start tempo"));
    c.spnTrainerStep = spin(window, "spnTrainerStep", 1, 30, 5, Text::tr("Step"));
    c.spnTrainerEvery = spin(window, "spnTrainerEvery", 1, 16, 2, Text::tr("Passes per step"));
    c.spnTrainerTarget = spin(window, "spnTrainerTarget", -60, 60, 0, Text::tr("Target tempo"));
    for (QSpinBox* b : {c.spnTrainerStart, c.spnTrainerStep, c.spnTrainerTarget}) b->setSuffix("%");
    c.spnTrainerEvery->setSuffix(Text::tr("×"));
    c.spnCountIn = spin(window, "spnCountIn", 0, 8, 0,
                        Text::tr("Clicks before Play at the song's tempo (0: none)"));
    c.spnCountIn->setPrefix(Text::tr("Count-in: "));
    c.spnCountIn->setSpecialValueText(Text::tr("No count-in"));
    c.chkCountInLoop = named(new QCheckBox(Text::tr("each pass"), window), "chkCountInLoop");
    c.chkCountInLoop->setToolTip(Text::tr("The count-in before each pass of the loop too"));
    c.spnStereoStrength =
        spin(window, "spnStereoStrength", 0, 100, 100,
             Text::tr("How much of what sounds from the centre \"Keep stereo\" takes out"));
    c.spnStereoStrength->setPrefix(Text::tr("Strength "));
    c.spnStereoStrength->setSuffix("%");
    c.spnStereoFrom = spin(window, "spnStereoFrom", 20, 7999, 120,
                           Text::tr("\"Keep stereo\" leaves what sounds below this alone"));
    c.spnStereoTo = spin(window, "spnStereoTo", 121, 20000, 8000,
                         Text::tr("\"Keep stereo\" leaves what sounds above this alone"));
    c.spnStereoTo->setPrefix(Text::tr("to "));
    for (QSpinBox* b : {c.spnStereoFrom, c.spnStereoTo}) b->setSuffix(Text::tr(" Hz"));
    for (QSpinBox* b : {c.spnStereoStrength, c.spnStereoFrom, c.spnStereoTo}) b->setEnabled(false);
    c.lblPracticeNote = named(new QLabel(window), "lblPracticeNote");
    // A long note is cut at the frame's edge; its tip holds the whole of it.
    c.lblPracticeNote->setMinimumWidth(0);
    c.lblPracticeNote->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

// The song's loops and markers on the frame's first row, after its caption, with the store's
// note beside them: the frame keeps its height.
void layOutPractice(MainControls& c, QGridLayout* f3) {
    auto* row = new QHBoxLayout;
    row->setSpacing(2);
    row->addWidget(c.lblStrFile);
    row->addSpacing(6);
    row->addWidget(c.cboLoops, 2);
    row->addWidget(c.cmdLoopAdd);
    row->addWidget(c.cmdLoopDelete);
    row->addSpacing(6);
    row->addWidget(c.cboMarkers, 2);
    row->addWidget(c.cmdMarker);
    row->addWidget(c.cmdMarkerDelete);
    row->addSpacing(6);
    row->addWidget(c.lblPracticeNote, 3);
    f3->addLayout(row, 0, 0);
}

// The speed trainer in the BPM frame: it goes by the song's tempo.
void layOutTrainer(MainControls& c, QVBoxLayout* bpm) {
    auto* trainer = new QHBoxLayout;
    trainer->addWidget(c.chkTrainer);
    for (QSpinBox* b : {c.spnTrainerStart, c.spnTrainerStep, c.spnTrainerEvery, c.spnTrainerTarget})
        trainer->addWidget(b);
    trainer->addStretch();
    bpm->addLayout(trainer);
}

void buildLayout(MainControls& c, QMainWindow* window) {
    auto* central = new QWidget(window);
    auto* root = new QVBoxLayout(central);

    // Player: file and transport, position, progress of a render.
    auto* player = named(new QGroupBox(Text::tr("Player"), central), "grpPlayer");
    auto* pl = new QVBoxLayout(player);
    auto* transport = new QHBoxLayout;
    transport->addWidget(c.btnLoadFile, 2);
    transport->addWidget(c.CmdPlay, 1);
    transport->addWidget(c.CmdStop, 1);
    transport->addWidget(c.CmdPause, 1);
    transport->addWidget(c.btnConvert, 1);
    transport->addWidget(c.chkProcessLoop);
    pl->addLayout(transport);
    // The waveform takes the room of the frame's margins: the frame keeps its height.
    auto* f3 = new QGridLayout(c.Frame3);
    const QMargins m = f3->contentsMargins();
    f3->setContentsMargins(m.left(), 4, m.right(), 2);
    f3->setVerticalSpacing(1);
    f3->addWidget(c.lblTime, 0, 1, Qt::AlignRight);
    f3->addWidget(c.lblPos, 0, 2, 1, 2);
    f3->addWidget(c.wavOverview, 1, 0, 1, 4);
    f3->addWidget(c.sldPosition, 2, 0, 1, 3);
    // The loop buttons sit beside the slider, no taller than it.
    auto* loop = new QHBoxLayout;
    loop->setSpacing(2);
    for (QPushButton* b : {c.cmdLoopA, c.cmdLoopB, c.cmdLoopClear}) loop->addWidget(b);
    f3->addLayout(loop, 2, 3);
    f3->setColumnStretch(0, 1);
    layOutPractice(c, f3);
    // The waveform takes the height the window gains.
    c.wavOverview->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    f3->setRowStretch(1, 1);
    pl->addWidget(c.Frame3, 1);
    auto* progress = new QHBoxLayout;
    progress->addWidget(c.Pbregg, 1);
    progress->addWidget(c.cmdCancelProcess);
    pl->addLayout(progress);
    root->addWidget(player, 3);

    auto* middle = new QHBoxLayout;
    // Tempo and pitch.
    auto* tp = named(new QGroupBox(Text::tr("Tempo / Pitch"), central), "grpTempoPitch");
    auto* tpl = new QGridLayout(tp);
    tpl->addWidget(c.LblTm, 0, 0, Qt::AlignHCenter);
    tpl->addWidget(c.LblPh, 0, 1, Qt::AlignHCenter);
    tpl->addWidget(c.sldTempo[0], 1, 0, Qt::AlignHCenter);
    tpl->addWidget(c.sldTempo[2], 1, 1, Qt::AlignHCenter);
    tpl->addWidget(c.lblTempo, 2, 0, Qt::AlignHCenter);
    tpl->addWidget(c.lblPitch, 2, 1, Qt::AlignHCenter);
    // The fine pitch beside the pitch slider: the frame keeps its height.
    auto* fine = new QVBoxLayout;
    fine->addStretch();
    fine->addWidget(c.spnCents);
    fine->addWidget(c.spnReferenceA);
    fine->addStretch();
    tpl->addLayout(fine, 1, 2);
    tpl->setRowStretch(1, 1);
    middle->addWidget(tp);
    // Volume and mixer.
    auto* f5 = new QGridLayout(c.Frame5);
    f5->addWidget(c.sldVolume, 0, 0, Qt::AlignHCenter);
    f5->addWidget(c.Comout, 0, 1, Qt::AlignCenter);
    f5->addWidget(c.lblVolPitch, 1, 0, Qt::AlignHCenter);
    f5->setRowStretch(0, 1);
    middle->addWidget(c.Frame5);
    // BPM and beats.
    auto* bpm = named(new QGroupBox(Text::tr("BPM"), central), "grpBpm");
    auto* bl = new QVBoxLayout(bpm);
    auto* bpmRow = new QHBoxLayout;
    bpmRow->addWidget(c.lblBPM);
    bpmRow->addStretch();
    // The chord shares the BPM's row, so the frame keeps its height.
    bpmRow->addWidget(c.lblChord, 0, Qt::AlignVCenter);
    bpmRow->addWidget(c.cmdBpmHalf, 0, Qt::AlignVCenter);
    bpmRow->addWidget(c.cmdBpmDouble, 0, Qt::AlignVCenter);
    bpmRow->addWidget(c.cmdBpmTap, 0, Qt::AlignVCenter);
    bl->addLayout(bpmRow);
    // The key shares the beat's row, so the frame keeps its height.
    auto* beatRow = new QHBoxLayout;
    beatRow->addWidget(c.lblBeat);
    beatRow->addStretch();
    beatRow->addWidget(c.lblKey);
    bl->addLayout(beatRow);
    auto* periodRow = new QHBoxLayout;
    periodRow->addWidget(c.chkBPMCallback);
    periodRow->addWidget(c.txtPeriod);
    periodRow->addStretch();
    // The count-in shares the row: the frame keeps its height.
    periodRow->addWidget(c.spnCountIn);
    periodRow->addWidget(c.chkCountInLoop);
    bl->addLayout(periodRow);
    bl->addWidget(c.chkBeat);
    bl->addWidget(c.pbProcess);
    layOutTrainer(c, bl);
    bl->addStretch();
    middle->addWidget(bpm, 1);
    root->addLayout(middle, 1);

    auto* effects = new QHBoxLayout;
    // Vocal remover.
    auto* f2 = new QGridLayout(c.Frame2);
    f2->addWidget(c.Chkrem, 0, 0, Qt::AlignCenter);
    f2->addWidget(c.vcompr[0], 0, 1, 2, 1, Qt::AlignHCenter);
    f2->addWidget(c.LblRem, 1, 0, Qt::AlignCenter);
    f2->addWidget(c.chkKeepBass, 2, 0, 1, 2, Qt::AlignLeft);
    f2->addWidget(c.chkKeepStereo, 3, 0, 1, 2, Qt::AlignLeft);
    f2->addWidget(c.spnStereoStrength, 4, 0, 1, 2, Qt::AlignLeft);
    auto* band = new QHBoxLayout;
    band->addWidget(c.spnStereoFrom);
    band->addWidget(c.spnStereoTo);
    f2->addLayout(band, 5, 0, 1, 2, Qt::AlignLeft);
    f2->addWidget(c.cboChannels, 6, 0, 1, 2, Qt::AlignLeft);
    effects->addWidget(c.Frame2);
    // Equalizer.
    auto* eq = named(new QGroupBox(Text::tr("Equalizer"), central), "grpEqualizer");
    auto* el = new QGridLayout(eq);
    auto* switches = new QVBoxLayout;
    switches->addWidget(c.Label1);
    switches->addWidget(c.CEq, 0, Qt::AlignLeft);
    switches->addWidget(c.Label5);
    switches->addWidget(c.lblClipped);
    switches->addWidget(c.chkEqualizer);
    switches->addStretch();
    el->addLayout(switches, 0, 0);
    auto* f1 = new QGridLayout(c.Frame1);
    const char* hz[] = {"80", "200", "1.5k", "4k", "7.5k", "10k", "12k"};
    for (int i = 0; i < 7; ++i) {
        f1->addWidget(c.sldEQ[i], 0, i, Qt::AlignHCenter);
        auto* l = new QLabel(hz[i], c.Frame1);
        l->setObjectName(QString("lblHz_%1").arg(i));
        l->setAlignment(Qt::AlignCenter);
        f1->addWidget(l, 1, i);
    }
    f1->addWidget(c.Label2, 2, 0, 1, 2, Qt::AlignHCenter);
    f1->addWidget(c.Label3, 2, 2, 1, 3, Qt::AlignHCenter);
    f1->addWidget(c.Label4, 2, 5, 1, 2, Qt::AlignHCenter);
    el->addWidget(c.Frame1, 0, 1);
    el->setColumnStretch(1, 1);
    effects->addWidget(eq, 1);
    root->addLayout(effects, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(c.Label6);
    bottom->addStretch();
    bottom->addWidget(c.lblNoSound);
    bottom->addWidget(c.Combo2);
    bottom->addWidget(c.prog);
    root->addLayout(bottom);

    window->setCentralWidget(central);
    // Roughly the designed 13500 x 7815 twips at 96 dpi; Qt scales it on high-DPI screens.
    window->resize(900, 620);

    // Tab goes through the window from top left to bottom right.
    QWidget* order[] = {c.btnLoadFile,      c.CmdPlay,
                        c.CmdStop,          c.CmdPause,
                        c.btnConvert,       c.chkProcessLoop,
                        c.cboLoops,         c.cmdLoopAdd,
                        c.cmdLoopDelete,    c.cboMarkers,
                        c.cmdMarker,        c.cmdMarkerDelete,
                        c.sldPosition,      c.cmdCancelProcess,
                        c.sldTempo[0],      c.lblTempo,
                        c.sldTempo[2],      c.lblPitch,
                        c.spnCents,         c.spnReferenceA,
                        c.sldVolume,        c.Comout,
                        c.cmdBpmHalf,       c.cmdBpmDouble,
                        c.cmdBpmTap,        c.chkBPMCallback,
                        c.txtPeriod,        c.spnCountIn,
                        c.chkCountInLoop,   c.chkBeat,
                        c.chkTrainer,       c.spnTrainerStart,
                        c.spnTrainerStep,   c.spnTrainerEvery,
                        c.spnTrainerTarget, c.Chkrem,
                        c.vcompr[0],        c.chkKeepBass,
                        c.chkKeepStereo,    c.spnStereoStrength,
                        c.spnStereoFrom,    c.spnStereoTo,
                        c.cboChannels,      c.CEq,
                        c.chkEqualizer,     c.sldEQ[0],
                        c.sldEQ[1],         c.sldEQ[2],
                        c.sldEQ[3],         c.sldEQ[4],
                        c.sldEQ[5],         c.sldEQ[6],
                        c.Label6,           c.Combo2};
    for (size_t i = 1; i < std::size(order); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

void buildMenus(MainControls& c, QMainWindow* window) {
    c.cvmenu = window->menuBar()->addMenu(Text::tr("&Tools"));
    c.cvmenu->setObjectName("cvmenu");
    c.cdripper = named(c.cvmenu->addAction(Text::tr("&Load From  CD Audio")), "cdripper");
    c.wavp3 = named(c.cvmenu->addAction(Text::tr("&Wav to Mp3")), "wavp3");
    c.Snorma = named(c.cvmenu->addAction(Text::tr("&Normalize")), "Snorma");
    c.mnuRecent = c.cvmenu->addMenu(Text::tr("Recent &Files"));
    c.mnuRecent->setObjectName("mnuRecent");
    c.cvmenu->addSeparator();
    c.Mnuexit = named(c.cvmenu->addAction(Text::tr("E&xit")), "Mnuexit");
    c.Mnuexit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    c.mnuconf = window->menuBar()->addMenu(Text::tr("&Options"));
    c.mnuconf->setObjectName("mnuconf");
    c.Mmp3 = named(c.mnuconf->addAction(Text::tr("&Mp3 Setup")), "Mmp3");
    c.Savec = named(c.mnuconf->addAction(Text::tr("&Save Configuration")), "Savec");
    c.mnuconf->addSeparator();
    c.mnuHighQuality =
        named(c.mnuconf->addAction(Text::tr("High quality &render")), "mnuHighQuality");
    c.mnuHighQuality->setCheckable(true);
    c.mnuHighQuality->setToolTip(
        Text::tr("Process stretches tempo and pitch with Rubber Band's finer "
                 "engine: cleaner, and several times slower"));
    c.mnuHighQualityPlayback =
        named(c.mnuconf->addAction(Text::tr("High quality &playback")), "mnuHighQualityPlayback");
    c.mnuHighQualityPlayback->setCheckable(true);
    c.mnuHighQualityPlayback->setToolTip(
        Text::tr("Play stretches tempo and pitch with Rubber Band's finer engine"));
    c.Shelp = named(window->menuBar()->addAction(Text::tr("&Help")), "Shelp");
    c.Shelp->setShortcut(QKeySequence(Qt::Key_F1));
    c.Sabout = named(window->menuBar()->addAction(Text::tr("&About")), "Sabout");
}

// What a screen reader (and a test) calls each control. The Load button's name is its caption:
// "Load Audio File", then the file it shows.
void nameForAccess(MainControls& c) {
    const std::pair<QWidget*, const char*> names[] = {
        {c.CmdPlay, QT_TRANSLATE_NOOP("frmWriteWave", "Play")},
        {c.CmdStop, QT_TRANSLATE_NOOP("frmWriteWave", "Stop")},
        {c.btnConvert, QT_TRANSLATE_NOOP("frmWriteWave", "Process")},
        {c.cmdCancelProcess, QT_TRANSLATE_NOOP("frmWriteWave", "Cancel the render")},
        {c.Pbregg, QT_TRANSLATE_NOOP("frmWriteWave", "Render progress")},
        {c.prog, QT_TRANSLATE_NOOP("frmWriteWave", "Progress")},
        {c.pbProcess, QT_TRANSLATE_NOOP("frmWriteWave", "BPM detection progress")},
        {c.Comout, QT_TRANSLATE_NOOP("frmWriteWave", "Volume mixer")},
        {c.sldTempo[0], QT_TRANSLATE_NOOP("frmWriteWave", "Tempo")},
        {c.sldTempo[2], QT_TRANSLATE_NOOP("frmWriteWave", "Pitch")},
        {c.lblTempo, QT_TRANSLATE_NOOP("frmWriteWave", "Tempo to 0")},
        {c.lblPitch, QT_TRANSLATE_NOOP("frmWriteWave", "Pitch to 0")},
        {c.sldVolume, QT_TRANSLATE_NOOP("frmWriteWave", "Volume")},
        {c.sldPosition, QT_TRANSLATE_NOOP("frmWriteWave", "Play position")},
        {c.wavOverview, QT_TRANSLATE_NOOP("frmWriteWave", "Waveform")},
        {c.cmdLoopA, QT_TRANSLATE_NOOP("frmWriteWave", "A")},
        {c.cmdLoopB, QT_TRANSLATE_NOOP("frmWriteWave", "B")},
        {c.cmdLoopClear, QT_TRANSLATE_NOOP("frmWriteWave", "Clear the A–B loop")},
        {c.chkBPMCallback, QT_TRANSLATE_NOOP("frmWriteWave", "BPM by period of seconds")},
        {c.txtPeriod, QT_TRANSLATE_NOOP("frmWriteWave", "BPM period in seconds")},
        {c.chkBeat, QT_TRANSLATE_NOOP("frmWriteWave", "Show beat position")},
        {c.cmdBpmHalf, QT_TRANSLATE_NOOP("frmWriteWave", "Half the BPM")},
        {c.cmdBpmDouble, QT_TRANSLATE_NOOP("frmWriteWave", "Twice the BPM")},
        {c.cmdBpmTap, QT_TRANSLATE_NOOP("frmWriteWave", "Tap the beat")},
        {c.Chkrem, QT_TRANSLATE_NOOP("frmWriteWave", "Vocal remover on / off")},
        {c.vcompr[0], QT_TRANSLATE_NOOP("frmWriteWave", "Gain Audio")},
        {c.chkKeepBass, QT_TRANSLATE_NOOP("frmWriteWave", "Keep bass")},
        {c.chkKeepStereo, QT_TRANSLATE_NOOP("frmWriteWave", "Keep stereo")},
        {c.cboChannels, QT_TRANSLATE_NOOP("frmWriteWave", "Sides heard")},
        {c.CEq, QT_TRANSLATE_NOOP("frmWriteWave", "Equalizer on / off")},
        {c.chkEqualizer, QT_TRANSLATE_NOOP("frmWriteWave", "Peaking Equalizer")},
        {c.lblClipped, QT_TRANSLATE_NOOP("frmWriteWave", "Clipped samples")},
        {c.Combo2, QT_TRANSLATE_NOOP("frmWriteWave", "Mp3 bit rate")},
        {c.Label6, QT_TRANSLATE_NOOP("frmWriteWave", "Contact")},
        {c.lblNoSound, QT_TRANSLATE_NOOP("frmWriteWave", "No sound device")},
    };
    for (const auto& [widget, name] : names) widget->setAccessibleName(Text::tr(name));
    const std::pair<QWidget*, QString> practice[] = {
        {c.CmdPause, Text::tr("Pause")},
        {c.spnCents, Text::tr("Pitch cents")},
        {c.spnReferenceA, Text::tr("Recording's A in Hz")},
        {c.cboLoops, Text::tr("Loops")},
        {c.cmdLoopAdd, Text::tr("New loop")},
        {c.cmdLoopDelete, Text::tr("Delete loop")},
        {c.chkProcessLoop, Text::tr("Process the loop only")},
        {c.cboMarkers, Text::tr("Markers")},
        {c.cmdMarker, Text::tr("Add marker")},
        {c.cmdMarkerDelete, Text::tr("Delete marker")},
        {c.chkTrainer, Text::tr("Speed trainer")},
        {c.spnTrainerStart, Text::tr("Trainer start tempo")},
        {c.spnTrainerStep, Text::tr("Trainer step")},
        {c.spnTrainerEvery, Text::tr("Trainer passes per step")},
        {c.spnTrainerTarget, Text::tr("Trainer target tempo")},
        {c.spnCountIn, Text::tr("Count-in clicks")},
        {c.chkCountInLoop, Text::tr("Count-in before each loop pass")},
        {c.lblPracticeNote, Text::tr("Song store note")},
        {c.spnStereoStrength, Text::tr("Keep stereo strength")},
        {c.spnStereoFrom, Text::tr("Keep stereo from Hz")},
        {c.spnStereoTo, Text::tr("Keep stereo up to Hz")},
    };
    for (const auto& [widget, name] : practice) widget->setAccessibleName(name);
    static const char* const kBands[] = {
        QT_TRANSLATE_NOOP("frmWriteWave", "80 Hz"),   QT_TRANSLATE_NOOP("frmWriteWave", "200 Hz"),
        QT_TRANSLATE_NOOP("frmWriteWave", "1.5 kHz"), QT_TRANSLATE_NOOP("frmWriteWave", "4 kHz"),
        QT_TRANSLATE_NOOP("frmWriteWave", "7.5 kHz"), QT_TRANSLATE_NOOP("frmWriteWave", "10 kHz"),
        QT_TRANSLATE_NOOP("frmWriteWave", "12 kHz")};
    for (size_t i = 0; i < c.sldEQ.size(); ++i) c.sldEQ[i]->setAccessibleName(Text::tr(kBands[i]));
}

}  // namespace

MainControls buildMainControls(QMainWindow* window) {
    MainControls c{};
    buildControls(c, window);
    buildPracticeControls(c, window);
    buildLayout(c, window);
    buildMenus(c, window);
    nameForAccess(c);
    return c;
}

}  // namespace app
