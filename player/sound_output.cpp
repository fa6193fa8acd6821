#include "player/sound_output.h"

#include <QCoreApplication>

#include "engine/bass.h"
#include "engine/engine_ext.h"
#include "platform/platform.h"
#include "player/session.h"

namespace player {

namespace {
bool withoutSound = false;
}  // namespace

bool openSoundOutput(const std::function<void()>& sayFailure) {
    for (;;) {
        BASS_Free();
        if (BASS_Init(-1, 44100, 0, nullptr, nullptr)) return true;
        sayFailure();
        const platform::Answer choice = platform::message(
            QCoreApplication::translate("player",
                                        "No sound device could be opened. You can go on without "
                                        "sound (nothing is heard), or connect a device and try "
                                        "again.")
                .toStdString(),
            kTitle, platform::Icon::Question, platform::Buttons::NoSoundDevice);
        if (choice == platform::Answer::Cancel) return false;
        if (choice == platform::Answer::Ok) {
            // Every later start of the output, in any window, takes the null output.
            engine::setOutputKind(engine::OutputKind::NullClock);
            withoutSound = true;
        }
    }
}

bool playingWithoutSound() {
    return withoutSound && engine::outputKind() == engine::OutputKind::NullClock;
}

}  // namespace player
