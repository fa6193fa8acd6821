// The transport panel: "Load Audio File", Play, Stop, the play position slider with its time
// text, and the volume slider. Play builds Session::PlayChannel (a tempo channel over the loaded
// file) and starts the BPM detection; a timer of the main window calls followPlayback a few
// times a second. Window thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "player/session.h"

class QLabel;
class QPushButton;

namespace platform {
class Slider;
}  // namespace platform

namespace player {

class BpmPanel;
class TempoPitchPanel;

struct TransportWidgets {
    QPushButton* btnLoadFile;
    QPushButton* CmdPlay;
    QPushButton* CmdStop;
    QPushButton* btnConvert;  // "Process": available after Stop, not after Load
    platform::Slider* sldPosition;
    QLabel* lblPos;
    platform::Slider* sldVolume;
};

// What the panel asks of the rest of the window.
struct TransportHooks {
    // Frees the engine and opens the output again; false when the program has to end.
    std::function<bool()> restartEngine;
    // The "Tools" menu on or off (off while a file plays).
    std::function<void(bool)> setToolsEnabled;
    // Load, before the dialog: the equalizer and the vocal remover go off.
    std::function<void()> resetEffects;
    // Load, once a file was chosen: the effects are available for it.
    std::function<void()> fileLoaded;
    // Play, once the new channel sounds: the effects that are on are set on it.
    std::function<void()> playStarted;
};

// The extensions of the files the decoder reads (MP3 through libmpg123, the rest through
// libsndfile), lower case without the dot.
const std::vector<std::string>& audioExtensions();
// A name with one of those extensions (in any case).
bool isAudioFileName(const std::string& path);
// Load's dialog filter: every type the decoder reads first, then MP3 and WAV.
std::string loadDialogFilter();

class TransportPanel {
  public:
    TransportPanel(Session& session, const TransportWidgets& widgets, TempoPitchPanel& tempoPitch,
                   BpmPanel& bpm, TransportHooks hooks);

    // "Load Audio File": resets tempo, pitch and effects, deletes the work files, asks for a file.
    void btnLoadFile_Click();
    // The same steps with `path` instead of the dialog's answer (a file named on the command line
    // or dropped on the window).
    void loadFile(const std::string& path);
    void CmdPlay_Click();
    void CmdStop_Click();
    void sldPosition_Change();
    void sldVolume_Scroll();
    void ShowPlayPosition();
    // Moves the position slider and text to where playback is, without running the slider's
    // change handler.
    void followPlayback();

  private:
    void prepareLoad();
    void fileChosen(const std::string& path);

    Session& s_;
    TransportWidgets w_;
    TempoPitchPanel& tempoPitch_;
    BpmPanel& bpm_;
    TransportHooks hooks_;
};

}  // namespace player
