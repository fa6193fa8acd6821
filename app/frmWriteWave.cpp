#include "app/frmWriteWave.h"

#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <cstdio>

#include "app/formp3.h"
#include "app/frmAbout.h"
#include "app/recent_files.h"
#include "app/window_memory.h"
#include "cd/frmDemo.h"
#include "components/mp3_encoder.h"
#include "dsp/equalizer_panel.h"
#include "dsp/vocal_remover_panel.h"
#include "effects/chain.h"
#include "engine/engine_ext.h"
#include "mp3/Form1.h"
#include "normaliser/Form11.h"
#include "platform/platform.h"
#include "platform/settings.h"
#include "platform/widgets.h"
#include "player/bpm_panel.h"
#include "player/practice_panel.h"
#include "player/sound_output.h"
#include "player/tempo_pitch_panel.h"
#include "player/transport_panel.h"
#include "player/waveform/waveform_view.h"
#include "render/process_panel.h"

namespace app {

namespace {

// Playback position display refresh.
constexpr int kFollowIntervalMs = 250;

// The bit rate chosen with "&Mp3 Setup".
const QString kMp3SetupKey = "mp3/setupBitRate";
// The sound options: "High quality render", "High quality playback" and "Keep bass".
const QString kHighQualityRenderKey = "sound/highQualityRender";
const QString kHighQualityPlaybackKey = "sound/highQualityPlayback";
const QString kKeepBassKey = "sound/keepBass";
const QString kKeepStereoKey = "sound/keepStereo";
const QString kStereoStrengthKey = "sound/keepStereoStrength";
const QString kStereoFromKey = "sound/keepStereoFromHz";
const QString kStereoToKey = "sound/keepStereoToHz";

}  // namespace

frmWriteWave::frmWriteWave(QWidget* parent) : QMainWindow(parent) {
    setObjectName("frmWriteWave");
    setWindowTitle(QString(35, ' ') +
                   tr("Quorvin Audio Tools Vers 1.0   www.quorvin-audio.example"));
    c_ = buildMainControls(this);
    recent_ = new RecentFiles(c_.mnuRecent, [this](const std::string& path) { openFile(path); });
    buildPanels();
    connectHandlers();
    positionTimer_ = new QTimer(this);
    positionTimer_->setInterval(kFollowIntervalMs);
    connect(positionTimer_, &QTimer::timeout, this, [this] {
        transport_->followPlayback();
        practice_->follow();
        equalizer_->followClipping();
    });
    positionTimer_->start();

    // Ctrl+O does not live on the Load button, whose text (and so its mnemonic) changes.
    auto* load = new QShortcut(player::kLoadKey, this);
    connect(load, &QShortcut::activated, this, [this] {
        if (c_.btnLoadFile->isEnabled()) c_.btnLoadFile->click();
    });
    // Exit works at any time, also while the Tools menu that holds it is off.
    addAction(c_.Mnuexit);
    QApplication::instance()->installEventFilter(this);

    auto* playStop = new QShortcut(kPlayStopKey, this);
    connect(playStop, &QShortcut::activated, this, [this] {
        if (c_.CmdPlay->isEnabled())
            c_.CmdPlay->click();
        else if (c_.CmdStop->isEnabled())
            c_.CmdStop->click();
    });
    // A tap counts when the key goes down (a button's own key clicks a tenth of a second later,
    // on a timer, which would blur the taps); held down, it does not repeat.
    auto* tap = new QShortcut(kTapKey, this);
    tap->setAutoRepeat(false);
    connect(tap, &QShortcut::activated, this, [this] { bpm_->cmdBpmTap_Click(); });
    for (const auto& [key, seconds] :
         {std::pair{kJumpBackKey, -kJumpSeconds}, std::pair{kJumpForwardKey, kJumpSeconds}}) {
        auto* jump = new QShortcut(key, this);
        connect(jump, &QShortcut::activated, this, [this, s = seconds] { transport_->jump(s); });
    }
    setAcceptDrops(true);
    platform::scrollWhenTooBig(this);
}

frmWriteWave::~frmWriteWave() {
    // No engine procedure may report to the panels once they are gone.
    BASS_Free();
    // Nor a control: the panels go before the controls do, whose going moves the focus (a loop
    // name being typed would be renamed by a panel no longer there).
    for (QObject* control : findChildren<QObject*>()) control->disconnect(this);
}

std::function<DWORD()>& frmWriteWave::engineVersionSource() {
    static std::function<DWORD()> source = [] { return BASS_GetVersion(); };
    return source;
}

void frmWriteWave::buildPanels() {
    bpm_ = std::make_unique<player::BpmPanel>(
        session_, player::BpmWidgets{c_.lblBPM, c_.lblBeat, c_.chkBPMCallback, c_.txtPeriod,
                                     c_.chkBeat, c_.pbProcess, c_.lblKey, c_.lblChord,
                                     c_.cmdBpmHalf, c_.cmdBpmDouble, c_.cmdBpmTap});
    tempoPitch_ = std::make_unique<player::TempoPitchPanel>(
        session_,
        player::TempoPitchWidgets{c_.sldTempo, c_.lblTempo, c_.lblPitch, c_.spnCents,
                                  c_.spnReferenceA},
        *bpm_, [this] { transport_->ShowPlayPosition(); });
    equalizer_ = std::make_unique<dsp::EqualizerPanel>(
        session_,
        dsp::EqualizerWidgets{c_.CEq, c_.Label5, c_.chkEqualizer, c_.sldEQ, c_.lblClipped});
    vocalRemover_ = std::make_unique<dsp::VocalRemoverPanel>(
        session_,
        dsp::VocalRemoverWidgets{c_.Chkrem, c_.LblRem, c_.vcompr, c_.chkKeepBass, c_.chkKeepStereo,
                                 c_.cboChannels, c_.spnStereoStrength, c_.spnStereoFrom,
                                 c_.spnStereoTo},
        *equalizer_);

    player::TransportHooks transportHooks;
    transportHooks.restartEngine = [this] { return restartEngine(); };
    transportHooks.closing = [this] { return unloading_; };
    transportHooks.setToolsEnabled = [this](bool on) { setToolsEnabled(on); };
    transportHooks.resetEffects = [this] {
        equalizer_->reset();
        vocalRemover_->default_();
    };
    transportHooks.fileLoaded = [this] {
        vocalRemover_->fileLoaded();
        recent_->add(session_.CmdFileName);
        practice_->fileLoaded(session_.CmdFileName);
    };
    transportHooks.playStarted = [this] {
        equalizer_->countClipping(session_.PlayChannel);
        if (c_.mnuHighQualityPlayback->isChecked()) applyPlaybackStretcher();
        vocalRemover_->playStarted();
        practice_->playStarted();
    };
    transportHooks.loopChanged = [this](double a, double b) { practice_->loopChanged(a, b); };
    transportHooks.loopCleared = [this] { practice_->loopCleared(); };
    transportHooks.stopping = [this](double seconds) { practice_->stopping(seconds); };
    transport_ = std::make_unique<player::TransportPanel>(
        session_,
        player::TransportWidgets{c_.btnLoadFile, c_.CmdPlay, c_.CmdStop, c_.btnConvert,
                                 c_.sldPosition, c_.lblPos, c_.sldVolume, c_.wavOverview,
                                 c_.cmdLoopA, c_.cmdLoopB, c_.cmdLoopClear, c_.CmdPause},
        *tempoPitch_, *bpm_, std::move(transportHooks));
    practice_ = std::make_unique<player::PracticePanel>(
        session_,
        player::PracticeWidgets{c_.cboLoops, c_.cmdLoopAdd, c_.cmdLoopDelete, c_.chkProcessLoop,
                                c_.cboMarkers, c_.cmdMarker, c_.cmdMarkerDelete, c_.chkTrainer,
                                c_.spnTrainerStart, c_.spnTrainerStep, c_.spnTrainerEvery,
                                c_.spnTrainerTarget, c_.spnCountIn, c_.chkCountInLoop,
                                c_.lblPracticeNote, c_.wavOverview},
        *transport_, *tempoPitch_);
    // The octave of the BPM shown is kept with the song.
    practice_->bpmOctaveFound = [b = bpm_.get()](int octave) { b->restoreOctave(octave); };
    bpm_->octaveChanged = [p = practice_.get()](int octave) { p->setBpmOctave(octave); };
    bpm_->chordsChanged = [view = c_.wavOverview](
                              const std::vector<analysis::chords::ChordSpan>& chords, int shift,
                              analysis::chords::Spelling spelling) {
        view->setChords(chords, shift, spelling);
    };

    render::ProcessHooks processHooks;
    processHooks.restartEngine = [this] { return restartEngine(); };
    // A render keeps the stretcher it began with: its choice is not offered meanwhile.
    processHooks.setToolsEnabled = [this](bool on) {
        setToolsEnabled(on);
        c_.mnuHighQuality->setEnabled(on);
    };
    processHooks.settings = [this] {
        // What is heard is what is saved: the chain the controls have built.
        render::RenderSettings settings;
        settings.chain = session_.chain;
        settings.highQuality = c_.mnuHighQuality->isChecked();
        if (const std::optional<songs::Loop> loop = practice_->loopToProcess()) {
            settings.fromSeconds = loop->start;
            settings.toSeconds = loop->end;
        }
        return settings;
    };
    processHooks.started = [this](const render::RenderSettings& settings) {
        equalizer_->countClipping(process_->renderSource());
        if (settings.chain.remover == effects::Remover::Off && c_.CEq->isChecked())
            equalizer_->showActive();
    };
    processHooks.closing = [this] { return unloading_; };
    processHooks.closeNow = [this] { Form_Unload(); };
    processHooks.clearBpm = [b = bpm_.get()] { b->clearBpm(); };
    processHooks.ended = [this] { equalizer_->stopCounting(); };
    process_ = std::make_unique<render::ProcessPanel>(
        session_,
        render::ProcessWidgets{c_.btnConvert, c_.btnLoadFile, c_.lblPos, c_.Pbregg, c_.Combo2,
                               c_.MEnc1, c_.mnuconf->menuAction(), c_.Mnuexit, c_.cmdCancelProcess},
        std::move(processHooks));
}

void frmWriteWave::connectHandlers() {
    using platform::ClickLabel;
    using platform::Slider;
    player::TransportPanel* t = transport_.get();
    connect(c_.btnLoadFile, &QPushButton::clicked, this, [t] { t->btnLoadFile_Click(); });
    connect(c_.CmdPlay, &QPushButton::clicked, this, [t] { t->CmdPlay_Click(); });
    connect(c_.CmdStop, &QPushButton::clicked, this, [t] { t->CmdStop_Click(); });
    connect(c_.sldPosition, &QSlider::valueChanged, this, [t] { t->sldPosition_Change(); });
    connect(c_.sldVolume, &Slider::scrolled, this, [t] { t->sldVolume_Scroll(); });
    connect(c_.wavOverview, &player::WaveformView::seekRequested, this,
            [t](double seconds) { t->selectPlace(seconds); });
    connect(c_.wavOverview, &player::WaveformView::loopSelected, this,
            [t](double a, double b) { t->wavOverview_LoopSelected(a, b); });
    connect(c_.cmdLoopA, &QPushButton::clicked, this, [t] { t->cmdLoopA_Click(); });
    connect(c_.cmdLoopB, &QPushButton::clicked, this, [t] { t->cmdLoopB_Click(); });
    connect(c_.cmdLoopClear, &QPushButton::clicked, this, [t] { t->cmdLoopClear_Click(); });
    connect(c_.CmdPause, &QPushButton::clicked, this, [t] { t->CmdPause_Click(); });
    connectPractice();

    player::TempoPitchPanel* tp = tempoPitch_.get();
    connect(c_.sldTempo[0], &QSlider::valueChanged, this, [tp] { tp->sldTempo_Change(0); });
    connect(c_.sldTempo[2], &QSlider::valueChanged, this, [tp] { tp->sldTempo_Change(2); });
    connect(c_.sldTempo[0], &Slider::scrolled, this, [tp] { tp->sldTempo_Scroll(0); });
    connect(c_.sldTempo[2], &Slider::scrolled, this, [tp] { tp->sldTempo_Scroll(2); });
    connect(c_.lblTempo, &ClickLabel::clicked, this, [tp] { tp->lblTempo_Click(); });
    connect(c_.lblPitch, &ClickLabel::clicked, this, [tp] { tp->lblPitch_Click(); });

    player::BpmPanel* b = bpm_.get();
    connect(c_.chkBPMCallback, &QCheckBox::toggled, this, [b] { b->chkBPMCallback_Click(); });
    connect(c_.chkBeat, &QCheckBox::toggled, this, [b] { b->chkBeat_Click(); });
    connect(c_.cmdBpmHalf, &QToolButton::clicked, this, [b] { b->cmdBpmHalf_Click(); });
    connect(c_.cmdBpmDouble, &QToolButton::clicked, this, [b] { b->cmdBpmDouble_Click(); });
    // On the press, as the key counts it: the moment the beat is felt.
    connect(c_.cmdBpmTap, &QToolButton::pressed, this, [b] { b->cmdBpmTap_Click(); });

    dsp::VocalRemoverPanel* vr = vocalRemover_.get();
    connect(c_.Chkrem, &QPushButton::toggled, this, [vr] { vr->Chkrem_Click(); });
    connect(c_.vcompr[0], &QSlider::valueChanged, this, [vr] { vr->vcompr_Change(0); });
    connect(c_.chkKeepBass, &QCheckBox::toggled, this, [vr] { vr->chkKeepBass_Click(); });
    connect(c_.chkKeepStereo, &QCheckBox::toggled, this, [vr] { vr->chkKeepStereo_Click(); });
    connect(c_.cboChannels, &QComboBox::activated, this,
            [vr](int index) { vr->cboChannels_Click(index); });
    for (QSpinBox* b : {c_.spnStereoStrength, c_.spnStereoFrom, c_.spnStereoTo})
        connect(b, &QSpinBox::valueChanged, this, [vr] { vr->spnStereo_Change(); });

    dsp::EqualizerPanel* eq = equalizer_.get();
    connect(c_.CEq, &QPushButton::toggled, this, [eq] { eq->CEq_Click(); });
    connect(c_.chkEqualizer, &QCheckBox::toggled, this, [eq] { eq->chkEqualizer_Click(); });
    for (int i = 0; i < 7; ++i) {
        connect(c_.sldEQ[i], &QSlider::valueChanged, this, [eq, i] { eq->sldEQ_Change(i); });
        connect(c_.sldEQ[i], &Slider::scrolled, this, [eq, i] { eq->sldEQ_Scroll(i); });
    }

    render::ProcessPanel* p = process_.get();
    connect(c_.btnConvert, &QPushButton::clicked, this, [p] { p->btnConvert_Click(); });
    connect(c_.cmdCancelProcess, &QPushButton::clicked, this, [p] { p->cmdCancelProcess_Click(); });
    connect(c_.Combo2, &QComboBox::activated, this, [this, p](int index) {
        p->Combo2_Click(index);
        platform::settings().setValue(kMp3SetupKey, session_.Mp3BitRate);
    });
    connect(c_.Comout, &QPushButton::clicked, this, &frmWriteWave::openMixer);
    connect(c_.Label6, &ClickLabel::clicked, this, &frmWriteWave::mailContact);

    for (QAction* a : {c_.cdripper, c_.wavp3, c_.Snorma})
        connect(a, &QAction::triggered, this, [this, a] { openToolWindow(a); });
    connect(c_.Mnuexit, &QAction::triggered, this, [this] {
        if (c_.CmdStop->isEnabled()) c_.CmdStop->click();  // playback stops first
        Form_Unload();
    });
    connect(c_.Mmp3, &QAction::triggered, this, [this] {
        c_.Combo2->setVisible(true);
        c_.Combo2->setFocus();
    });
    connect(c_.Savec, &QAction::triggered, this, &frmWriteWave::saveConfiguration);
    connect(c_.mnuHighQualityPlayback, &QAction::toggled, this,
            &frmWriteWave::applyPlaybackStretcher);
    connect(c_.Shelp, &QAction::triggered, this, [this] { formp3::showSingle(this); });
    connect(c_.Sabout, &QAction::triggered, this, [] { frmAbout::showSingle(); });
}

void frmWriteWave::connectPractice() {
    player::TempoPitchPanel* tp = tempoPitch_.get();
    connect(c_.spnCents, &QSpinBox::valueChanged, this, [tp] { tp->spnCents_Change(); });
    connect(c_.spnReferenceA, &QSpinBox::valueChanged, this, [tp] { tp->spnReferenceA_Change(); });
    player::PracticePanel* p = practice_.get();
    connect(c_.cboLoops, &QComboBox::activated, this, [p](int i) { p->cboLoops_Click(i); });
    connect(c_.cboLoops->lineEdit(), &QLineEdit::editingFinished, this,
            [p] { p->cboLoops_Rename(); });
    connect(c_.cmdLoopAdd, &QPushButton::clicked, this, [p] { p->cmdLoopAdd_Click(); });
    connect(c_.cmdLoopDelete, &QPushButton::clicked, this, [p] { p->cmdLoopDelete_Click(); });
    connect(c_.cboMarkers, &QComboBox::activated, this, [p](int i) { p->cboMarkers_Click(i); });
    connect(c_.cboMarkers->lineEdit(), &QLineEdit::editingFinished, this,
            [p] { p->cboMarkers_Rename(); });
    connect(c_.cmdMarker, &QPushButton::clicked, this, [p] { p->cmdMarker_Click(); });
    connect(c_.cmdMarkerDelete, &QPushButton::clicked, this, [p] { p->cmdMarkerDelete_Click(); });
    connect(c_.chkTrainer, &QCheckBox::toggled, this, [p] { p->chkTrainer_Click(); });
    for (QSpinBox* b : {c_.spnTrainerStep, c_.spnTrainerEvery, c_.spnTrainerTarget})
        connect(b, &QSpinBox::valueChanged, this, [p] { p->spnTrainer_Change(); });
    connect(c_.spnCountIn, &QSpinBox::valueChanged, this, [p] { p->spnCountIn_Change(); });
    connect(c_.chkCountInLoop, &QCheckBox::toggled, this, [p] { p->spnCountIn_Change(); });
}

bool frmWriteWave::Form_Load() {
    // The work folder; the current folder stays the user's, so relative names keep their meaning.
    session_.programFolder = platform::Platform::instance().programFolder();
    session_.removeWorkFiles();  // an earlier run's, left by a crash

    const DWORD version = engineVersionSource()();
    if ((version >> 16) != BASSVERSION) {
        platform::message(tr("An incorrect version of BASS.DLL was loaded").toStdString(),
                          player::kAppTitle, platform::Icon::Critical);
        endAfterFatalError();
        return false;
    }
    session_.Mp3BitRate = platform::settings().value(kMp3SetupKey, 128000).toInt();
    QSettings& stored = platform::settings();
    c_.mnuHighQuality->setChecked(stored.value(kHighQualityRenderKey, false).toBool());
    c_.mnuHighQualityPlayback->setChecked(stored.value(kHighQualityPlaybackKey, false).toBool());
    c_.chkKeepBass->setChecked(stored.value(kKeepBassKey, false).toBool());
    c_.chkKeepStereo->setChecked(stored.value(kKeepStereoKey, false).toBool());
    // The band's upper edge first: the lower one's maximum follows it.
    c_.spnStereoTo->setValue(stored.value(kStereoToKey, 8000).toInt());
    c_.spnStereoFrom->setValue(stored.value(kStereoFromKey, 120).toInt());
    c_.spnStereoStrength->setValue(stored.value(kStereoStrengthKey, 100).toInt());
    return true;
}

void frmWriteWave::Error_(const std::string& message) {
    platform::message(
        message + "\n\n" + tr("Error Code : ").toStdString() + std::to_string(BASS_ErrorGetCode()),
        tr("Error").toStdString(), platform::Icon::Exclamation);
}

bool frmWriteWave::restartEngine() {
    bpm_->channelsGone();
    const bool opened = player::openSoundOutput([this] {
        std::fprintf(stderr,
                     "quorvin-audio-tools: no sound output could be opened; start the program "
                     "with --null-output to use it without sound\n");
        Error_(tr("Can't initialize device").toStdString());
    });
    c_.lblNoSound->setVisible(player::playingWithoutSound());
    return opened;
}

void frmWriteWave::endAfterFatalError() {
    // The program ends here with status 1, without the shutdown steps (no output is open). Ending
    // closes the windows, and closing this one must not end it again with status 0.
    unloading_ = true;
    positionTimer_->stop();
    platform::Platform::instance().exitProgram(1);
}

void frmWriteWave::Form_Unload() {
    if (unloading_) return;
    if (process_->stopEncodingForClose()) return;  // ends once the stopped save has returned
    // A normalisation under way stops first, so that its temporary file goes; then the program
    // ends.
    if (normaliser::Form11::stopJob([this] {
            closingAfterNormalise_ = false;
            close();
        })) {
        closingAfterNormalise_ = true;
        return;
    }
    unloading_ = true;
    positionTimer_->stop();
    if (transport_->playing()) practice_->stopping(transport_->playSeconds());
    process_->EndProcess();
    BASS_Free();
    session_.PlayChannel = 0;
    session_.BpmChannel = 0;
    session_.removeWorkFiles();
    saveSoundOptions();
    WindowMemory::saveAll();
    platform::Platform::instance().exitProgram(0);
}

bool frmWriteWave::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() != QEvent::ShortcutOverride) return false;
    auto* key = static_cast<QKeyEvent*>(e);
    const bool space = key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier;
    // The arrows of the keypad too (they carry its modifier).
    const bool arrow = (key->key() == Qt::Key_Left || key->key() == Qt::Key_Right) &&
                       (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (!space && !arrow) return false;
    auto* control = qobject_cast<QWidget*>(watched);
    if (!control || control->window() != this) return false;
    // Buttons, check boxes, clickable labels, sliders and lists act on Space themselves, and
    // sliders, boxes, lists and text fields on the arrows: the key goes to them.
    const bool slidersAndLists = qobject_cast<QAbstractSlider*>(control) ||
                                 qobject_cast<QComboBox*>(control) ||
                                 qobject_cast<QAbstractItemView*>(control);
    // While nothing plays the arrows are every control's (a button's move to its neighbour).
    const bool ownsKey = space ? slidersAndLists || qobject_cast<QAbstractButton*>(control) ||
                                     qobject_cast<platform::ClickLabel*>(control)
                               : !transport_->playing() || slidersAndLists ||
                                     qobject_cast<QAbstractSpinBox*>(control) ||
                                     qobject_cast<QLineEdit*>(control) ||
                                     qobject_cast<QMenuBar*>(control);
    if (ownsKey) e->accept();
    return false;
}

