// Measures of the practice tools on a decoding tempo channel, shared by the tests and the bench:
// where the speed trainer's steps land against the loop's wraps, and where clicks start.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/bass.h"
#include "engine/engine_ext.h"

namespace practice {

struct TrainerRun {
    std::vector<int64_t> wraps;       // output frames at which the position went back
    std::vector<int64_t> tempoSteps;  // output frames at which the tempo changed
    std::vector<float> tempos;        // the tempo after each change
};

// Pulls `frames` frames of `tempoChannel` one at a time.
inline TrainerRun runTrainer(DWORD tempoChannel, int64_t frames) {
    TrainerRun run;
    int16_t frame[8];
    QWORD last = BASS_ChannelGetPosition(tempoChannel);
    engine::LoopPractice state;
    engine::getLoopPractice(tempoChannel, &state);
    float tempo = state.tempoPercent;
    for (int64_t i = 0; i < frames; ++i) {
        if (BASS_ChannelGetData(tempoChannel, frame, 4) <= 0) break;
        const QWORD pos = BASS_ChannelGetPosition(tempoChannel);
        if (pos < last) run.wraps.push_back(i);
        last = pos;
        engine::getLoopPractice(tempoChannel, &state);
        if (state.tempoPercent != tempo) {
            tempo = state.tempoPercent;
            run.tempoSteps.push_back(i);
            run.tempos.push_back(tempo);
        }
    }
    return run;
}

// The frames of a mono view of interleaved `samples` at which the level first rises above
// `threshold` after `quiet` frames below it.
inline std::vector<int64_t> onsets(const std::vector<int16_t>& samples, int chans, int threshold,
                                   int64_t quiet) {
    std::vector<int64_t> found;
    int64_t below = quiet;
    for (size_t i = 0; i * chans < samples.size(); ++i) {
        if (std::abs(int(samples[i * chans])) > threshold) {
            if (below >= quiet) found.push_back(int64_t(i));
            below = 0;
        } else {
            ++below;
        }
    }
    return found;
}

}  // namespace practice
