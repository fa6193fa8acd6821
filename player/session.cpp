#include "player/session.h"

#include "files/paths.h"

namespace player {

std::string Session::workFile() const {
    return files::RPP(programFolder) + "newwave.wav";
}

void Session::applyChain() {
    if (renderChain)
        renderChain(chain);
    else
        playEffects.apply(chain);
}

}  // namespace player