void frmWriteWave::closeEvent(QCloseEvent* e) {
    Form_Unload();
    if ((process_->closingAfterSave() || closingAfterNormalise_) && !unloading_)
        e->ignore();
    else
        e->accept();
}

bool frmWriteWave::openFile(const std::string& path) {
    if (!c_.btnLoadFile->isEnabled()) return false;
    transport_->loadFile(path);
    return true;
}

// The "&Mp3 Setup" choice is stored when it is made: the rate in use since may be a source's.
void frmWriteWave::saveConfiguration() {
    saveSoundOptions();
    WindowMemory::saveAll();
}

void frmWriteWave::saveSoundOptions() {
    QSettings& stored = platform::settings();
    stored.setValue(kHighQualityRenderKey, c_.mnuHighQuality->isChecked());
    stored.setValue(kHighQualityPlaybackKey, c_.mnuHighQualityPlayback->isChecked());
    stored.setValue(kKeepBassKey, c_.chkKeepBass->isChecked());
    stored.setValue(kKeepStereoKey, c_.chkKeepStereo->isChecked());
    stored.setValue(kStereoStrengthKey, c_.spnStereoStrength->value());
    stored.setValue(kStereoFromKey, c_.spnStereoFrom->value());
    stored.setValue(kStereoToKey, c_.spnStereoTo->value());
}

