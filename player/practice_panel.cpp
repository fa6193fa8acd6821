#include "player/practice_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QThreadPool>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "engine/engine_ext.h"
#include "platform/window_thread.h"
#include "player/tempo_pitch_panel.h"
#include "player/transport_panel.h"
#include "player/waveform/waveform_view.h"

namespace player {

namespace {

QString minutesSeconds(double seconds) {
    const long whole = static_cast<long>(seconds);
    return QString("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QChar('0'));
}

// "Loop 3", "Marker 2": the first number not taken by a name of the list.
template <typename List>
std::string freeName(const List& list, const QString& word) {
    for (int n = 1;; ++n) {
        const std::string name = word.toStdString() + " " + std::to_string(n);
        bool taken = false;
        for (const auto& item : list) taken = taken || item.name == name;
        if (!taken) return name;
    }
}

// The song's kept record with what the user made while it was looked up: their loops and markers
// join the kept ones (renamed when a name is taken), and their current loop, last position and BPM
// octave win.
songs::SongRecord joinMade(songs::SongRecord kept, const songs::SongRecord& made) {
    for (songs::Loop l : made.loops) {
        if (std::any_of(kept.loops.begin(), kept.loops.end(),
                        [&](const songs::Loop& k) { return k.name == l.name; }))
            l.name = freeName(kept.loops, QCoreApplication::translate("frmWriteWave", "Loop"));
        kept.loops.push_back(l);
    }
    if (made.currentLoop >= 0)
        kept.currentLoop = int(kept.loops.size() - made.loops.size()) + made.currentLoop;
    for (songs::Marker m : made.markers) {
        if (std::any_of(kept.markers.begin(), kept.markers.end(),
                        [&](const songs::Marker& k) { return k.name == m.name; }))
            m.name = freeName(kept.markers, QCoreApplication::translate("frmWriteWave", "Marker"));
        kept.markers.push_back(m);
    }
    if (made.lastPosition > 0) kept.lastPosition = made.lastPosition;
    if (made.bpmOctave != 0) kept.bpmOctave = made.bpmOctave;
    return kept;
}

}  // namespace

void SongLookup::keepMade(const std::string& utf8Path, const songs::SongStore& store,
                          songs::SongRecord made) {
    QThreadPool::globalInstance()->start([utf8Path, store, made = std::move(made)]() mutable {
        const songs::SongKey key = songs::songKey(utf8Path);
        if (!key.valid()) return;
        // Read and written in the store's order, after the saves asked for before.
        platform::runInOrderOffWindowThread([key, store, made = std::move(made)] {
            songs::SongStore::Loaded loaded = store.load(key);
            if (const files::Result r = store.save(key, joinMade(std::move(loaded.record), made));
                !r)
                std::fprintf(stderr, "quorvin-audio-tools: %s\n", r.message.c_str());
        });
    });
}

void SongLookup::start(const std::string& utf8Path, const songs::SongStore& store, Done done) {
    cancel();
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    cancel_ = cancelled;
    QThreadPool::globalInstance()->start([utf8Path, store, cancelled, done = std::move(done)] {
        songs::SongKey key = songs::songKey(utf8Path);
        if (cancelled->load()) return;
        // The record is read after the saves asked for before, the last song's among them.
        platform::runInOrderOffWindowThread([key = std::move(key), store, cancelled, done] {
            if (cancelled->load()) return;
            songs::SongStore::Loaded loaded;
            if (key.valid()) loaded = store.load(key);
            platform::postToWindowThread([cancelled, key, loaded = std::move(loaded), done] {
                if (!cancelled->load()) done(key, loaded);
            });
        });
    });
}

void SongLookup::cancel() {
    if (cancel_) cancel_->store(true);
    cancel_.reset();
}

PracticePanel::PracticePanel(Session& session, const PracticeWidgets& widgets,
                             TransportPanel& transport, TempoPitchPanel& tempoPitch,
                             songs::SongStore store)
    : s_(session),
      w_(widgets),
      transport_(transport),
      tempoPitch_(tempoPitch),
      store_(std::move(store)) {}

void PracticePanel::note(const std::string& text) {
    w_.lblPracticeNote->setText(QString::fromStdString(text));
    w_.lblPracticeNote->setToolTip(QString::fromStdString(text));
    if (!text.empty()) std::fprintf(stderr, "quorvin-audio-tools: %s\n", text.c_str());
}

void PracticePanel::fileLoaded(const std::string& path) {
    // The song before was still being looked up: what the user made for it is kept all the same.
    if (!key_.valid() && !record_.empty() && !path_.empty())
        SongLookup::keepMade(path_, store_, std::move(record_));
    path_ = path;
    note({});
    key_ = {};
    record_ = {};
    saved_ = {};
    showLoops();
    showMarkers();
    lookup_.start(path, store_, [this](songs::SongKey key, songs::SongStore::Loaded loaded) {
        songFound(std::move(key), std::move(loaded));
    });
    grid_ = {};
    gridWorker_.start(path, [this](BeatGrid grid) {
        grid_ = std::move(grid);
        // Played before the grid was found: the loop's next passes are counted in now.
        if (transport_.playing()) setCountIn(false);
    });
}

void PracticePanel::songFound(songs::SongKey key, songs::SongStore::Loaded loaded) {
    key_ = std::move(key);
    const songs::SongRecord mine = std::move(record_);
    if (!loaded.note.empty()) note(loaded.note);
    saved_ = loaded.record;  // what the store held: the changes below are made to it
    record_ = joinMade(std::move(loaded.record), mine);
    if (bpmOctaveFound) bpmOctaveFound(record_.bpmOctave);
    showLoops();
    showMarkers();
    if (!mine.empty()) save();
    if (mine.currentLoop < 0 && record_.currentLoop >= 0) {
        const songs::Loop& l = record_.loops[size_t(record_.currentLoop)];
        if (l.set()) transport_.selectLoop(l.start, l.end);
    }
}

void PracticePanel::save() {
    if (!key_.valid()) return;
    const songs::SongRecord from = std::exchange(saved_, record_);
    // Written off the window thread, which never waits on a drive; a failure comes back as a note.
    // Another running copy of the program may have written the song since: what it made stays,
    // and only what was changed here since the last read or write goes in.
    platform::runInOrderOffWindowThread([store = store_, key = key_, from, to = record_,
                                         panel = std::weak_ptr<PracticePanel*>(self_)] {
        const songs::SongRecord stored = store.load(key).record;
        if (const files::Result r = store.save(key, songs::mergeChanges(stored, from, to)); !r)
            platform::postToWindowThread([panel, message = r.message] {
                if (const auto alive = panel.lock()) (*alive)->note(message);
            });
    });
}

void PracticePanel::setBpmOctave(int octave) {
    record_.bpmOctave = octave;
    save();
    if (transport_.playing()) setCountIn(false);  // the loop's passes count at the new beat
}

void PracticePanel::showLoops() {
    const QSignalBlocker quiet(w_.cboLoops);
    w_.cboLoops->clear();
    for (const songs::Loop& l : record_.loops) w_.cboLoops->addItem(QString::fromStdString(l.name));
    w_.cboLoops->setCurrentIndex(record_.currentLoop);
    w_.cmdLoopDelete->setEnabled(record_.currentLoop >= 0);
    w_.chkProcessLoop->setEnabled(record_.currentLoop >= 0 &&
                                  record_.loops[size_t(record_.currentLoop)].set());
}

std::optional<songs::Loop> PracticePanel::loopToProcess() const {
    if (!w_.chkProcessLoop->isChecked() || record_.currentLoop < 0) return std::nullopt;
    const songs::Loop& l = record_.loops[size_t(record_.currentLoop)];
    if (!l.set()) return std::nullopt;
    return l;
}

void PracticePanel::showMarkers() {
    const QSignalBlocker quiet(w_.cboMarkers);
    w_.cboMarkers->clear();
    std::vector<double> at;
    if (record_.lastPosition > 0)
        w_.cboMarkers->addItem(QCoreApplication::translate("frmWriteWave", "Last played %1")
                                   .arg(minutesSeconds(record_.lastPosition)),
                               record_.lastPosition);
    for (const songs::Marker& m : record_.markers) {
        w_.cboMarkers->addItem(QString::fromStdString(m.name), m.at);
        at.push_back(m.at);
    }
    w_.cboMarkers->setCurrentIndex(-1);
    w_.cmdMarkerDelete->setEnabled(false);
    w_.wavOverview->setMarkers(at);
}

int PracticePanel::chosenMarker() const {
    // The markers follow the "Last played" entry when there is one.
    const int index = w_.cboMarkers->currentIndex() - (record_.lastPosition > 0 ? 1 : 0);
    return index >= 0 && index < int(record_.markers.size()) ? index : -1;
}

void PracticePanel::loopChanged(double a, double b) {
    if (record_.currentLoop < 0) {
        record_.loops.push_back(
            {freeName(record_.loops, QCoreApplication::translate("frmWriteWave", "Loop")), a, b});
        record_.currentLoop = int(record_.loops.size()) - 1;
    } else {
        songs::Loop& l = record_.loops[size_t(record_.currentLoop)];
        l.start = a;
        l.end = b;
    }
    showLoops();
    save();
    if (transport_.playing()) {
        armTrainer();
        setCountIn(false);
    }
}

void PracticePanel::loopCleared() {
    if (record_.currentLoop < 0) return;
    record_.currentLoop = -1;  // the list keeps its loops; A and B mark a new one
    showLoops();
    save();
}

void PracticePanel::cboLoops_Click(int index) {
    if (index < 0 || index >= int(record_.loops.size())) return;
    record_.currentLoop = index;
    w_.cmdLoopDelete->setEnabled(true);
    const songs::Loop l = record_.loops[size_t(index)];
    w_.chkProcessLoop->setEnabled(l.set());
    save();
    if (l.set())
        transport_.selectLoop(l.start, l.end);
    else
        transport_.clearLoop();  // none loops until A and B mark this one
}

void PracticePanel::cboLoops_Rename() {
    if (record_.currentLoop < 0) return;
    const std::string name = w_.cboLoops->currentText().trimmed().toStdString();
    if (name.empty()) return;
    record_.loops[size_t(record_.currentLoop)].name = name;
    showLoops();
    save();
}

void PracticePanel::cmdLoopAdd_Click() {
    // A new loop: the passage looped now, or none until A and B mark it.
    songs::Loop l{freeName(record_.loops, QCoreApplication::translate("frmWriteWave", "Loop")), 0.0,
                  0.0};
    if (transport_.loopStart() < transport_.loopEnd()) {
        l.start = transport_.loopStart();
        l.end = transport_.loopEnd();
    }
    record_.loops.push_back(l);
    record_.currentLoop = int(record_.loops.size()) - 1;
    showLoops();
    save();
}

void PracticePanel::cmdLoopDelete_Click() {
    if (record_.currentLoop < 0) return;
    record_.loops.erase(record_.loops.begin() + record_.currentLoop);
    record_.currentLoop = record_.loops.empty() ? -1 : 0;
    showLoops();
    save();
    if (record_.currentLoop >= 0)
        cboLoops_Click(record_.currentLoop);
    else
        transport_.clearLoop();  // the last one went: no loop
}

void PracticePanel::cmdMarker_Click() {
    if (s_.CmdFileName.empty()) return;
    const double at = transport_.playing() ? transport_.playSeconds() : w_.wavOverview->position();
    if (!(at >= 0)) return;
    record_.markers.push_back(
        {freeName(record_.markers, QCoreApplication::translate("frmWriteWave", "Marker")), at});
    showMarkers();
    save();
}

void PracticePanel::cmdMarkerDelete_Click() {
    const int index = chosenMarker();
    if (index < 0) return;
    record_.markers.erase(record_.markers.begin() + index);
    showMarkers();
    save();
}

void PracticePanel::cboMarkers_Click(int index) {
    w_.cmdMarkerDelete->setEnabled(chosenMarker() >= 0);
    if (index < 0) return;
    // While nothing plays, where the next Play starts.
    transport_.selectPlace(w_.cboMarkers->itemData(index).toDouble());
}

void PracticePanel::cboMarkers_Rename() {
    const int index = chosenMarker();
    const std::string name = w_.cboMarkers->currentText().trimmed().toStdString();
    if (index < 0 || name.empty()) return;
    record_.markers[size_t(index)].name = name;
    showMarkers();
    save();
}

void PracticePanel::stopping(double seconds) {
    if (seconds >= 0) record_.lastPosition = seconds;
    showMarkers();
    save();
}

void PracticePanel::playStarted() {
    armTrainer();  // the trainer's starting tempo first: the count-in is counted at it
    setCountIn(true);
}

void PracticePanel::setCountIn(bool startNow) {
    // The beat the BPM shows: the tracker's grid at the octave the user set (½, ×2, Tap). A
    // faster beat puts beats between the grid's; a slower one keeps the grid's next beat as one.
    const double scale = std::ldexp(1.0, -record_.bpmOctave);
    const double beat = grid_.period * scale;
    auto toBeat = [&](double seconds) {
        const double next = grid_.toBeat(seconds);
        return scale < 1.0 ? std::fmod(next, beat) : next;
    };
    engine::CountIn c;
    c.clicks = grid_.known() ? w_.spnCountIn->value() : 0;
    c.beatSeconds = beat;
    c.startToBeat = toBeat(transport_.playStartSeconds());
    const bool looped = transport_.loopStart() < transport_.loopEnd();
    c.eachPass = looped && w_.chkCountInLoop->isChecked();
    c.loopStartToBeat = looped ? toBeat(transport_.loopStart()) : 0.0;
    c.startNow = startNow;
    engine::setCountIn(s_.PlayChannel, c);
}

void PracticePanel::spnCountIn_Change() {
    if (transport_.playing()) setCountIn(false);
}

void PracticePanel::armTrainer(bool fromStart) {
    const bool on = w_.chkTrainer->isChecked() && transport_.loopStart() < transport_.loopEnd();
    engine::LoopTrainer t;
    if (on) {
        t.stepPercent = static_cast<float>(w_.spnTrainerStep->value());
        t.everyPasses = w_.spnTrainerEvery->value();
        t.targetPercent = static_cast<float>(w_.spnTrainerTarget->value());
        if (fromStart) {
            tempoPitch_.showTempo(static_cast<float>(w_.spnTrainerStart->value()));
            shownTempo_ = s_.chain.tempoPercent;
        }
    }
    engine::setLoopTrainer(s_.PlayChannel, t);
}

void PracticePanel::chkTrainer_Click() {
    if (transport_.playing()) armTrainer();
}

void PracticePanel::spnTrainer_Change() {
    // The tempo reached so far stays; the passes are counted again from here.
    if (transport_.playing() && w_.chkTrainer->isChecked()) armTrainer(false);
}

void PracticePanel::follow() {
    if (!w_.chkTrainer->isChecked() || !transport_.playing()) return;
    engine::LoopPractice state;
    if (!engine::getLoopPractice(s_.PlayChannel, &state)) return;
    if (state.tempoPercent != shownTempo_) {
        shownTempo_ = state.tempoPercent;
        tempoPitch_.showTempo(state.tempoPercent);
    }
}

}  // namespace player
