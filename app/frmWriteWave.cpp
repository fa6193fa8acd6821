#include "app/frmWriteWave.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <atomic>
#include <cstdio>

#include "app/formp3.h"
#include "app/frmAbout.h"
#include "app/widgets.h"
#include "cd/frm_demo.h"
#include "components/mp3_encoder.h"
#include "mp3/form1.h"
#include "platform/platform.h"
#include "render/normaliser/Form11.h"
#include "render/render_pipeline.h"

using app::ClickLabel;
using app::Slider;

namespace {

std::atomic<frmWriteWave*> g_instance{nullptr};

// Playback position display refresh.
constexpr int kFollowIntervalMs = 250;

template <typename W>
W* named(W* w, const char* name) {
    w->setObjectName(name);
    return w;
}

// Hidden widgets keep their place so the layout does not jump when they appear.
void keepPlaceWhenHidden(QWidget* w) {
    QSizePolicy sp = w->sizePolicy();
    sp.setRetainSizeWhenHidden(true);
    w->setSizePolicy(sp);
}

}  // namespace

frmWriteWave::frmWriteWave(QWidget* parent)
    : QMainWindow(parent), renderMaxDataBytes(files::kMaxWaveDataBytes) {
    setObjectName("frmWriteWave");
    setWindowTitle(QString(35, ' ') + "Quorvin Audio Tools Vers 1.0   www.quorvin-audio.example");
    buildControls();
    buildLayout();
    buildMenus();
    connectHandlers();
    positionTimer_ = new QTimer(this);
    positionTimer_->setInterval(kFollowIntervalMs);
    connect(positionTimer_, &QTimer::timeout, this, &frmWriteWave::followPlayback);
    positionTimer_->start();
    g_instance.store(this);
}

frmWriteWave::~frmWriteWave() {
    frmWriteWave* self = this;
    if (g_instance.compare_exchange_strong(self, nullptr)) {
        // No engine procedure may post to this window once it is gone.
        BASS_Free();
    }
}

frmWriteWave* frmWriteWave::instance() {
    return g_instance.load();
}

std::function<DWORD()>& frmWriteWave::engineVersionSource() {
    static std::function<DWORD()> source = [] { return BASS_GetVersion(); };
    return source;
}