void frmWriteWave::applyPlaybackStretcher() {
    // Only the channel that sounds; a render's channel follows "High quality render".
    BASS_CHANNELINFO info{};
    if (!BASS_ChannelGetInfo(session_.PlayChannel, &info) || (info.flags & BASS_STREAM_DECODE))
        return;
    engine::setTempoStretcher(session_.PlayChannel, c_.mnuHighQualityPlayback->isChecked()
                                                        ? engine::TempoStretcher::RubberBand
                                                        : engine::TempoStretcher::SoundTouch);
}

std::string frmWriteWave::droppedAudioFile(const QMimeData* data) const {
    if (!data || !data->hasUrls() || data->urls().size() != 1) return {};
    const QUrl url = data->urls().front();
    if (!url.isLocalFile()) return {};
    const std::string path = url.toLocalFile().toStdString();
    return player::isAudioFileName(path) ? path : std::string();
}

void frmWriteWave::dragEnterEvent(QDragEnterEvent* e) {
    if (c_.btnLoadFile->isEnabled() && !droppedAudioFile(e->mimeData()).empty())
        e->acceptProposedAction();
    else
        e->ignore();
}

void frmWriteWave::dragMoveEvent(QDragMoveEvent* e) {
    if (c_.btnLoadFile->isEnabled() && !droppedAudioFile(e->mimeData()).empty())
        e->acceptProposedAction();
    else
        e->ignore();
}

