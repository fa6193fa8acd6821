// BPM and beat detection on engine channels: the BASS_FX_BPM_ operations (declared in
// engine/bass.h) and what they keep per handle.
//
// - BASS_FX_BPM_DecodeGet reads the window of a decoding channel on the calling thread, with
//   progress reported on that thread, and keeps the result for the handle. With
//   BASS_FX_BPM_BKGRND it checks its arguments, returns 0 at once (BASS_OK) and reads the window on
//   the module's detection thread, which reports the progress; one detection at a time, in the
//   order asked. Either way the progress runs from 0 to 100, and 100 comes once the BPM found (0
//   for none) is kept. A detection of the same handle still under way is cancelled first (the
//   call waits for the block it reads): a cancelled detection keeps nothing and reports no more.
//   The channel's position is put back where it was, so the handle can be used again. With
//   BASS_FX_FREESOURCE the channel stays usable for later detections and translations and is
//   freed by BASS_FX_BPM_Free (or when someone frees it first). minMax 0 means 60..180 BPM. A
//   window reaching before 0 or past the end is cut to the stream.
// - Periodic BPM and beat reporting tap the channel's audio with a DSP procedure at the highest
//   priority, before the channel's effects (it only copies into a lock-free ring) and analyse it on
//   one worker thread of this module, which calls the BPM and beat procedures. A tempo channel is
//   tapped on its source, before the stretcher (a second procedure on the tempo channel counts the
//   frames played for the periods). The BPM given (and kept) is the tempo on the channel's own
//   timeline: for a tempo channel, the source's tempo, which BASS_FX_BPM_Translate turns into the
//   tempo at the current speed. Beat positions are seconds on the channel's timeline (for a tempo
//   channel, its source's) and never run backwards, except where the timeline jumps: a seek starts
//   the beat tracking again from there; an A-B loop's wrap keeps the tempo and the beat grid found
//   so far, so beats go on inside a loop shorter than the tracking needs to start (about 3 s). No
//   beat heard before a jump is delivered after it. A period of 0 or less is refused
//   (BASS_ERROR_ILLPARAM).
// - BASS_FX_BPM_Free, BASS_FX_BPM_BeatFree, a new CallbackSet / BeatCallbackSet and the freeing
//   of the channel wait for a procedure call in progress: no call for the old setting starts after
//   they return. BASS_FX_BPM_Free and the freeing of the channel also cancel its detections in the
//   background (one on a caller's thread reads until the channel is gone). Called
//   from inside a procedure they do not wait (the call in progress is the caller's own). So a
//   procedure must not wait for a lock that the thread stopping it holds.
//
// Threads: the operations from any thread; procedures on the BPM worker (DecodeGet's progress on
// the caller's thread, or with BASS_FX_BPM_BKGRND on the detection thread).
#pragma once

#include "engine/bass.h"

namespace engine::bpm {

// Waits until the worker has analysed everything tapped so far and delivered the procedure calls
// that follow from it, at most `timeoutMs` milliseconds. False on timeout. For tests and tools
// that step the null output by hand.
bool waitForAnalysis(int timeoutMs);

// Whether a detection of BASS_FX_BPM_DecodeGet with BASS_FX_BPM_BKGRND is queued or running for
// `chan` (a report of 100 that arrives meanwhile is an earlier detection's). Any thread.
bool detecting(DWORD chan);

}  // namespace engine::bpm