void frmWriteWave::buildControls() {
    btnLoadFile = named(new QPushButton("Load Audio File", this), "btnLoadFile");
    CmdPlay = named(new QPushButton("Play", this), "CmdPlay");
    CmdPlay->setToolTip("Player");
    CmdPlay->setEnabled(false);
    CmdPlay->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    CmdStop = named(new QPushButton("Stop", this), "CmdStop");
    CmdStop->setToolTip("Stop Player");
    CmdStop->setEnabled(false);
    CmdStop->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    btnConvert = named(new QPushButton("Process", this), "btnConvert");
    btnConvert->setToolTip("Elaborazione");
    btnConvert->setEnabled(false);
    Comout = named(new QPushButton(this), "Comout");
    Comout->setToolTip("Output Control");
    Comout->setIcon(app::mixerIcon());
    Comout->setIconSize(QSize(28, 28));

    sldTempo[0] = named(new Slider(Qt::Vertical, this), "sldTempo_0");
    sldTempo[0]->setup(-60, 60, 5, 0);
    sldTempo[0]->setToolTip("Tempo");
    sldTempo[2] = named(new Slider(Qt::Vertical, this), "sldTempo_2");
    sldTempo[2]->setup(-8, 8, 2, 0);
    sldTempo[2]->setToolTip("Pitch");
    lblTempo = named(new ClickLabel(this), "lblTempo");
    lblTempo->setToolTip("click to set Tempo Default");
    lblPitch = named(new ClickLabel(this), "lblPitch");
    lblPitch->setToolTip("click to set Pitch Default");
    for (QLabel* l : {static_cast<QLabel*>(lblTempo), static_cast<QLabel*>(lblPitch)}) {
        l->setAlignment(Qt::AlignCenter);
        l->setCursor(Qt::PointingHandCursor);
        l->setMinimumWidth(l->fontMetrics().horizontalAdvance("-60%") + 8);
    }
    LblTm = named(new QLabel("+Tempo+", this), "LblTm");
    LblPh = named(new QLabel("+Pitch+", this), "LblPh");

    sldVolume = named(new Slider(Qt::Vertical, this), "sldVolume");
    sldVolume->setup(0, 100, 10, 50);
    lblVolPitch = named(new QLabel("Volume", this), "lblVolPitch");

    sldPosition = named(new Slider(Qt::Horizontal, this), "sldPosition");
    sldPosition->setup(0, 100, 5, 0);
    // The change handler seeks and detects the BPM again: run it when the thumb is let go, not
    // for every pixel of a drag.
    sldPosition->setTracking(false);
    Frame3 = named(new QGroupBox("Play Position", this), "Frame3");
    lblPos = named(new QLabel(" 00:00 / 00:00", this), "lblPos");
    lblTime = named(new QLabel("Time:", this), "lblTime");
    lblStrFile = named(new QLabel("Streaming File:", this), "lblStrFile");

    lblBPM = named(new QLabel("BPM: 0.00", this), "lblBPM");
    lblBeat = named(new QLabel("Beat pos: 0.00", this), "lblBeat");
    QFont big = lblBPM->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    lblBPM->setFont(big);
    chkBPMCallback = named(new QCheckBox("BPM by period of seconds:", this), "chkBPMCallback");
    txtPeriod = named(new QLineEdit("10", this), "txtPeriod");
    txtPeriod->setMaximumWidth(txtPeriod->fontMetrics().horizontalAdvance("00000000") + 12);
    chkBeat = named(new QCheckBox("Enable / Disable showing Beat pos", this), "chkBeat");
    pbProcess = named(new QProgressBar(this), "pbProcess");
    pbProcess->setRange(0, 100);
    pbProcess->setValue(0);

    Chkrem = named(new QPushButton(this), "Chkrem");
    Chkrem->setCheckable(true);
    Chkrem->setEnabled(false);
    Chkrem->setIcon(app::vocalRemoverIcon());
    Chkrem->setIconSize(QSize(32, 32));
    Chkrem->setAccessibleName("Vocal remover on / off");
    Frame2 = named(new QGroupBox("Vocal Remover", this), "Frame2");
    LblRem = named(new QLabel("Actived", this), "LblRem");
    LblRem->setEnabled(false);
    vcompr[0] = named(new Slider(Qt::Vertical, this), "vcompr_0");
    vcompr[0]->setup(0, 10, 1, 10);
    vcompr[0]->setToolTip("Gain Audio");

    CEq = named(new QPushButton(this), "CEq");
    CEq->setCheckable(true);
    CEq->setIcon(app::equalizerIcon());
    CEq->setIconSize(QSize(32, 32));
    CEq->setAccessibleName("Equalizer on / off");
    Label5 = named(new QLabel("Actived", this), "Label5");
    Label5->setVisible(false);
    Label5->setEnabled(false);
    keepPlaceWhenHidden(Label5);
    chkEqualizer = named(new QCheckBox("Peaking Equalizer", this), "chkEqualizer");
    for (int i = 0; i < 7; ++i) {
        sldEQ[i] = new Slider(Qt::Vertical, this);
        sldEQ[i]->setObjectName(QString("sldEQ_%1").arg(i));
        sldEQ[i]->setup(-10, 10, 2, 0);
    }
    Frame1 = named(new QGroupBox(" 80    200  1500  4000  7500 10000 12000 ", this), "Frame1");
    Label1 = named(new QLabel("   Equalizer", this), "Label1");
    Label2 = named(new QLabel("Bass", this), "Label2");
    Label3 = named(new QLabel("Middle", this), "Label3");
    Label4 = named(new QLabel("Treble", this), "Label4");

    Pbregg = named(new QProgressBar(this), "Pbregg");
    Pbregg->setVisible(false);
    Pbregg->setTextVisible(false);
    keepPlaceWhenHidden(Pbregg);
    prog = named(new QProgressBar(this), "prog");
    prog->setTextVisible(false);

    Combo2 = named(new QComboBox(this), "Combo2");
    for (int k = 320; k >= 8; k -= 8) Combo2->addItem(k == 192 ? "192 " : QString::number(k));
    Combo2->setPlaceholderText("BitRate");
    Combo2->setCurrentIndex(-1);
    Combo2->setVisible(false);
    keepPlaceWhenHidden(Combo2);
    MEnc1 = new components::Mp3Encoder(this);
    MEnc1->setObjectName("MEnc1");
    Frame5 =
        named(new QGroupBox("             Player    Audio            WinMixer", this), "Frame5");
    Label6 = named(new ClickLabel(kContact, this), "Label6");
    Label6->setCursor(Qt::PointingHandCursor);
    QFont link = Label6->font();
    link.setUnderline(true);
    Label6->setFont(link);
}

