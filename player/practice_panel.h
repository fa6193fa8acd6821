// The practice tools beside the transport: the song's named loops (the A-B loop is the current
// one of the list), its named markers and the position last played, kept per song by the song
// store and restored when the song is loaded again; the speed trainer (on a loop: a start tempo,
// a step in percent every so many passes, up to a target); and the count-in (1-8 clicks at the
// song's tempo on its beat grid, before Play and, if asked, before each pass of the loop).
// Window thread only; the song's key and record, and the beat grid, are found on workers, and the
// record is written on one.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "player/beat_grid.h"
#include "player/session.h"
#include "songs/song_store.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace player {

class TempoPitchPanel;
class TransportPanel;
class WaveformView;

struct PracticeWidgets {
    QComboBox* cboLoops;  // the song's loops; the current one is the A-B loop
    QPushButton* cmdLoopAdd;
    QPushButton* cmdLoopDelete;
    QCheckBox* chkProcessLoop;  // "Loop only": on while a loop with both ends is chosen
    QComboBox* cboMarkers;      // the position last played, then the song's markers
    QPushButton* cmdMarker;
    QPushButton* cmdMarkerDelete;  // the marker chosen in cboMarkers out of the list
    QCheckBox* chkTrainer;
    QSpinBox* spnTrainerStart;   // tempo, %
    QSpinBox* spnTrainerStep;    // %
    QSpinBox* spnTrainerEvery;   // passes
    QSpinBox* spnTrainerTarget;  // tempo, %
    QSpinBox* spnCountIn;        // clicks, 0: none
    QCheckBox* chkCountInLoop;   // also before each pass of the loop
    QLabel* lblPracticeNote;     // what the store had to say
    WaveformView* wavOverview;   // shows the markers
};

// Looks a file's song up in the store off the window thread (its key reads the file's first and
// last megabyte, which may wait on a slow drive), one file at a time, as the beat grid is found.
class SongLookup {
  public:
    using Done = std::function<void(songs::SongKey, songs::SongStore::Loaded)>;
    SongLookup() = default;
    ~SongLookup() { cancel(); }
    SongLookup(const SongLookup&) = delete;
    SongLookup& operator=(const SongLookup&) = delete;

    // Cancels the one under way and looks `utf8Path` up in `store`; `done` runs on the window
    // thread unless cancelled first. Window thread.
    void start(const std::string& utf8Path, const songs::SongStore& store, Done done);
    void cancel();
    // Off the window thread and on its own: looks `utf8Path` up and keeps `made` (what the user
    // made for the song before its lookup ended) with the song's record, as a finished lookup
    // would. For a lookup cancelled by the next file.
    static void keepMade(const std::string& utf8Path, const songs::SongStore& store,
                         songs::SongRecord made);

  private:
    std::shared_ptr<std::atomic<bool>> cancel_;
};

class PracticePanel {
  public:
    PracticePanel(Session& session, const PracticeWidgets& widgets, TransportPanel& transport,
                  TempoPitchPanel& tempoPitch, songs::SongStore store = songs::SongStore());
    PracticePanel(const PracticePanel&) = delete;
    PracticePanel& operator=(const PracticePanel&) = delete;

    // A file was loaded: its loops, markers and last position come back from the store when its
    // lookup ends (what the user made meanwhile is kept beside them), and its beat grid is looked
    // for.
    void fileLoaded(const std::string& path);
    // The transport's hooks.
    void playStarted();
    void loopChanged(double a, double b);
    void loopCleared();
    void stopping(double seconds);
    // The window's timer: the tempo the trainer set shows on the tempo slider.
    void follow();
    // Hands what is to be kept to the store, which writes it off the window thread in the order
    // asked (the program's end waits for it).
    void save();
    // The user set the BPM shown to the detected one times 2^octave: kept with the song.
    void setBpmOctave(int octave);
    // Called with the octave kept for the song once its lookup ends (0 when none was kept).
    std::function<void(int)> bpmOctaveFound;

    void cboLoops_Click(int index);
    void cboLoops_Rename();
    void cmdLoopAdd_Click();
    void cmdLoopDelete_Click();
    void cmdMarker_Click();
    void cmdMarkerDelete_Click();
    void cboMarkers_Click(int index);
    void cboMarkers_Rename();
    void chkTrainer_Click();
    // The trainer's numbers changed: while it runs, the next wrap steps by them.
    void spnTrainer_Change();
    void spnCountIn_Change();

    const songs::SongRecord& record() const { return record_; }
    // The passage "Process" renders when "Loop only" is checked: the loop chosen in the list.
    std::optional<songs::Loop> loopToProcess() const;
    // The loaded file's beat grid, once its worker has found it.
    const BeatGrid& beatGrid() const { return grid_; }

  private:
    void showLoops();
    void showMarkers();
    // The marker chosen in cboMarkers (an index of the record's markers), or -1.
    int chosenMarker() const;
    void songFound(songs::SongKey key, songs::SongStore::Loaded loaded);
    void armTrainer(bool fromStart = true);
    void setCountIn(bool startNow);
    void note(const std::string& text);

    Session& s_;
    PracticeWidgets w_;
    TransportPanel& transport_;
    TempoPitchPanel& tempoPitch_;
    songs::SongStore store_;
    songs::SongKey key_;
    songs::SongRecord record_;
    songs::SongRecord saved_;  // the record as last read from the store or written to it
    BeatGrid grid_;
    BeatGridWorker gridWorker_;
    SongLookup lookup_;
    std::string path_;  // the file loaded
    float shownTempo_ = 0.0f;
    // For the store's writes: a failure's note reaches the panel only while it lives.
    std::shared_ptr<PracticePanel*> self_ = std::make_shared<PracticePanel*>(this);
};

}  // namespace player
