// What the panels of the main window share: the loaded file, the channels built from it, and
// where work files go. One object, owned by the main window and handed to every panel.
// Window thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "effects/chain.h"
#include "engine/bass.h"

namespace player {

// The program's name in message box titles.
inline constexpr const char* kTitle = "Quorvin Audio Tools";
inline constexpr const char* kAppTitle = "Quorvin Audio Tools 1.0";

// The design's state keeps the design's names (PlayChannel, CmdFileName, ...; docs/names.md), which
// the panels share; what the program added beside it has its own names.
struct Session {
    // --- the design's state
    HSTREAM PlayChannel = 0;  // the tempo channel that sounds (or the render's channel)
    HSTREAM BpmChannel = 0;   // decoding stream of the same file for BPM detection
    // The file chosen with the open dialog: full path and title (name without folder).
    std::string CmdFileName;
    std::string CmdFileTitle;
    int32_t Mp3BitRate = 0;  // bits per second of an MP3 save ("&Mp3 Setup")

    // --- the program's own
    // The loaded file's channel count, read when it is loaded (0: it could not be read).
    int fileChannels = 0;
    // The work folder (Platform::programFolder); no trailing separator.
    std::string programFolder;
    bool following = false;  // the position display follows playback

    // What the controls ask to hear: the panels change it and call applyChain(), never the
    // engine's effects themselves. It goes on the play channel (playEffects, bound at Play), or
    // while "Process" runs, on the render (which sets renderChain for that time).
    effects::Chain chain;
    effects::ChainApplier playEffects;
    std::function<void(const effects::Chain&)> renderChain;
    void applyChain();

    // The vocal remover works on two channels only.
    bool stereoFile() const { return fileChannels == 2; }
    // The work file of a render: "newwave.wav" in the work folder.
    std::string workFile() const;
    // Removes every work file the program writes to the work folder (a render's, a CD
    // extraction's); a missing file is no error. The user's saved files are elsewhere.
    void removeWorkFiles() const;
};

}  // namespace player
