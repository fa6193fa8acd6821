// The process panel: "Process" (btnConvert) renders the loaded file with the window's tempo,
// pitch, vocal remover and equalizer into the work file, shows the progress (Pbregg) and the
// position, then EndProcess finishes the file, says "Done!" (followed by the render's note when
// a setting did not apply to the file) and saves it: as WAV, or as MP3
// through the encoder component MEnc1 when the source was MP3 (at the source's own bit rate, else
// the "&Mp3 Setup" choice in Combo2). A name typed with another format's extension (.wav, .flac,
// .ogg, .opus, .mp3) is saved in that format instead; the dialogs list those formats after their
// own. The engine wiring is render::RenderPipeline, shared with the command line.
//
// Threads: window thread only. The render's blocks are made on a RenderThread while the window
// answers (its controls change the render through the session's renderChain), the read-ahead
// thread lives inside RenderPipeline; the encoder's worker reports through MEnc1's signals, which
// arrive on the window thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "encode/formats.h"
#include "files/wave_header.h"
#include "player/session.h"
#include "render/render_pipeline.h"

class QAction;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace components {
class Mp3Encoder;
}  // namespace components

namespace render {

// The save dialog's filter: `own` (its first entry, "File Wave (*.wav)|*.wav"), then every other
// format a save writes (WAV, FLAC, MP3, Ogg Vorbis, Opus) but `ownFormat`.
std::string saveDialogFilter(const std::string& own, encode::Format ownFormat);
// The format a name typed in a save dialog asks for by its extension (without regard to case),
// among those a save writes; nothing for any other name, which keeps the dialog's own format.
std::optional<encode::Format> savedFormatOf(const std::string& name);

struct ProcessWidgets {
    QPushButton* btnConvert;
    QPushButton* btnLoadFile;  // off while a render or an MP3 save runs
    QLabel* lblPos;            // "Pos: " and the bytes rendered
    QProgressBar* Pbregg;
    QComboBox* Combo2;  // the "&Mp3 Setup" bit rates
    components::Mp3Encoder* MEnc1;
    QAction* mnuconf;  // the "&Options" menu's own action
    QAction* Mnuexit;
    QPushButton* cmdCancelProcess;  // beside Pbregg while a render runs
};

struct ProcessHooks {
    // Frees the engine and opens the output again; false when none was opened.
    std::function<bool()> restartEngine;
    // The "Tools" menu on or off.
    std::function<void(bool)> setToolsEnabled;
    // What the window's controls ask for.
    std::function<RenderSettings()> settings;
    // The render has started with `settings` (the window shows which effects are on).
    std::function<void(const RenderSettings&)> started;
    // The window is being closed: a running render stops at once.
    std::function<bool()> closing;
    // An MP3 save that the closing window stopped has returned: finish closing.
    std::function<void()> closeNow;
    // A render has ended: the BPM shows "BPM: 0.00".
    std::function<void()> clearBpm;
    // The render has stopped (finished, cut short or cancelled); its channels are still open.
    std::function<void()> ended;
};

class ProcessPanel {
  public:
    ProcessPanel(player::Session& session, const ProcessWidgets& widgets, ProcessHooks hooks);
    ~ProcessPanel();

    void btnConvert_Click();
    // Stops the render under way: its work file goes, nothing is saved, nothing is said.
    void cmdCancelProcess_Click();
    // Patches the work file's header with the audio written and closes it; after a finished
    // render says "Done!" and saves the result. Harmless when no render ran.
    void EndProcess();
    void SaveWave();
    // Encodes the work file to an MP3 the user names.
    void SaveAsMp3();
    // A choice in the "&Mp3 Setup" list.
    void Combo2_Click(int index);

    // Closing the window while a render or a save runs: the render stops after its block and
    // leaves no work file, an MP3 save's encoder is stopped (no partial MP3 is left), a copy or
    // tagging goes on to its end; true, and the window closes once the render or the save has
    // returned, through ProcessHooks::closeNow. False when neither runs.
    bool stopEncodingForClose();
    // The window waits for a render or a save to return.
    bool closingAfterSave() const { return closeWhenSaveReturns_; }

    // The source stream of the render under way (its equalizer counts what it clips); 0 when none.
    HSTREAM renderSource() const { return render_ ? render_->sourceStream() : 0; }

    // Where a render's work file stops growing (the WAV limit unless a test lowers it).
    void setMaxDataBytes(uint32_t bytes) { renderMaxDataBytes_ = bytes; }

  private:
    player::Session& s_;
    ProcessWidgets w_;
    ProcessHooks hooks_;
    std::unique_ptr<RenderPipeline> render_;
    RenderThread
        renderThread_;  // steps render_ while "Process" runs (declared after it: ends first)
    std::string SourceFileName;   // the source of the last MP3 save
    bool rendering = false;       // a render is running
    bool finished = false;        // a render has just completed; EndProcess says "Done!"
    bool cancelled_ = false;      // Cancel was pressed while the render ran
    uint32_t speakerMask_ = 0;    // the last render's source: where its channels go
    bool cutAtLimit_ = false;     // the last render stopped at the WAV size limit
    std::string said_;            // why the render stopped, as the window has just said it
    uint64_t renderPosition = 0;  // the render channel's position, in source bytes
    uint32_t renderMaxDataBytes_ = files::kMaxWaveDataBytes;
    bool closeWhenSaveReturns_ = false;
    bool savingFile_ = false;                // a save's copy or tagging runs off the window thread
    std::atomic<bool> stopEncoding_{false};  // the window closes: a save's encoding stops

    // What Load, the configuration, the tools and Exit do while a save runs: off, then on.
    void enableDuringSave(bool on);
    // Runs the render on its thread while the window answers, showing its progress; returns its
    // last step's outcome once it has ended, stopped or been cancelled.
    RenderPipeline::Step runRender();
    void showProgress();
    // A save's file step (copy, tags) off the window thread, which answers meanwhile.
    void runSaveStep(const std::function<void()>& step);
    // Saves the finished render at `to`, the name the user chose, in `format`: WAV copied, MP3
    // through MEnc1, FLAC, Ogg Vorbis or Opus encoded through a temporary beside `to`.
    void saveRenderAs(const std::string& to, encode::Format format);
    // Encodes the work file to the MP3 `to` through MEnc1, with the source's tags.
    void encodeMp3To(const std::string& to);
};

}  // namespace render
