#include "player/session.h"

#include <filesystem>
#include <system_error>

#include "files/file_io.h"
#include "files/paths.h"

namespace player {

std::string Session::workFile() const {
    return files::RPP(programFolder) + "newwave.wav";
}

void Session::removeWorkFiles() const {
    // The render's work file, the normaliser's, and the CD window's extracted track.
    const std::filesystem::path folder = files::pathFromUtf8(programFolder);
    for (const char* name : {"newwave.wav", "newnorm.wav", "TRACK.WAV"}) {
        std::error_code ignored;
        std::filesystem::remove(folder / name, ignored);
    }
}

void Session::applyChain() {
    if (renderChain)
        renderChain(chain);
    else
        playEffects.apply(chain);
}

}  // namespace player