void frmWriteWave::dropEvent(QDropEvent* e) {
    const std::string path = droppedAudioFile(e->mimeData());
    if (path.empty() || !openFile(path)) {
        e->ignore();
        return;
    }
    e->acceptProposedAction();
}

void frmWriteWave::setToolsEnabled(bool enabled) {
    c_.cvmenu->menuAction()->setEnabled(enabled);
}

void frmWriteWave::openToolWindow(QAction* item) {
    // The tool windows are modal; "Process" stays off until the next Stop.
    c_.btnConvert->setEnabled(false);
    if (item == c_.cdripper) {
        cd::frmDemo window(nullptr);
        window.exec();
    } else if (item == c_.wavp3) {
        mp3::Form1 window(this);
        window.exec();
    } else if (item == c_.Snorma) {
        normaliser::Form11* window = normaliser::Form11::instance();
        window->exec();
    }
}

void frmWriteWave::openMixer() {
    if (!platform::Platform::instance().startMixer())
        platform::message(tr("No volume mixer was found on this system.").toStdString(),
                          player::kTitle, platform::Icon::Information);
}

void frmWriteWave::mailContact() {
    platform::Platform::instance().openUrl(std::string("mailto:") + kContact +
                                           "?subject=(Informazioni Quorvin Audio Tools 1.0 )");
}

}  // namespace app