void frmWriteWave::buildLayout() {
    auto* central = new QWidget(this);
    auto* root = new QVBoxLayout(central);

    // Player: file and transport, position, progress of a render.
    auto* player = named(new QGroupBox("Player", central), "grpPlayer");
    auto* pl = new QVBoxLayout(player);
    auto* transport = new QHBoxLayout;
    transport->addWidget(btnLoadFile, 2);
    transport->addWidget(CmdPlay, 1);
    transport->addWidget(CmdStop, 1);
    transport->addWidget(btnConvert, 1);
    pl->addLayout(transport);
    auto* f3 = new QGridLayout(Frame3);
    f3->addWidget(lblStrFile, 0, 0);
    f3->addWidget(lblTime, 0, 1, Qt::AlignRight);
    f3->addWidget(lblPos, 0, 2);
    f3->addWidget(sldPosition, 1, 0, 1, 3);
    f3->setColumnStretch(0, 1);
    pl->addWidget(Frame3);
    pl->addWidget(Pbregg);
    root->addWidget(player);

    auto* middle = new QHBoxLayout;
    // Tempo and pitch.
    auto* tp = named(new QGroupBox("Tempo / Pitch", central), "grpTempoPitch");
    auto* tpl = new QGridLayout(tp);
    tpl->addWidget(LblTm, 0, 0, Qt::AlignHCenter);
    tpl->addWidget(LblPh, 0, 1, Qt::AlignHCenter);
    tpl->addWidget(sldTempo[0], 1, 0, Qt::AlignHCenter);
    tpl->addWidget(sldTempo[2], 1, 1, Qt::AlignHCenter);
    tpl->addWidget(lblTempo, 2, 0, Qt::AlignHCenter);
    tpl->addWidget(lblPitch, 2, 1, Qt::AlignHCenter);
    tpl->setRowStretch(1, 1);
    middle->addWidget(tp);
    // Volume and mixer.
    auto* f5 = new QGridLayout(Frame5);
    f5->addWidget(sldVolume, 0, 0, Qt::AlignHCenter);
    f5->addWidget(Comout, 0, 1, Qt::AlignCenter);
    f5->addWidget(lblVolPitch, 1, 0, Qt::AlignHCenter);
    f5->setRowStretch(0, 1);
    middle->addWidget(Frame5);
    // BPM and beats.
    auto* bpm = named(new QGroupBox("BPM", central), "grpBpm");
    auto* bl = new QVBoxLayout(bpm);
    bl->addWidget(lblBPM);
    bl->addWidget(lblBeat);
    auto* periodRow = new QHBoxLayout;
    periodRow->addWidget(chkBPMCallback);
    periodRow->addWidget(txtPeriod);
    periodRow->addStretch();
    bl->addLayout(periodRow);
    bl->addWidget(chkBeat);
    bl->addWidget(pbProcess);
    bl->addStretch();
    middle->addWidget(bpm, 1);
    root->addLayout(middle, 1);

    auto* effects = new QHBoxLayout;
    // Vocal remover.
    auto* f2 = new QGridLayout(Frame2);
    f2->addWidget(Chkrem, 0, 0, Qt::AlignCenter);
    f2->addWidget(vcompr[0], 0, 1, 2, 1, Qt::AlignHCenter);
    f2->addWidget(LblRem, 1, 0, Qt::AlignCenter);
    effects->addWidget(Frame2);
    // Equalizer.
    auto* eq = named(new QGroupBox("Equalizer", central), "grpEqualizer");
    auto* el = new QGridLayout(eq);
    auto* switches = new QVBoxLayout;
    switches->addWidget(Label1);
    switches->addWidget(CEq, 0, Qt::AlignLeft);
    switches->addWidget(Label5);
    switches->addWidget(chkEqualizer);
    switches->addStretch();
    el->addLayout(switches, 0, 0);
    auto* f1 = new QGridLayout(Frame1);
    const char* hz[] = {"80", "200", "1.5k", "4k", "7.5k", "10k", "12k"};
    for (int i = 0; i < 7; ++i) {
        f1->addWidget(sldEQ[i], 0, i, Qt::AlignHCenter);
        auto* l = new QLabel(hz[i], Frame1);
        l->setObjectName(QString("lblHz_%1").arg(i));
        l->setAlignment(Qt::AlignCenter);
        f1->addWidget(l, 1, i);
    }
    f1->addWidget(Label2, 2, 0, 1, 2, Qt::AlignHCenter);
    f1->addWidget(Label3, 2, 2, 1, 3, Qt::AlignHCenter);
    f1->addWidget(Label4, 2, 5, 1, 2, Qt::AlignHCenter);
    el->addWidget(Frame1, 0, 1);
    el->setColumnStretch(1, 1);
    effects->addWidget(eq, 1);
    root->addLayout(effects, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(Label6);
    bottom->addStretch();
    bottom->addWidget(Combo2);
    bottom->addWidget(prog);
    root->addLayout(bottom);

    setCentralWidget(central);
    // Roughly the designed 13500 x 7815 twips at 96 dpi; Qt scales it on high-DPI screens.
    resize(900, 620);
}

void frmWriteWave::buildMenus() {
    cvmenu = menuBar()->addMenu("Tools");
    cvmenu->setObjectName("cvmenu");
    cdripper = named(cvmenu->addAction("&Load From  CD Audio"), "cdripper");
    wavp3 = named(cvmenu->addAction("Wav to Mp3"), "wavp3");
    Snorma = named(cvmenu->addAction("Normalize"), "Snorma");
    cvmenu->addSeparator();
    Mnuexit = named(cvmenu->addAction("Exit"), "Mnuexit");
    mnuconf = menuBar()->addMenu("&Options");
    mnuconf->setObjectName("mnuconf");
    Mmp3 = named(mnuconf->addAction("&Mp3 Setup"), "Mmp3");
    Savec = named(mnuconf->addAction("Save Configuration"), "Savec");
    Shelp = named(menuBar()->addAction("Help"), "Shelp");
    Sabout = named(menuBar()->addAction("About"), "Sabout");
}

void frmWriteWave::connectHandlers() {
    connect(btnLoadFile, &QPushButton::clicked, this, &frmWriteWave::btnLoadFile_Click);
    connect(CmdPlay, &QPushButton::clicked, this, &frmWriteWave::CmdPlay_Click);
    connect(CmdStop, &QPushButton::clicked, this, &frmWriteWave::CmdStop_Click);
    connect(sldPosition, &QSlider::valueChanged, this, &frmWriteWave::sldPosition_Change);
    connect(sldVolume, &Slider::scrolled, this, &frmWriteWave::sldVolume_Scroll);
    connect(sldTempo[0], &Slider::scrolled, this, [this] { sldTempo_Scroll(0); });
    connect(sldTempo[2], &Slider::scrolled, this, [this] { sldTempo_Scroll(2); });
    connect(lblTempo, &ClickLabel::clicked, this, &frmWriteWave::lblTempo_Click);
    connect(lblPitch, &ClickLabel::clicked, this, &frmWriteWave::lblPitch_Click);
    connect(chkBPMCallback, &QCheckBox::toggled, this, &frmWriteWave::chkBPMCallback_Click);
    connect(chkBeat, &QCheckBox::toggled, this, &frmWriteWave::chkBeat_Click);
    connect(Chkrem, &QPushButton::toggled, this, &frmWriteWave::Chkrem_Click);
    connect(vcompr[0], &QSlider::valueChanged, this, [this] { vcompr_Change(0); });
    connect(CEq, &QPushButton::toggled, this, &frmWriteWave::CEq_Click);
    connect(chkEqualizer, &QCheckBox::toggled, this, &frmWriteWave::chkEqualizer_Click);
    for (int i = 0; i < 7; ++i) {
        connect(sldEQ[i], &QSlider::valueChanged, this, [this, i] { sldEQ_Change(i); });
        connect(sldEQ[i], &Slider::scrolled, this, [this, i] { sldEQ_Scroll(i); });
    }
    connect(btnConvert, &QPushButton::clicked, this, &frmWriteWave::btnConvert_Click);
    connect(Comout, &QPushButton::clicked, this, &frmWriteWave::openMixer);
    connect(Label6, &ClickLabel::clicked, this, &frmWriteWave::mailContact);

    for (QAction* a : {cdripper, wavp3, Snorma})
        connect(a, &QAction::triggered, this, [this, a] { openToolWindow(a); });
    connect(Mnuexit, &QAction::triggered, this, &frmWriteWave::Form_Unload);
    connect(Mmp3, &QAction::triggered, this, [this] { Combo2->setVisible(true); });
    connect(Combo2, &QComboBox::activated, this, &frmWriteWave::Combo2_Click);
    connect(Shelp, &QAction::triggered, this, [this] { formp3::showSingle(this); });
    connect(Sabout, &QAction::triggered, this, [] { frmAbout::showSingle(); });
}

bool frmWriteWave::Form_Load() {
    programFolder = platform::Platform::instance().programFolder();
    QDir::setCurrent(QString::fromStdString(programFolder));

    const DWORD version = engineVersionSource()();
    if ((version >> 16) != BASSVERSION) {
        platform::message("An incorrect version of BASS.DLL was loaded", kAppTitle,
                          platform::Icon::Critical);
        unloading_ = true;  // the program ends here, without the shutdown steps
        platform::Platform::instance().exitProgram(1);
        return false;
    }
    Mp3BitRate = 128000;
    return true;
}

void frmWriteWave::Error_(const std::string& message) {
    platform::message(message + "\n\nError Code : " + std::to_string(BASS_ErrorGetCode()), "Error",
                      platform::Icon::Exclamation);
}

bool frmWriteWave::restartEngine() {
    BASS_Free();
    if (BASS_Init(-1, 44100, 0, this, nullptr)) return true;
    std::fprintf(stderr,
                 "quorvin-audio-tools: no sound output could be opened; start the program with "
                 "--null-output to use it without sound\n");
    Error_("Can't initialize device");
    platform::Platform::instance().exitProgram(1);
    return false;
}

void frmWriteWave::Form_Unload() {
    if (unloading_) return;
    if (MEnc1 && MEnc1->isEncoding()) {
        // The save below us is encoding on a thread: stop it, so that no partial MP3 is left,
        // and end the program when its Encode has returned.
        closeWhenEncoderReturns_ = true;
        MEnc1->StopEncoding();
        return;
    }
    unloading_ = true;
    positionTimer_->stop();
    EndProcess();
    BASS_Free();
    PlayChannel = 0;
    BpmChannel = 0;
    platform::Platform::instance().exitProgram(0);
}

void frmWriteWave::closeEvent(QCloseEvent* e) {
    Form_Unload();
    if (closeWhenEncoderReturns_ && !unloading_)
        e->ignore();
    else
        e->accept();
}

void frmWriteWave::setToolsEnabled(bool enabled) {
    cvmenu->menuAction()->setEnabled(enabled);
}

void frmWriteWave::openToolWindow(QAction* item) {
    // The tool windows are modal; "Process" stays off until the next Stop.
    btnConvert->setEnabled(false);
    if (item == cdripper) {
        cd::FrmDemo window(nullptr);
        window.exec();
    } else if (item == wavp3) {
        mp3::Form1 window(this);
        window.exec();
    } else if (item == Snorma) {
        Form11* window = Form11::instance();
        window->exec();
    }
}

void frmWriteWave::openMixer() {
    if (!platform::Platform::instance().startMixer())
        platform::message("No volume mixer was found on this system.", kTitle,
                          platform::Icon::Information);
}

void frmWriteWave::mailContact() {
    platform::Platform::instance().openUrl(std::string("mailto:") + kContact +
                                           "?subject=(Informazioni Quorvin Audio Tools 1.0 )");
}
