// The key of an engine channel or of a file the engine plays, through the key estimator of
// analysis/key_detect.h, and the chords of a channel (analysis/chord_detect.h).
//
// Threads: any thread; meant for a background one (a whole file is decoded).
#pragma once

#include <atomic>
#include <optional>
#include <string>

#include <vector>

#include "analysis/chord_detect.h"
#include "analysis/key_detect.h"
#include "engine/bass.h"

namespace engine {

// The key of a decoding channel from its current position to its end (the position is left at
// the end). Nothing when the channel is not a decoding channel, holds no pitched sound or when
// `*cancel` became true.
std::optional<analysis::key::KeyEstimate> estimateKey(
    DWORD decodeChannel, std::atomic<bool>* cancel, const analysis::key::ProgressFn& progress = {});

// The chords of a decoding channel from its current position to its end, their times counted
// from that position (the position is left at the end). Nothing when the channel is not a decoding
// channel or when `*cancel` became true. `key`, when given, receives the key of the same audio
// (nothing when it holds no pitched sound), found in the same decoding.
std::optional<std::vector<analysis::chords::ChordSpan>> estimateChords(
    DWORD decodeChannel, std::atomic<bool>* cancel, const analysis::key::ProgressFn& progress = {},
    std::optional<analysis::key::KeyEstimate>* key = nullptr);

// The key of the file at `utf8Path` (any file the engine plays). Nothing when it cannot be
// opened (the engine's error code says why), holds no pitched sound or when cancelled.
std::optional<analysis::key::KeyEstimate> estimateKey(
    const std::string& utf8Path, std::atomic<bool>* cancel = nullptr,
    const analysis::key::ProgressFn& progress = {});

}  // namespace engine
