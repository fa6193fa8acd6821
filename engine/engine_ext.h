// Engine calls of our own, beside the BASS_ operations: choosing the output, driving the null
// output's clock in tests, and registering custom sources (CD tracks) as engine channels.
//
// Threads: setOutputKind before BASS_Init, from the controlling thread. nullOutputStep and
// nullOutputRead from one thread (a test's), which then runs what the engine's threads would.
// openFileSource and createSourceStream from any thread. See docs/threading.md.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/bass.h"

namespace engine {

// Output chosen by the next BASS_Init. Never chosen silently: a program that asks for the device
// and cannot open it gets 0 from BASS_Init.
enum class OutputKind {
    Device,      // PortAudio's default output
    NullClock,   // no sound; a thread consumes audio in real time (steady_clock)
    NullManual,  // no sound; audio is consumed only by nullOutputStep() (deterministic tests)
};
void setOutputKind(OutputKind kind);
OutputKind outputKind();

// NullManual: mix and consume `frames` output frames now, on the calling thread, as the output
// callback would (DSPs, syncs and BPM taps run as they would on the mixer thread). Returns the
// frames consumed (0 when not initialised with NullManual).
int64_t nullOutputStep(int64_t frames);
// NullManual: as nullOutputStep, and copies the mixed output (interleaved stereo float at
// 44100 Hz, `frames` frames) to `dst`, so tests can listen to what would have sounded.
int64_t nullOutputRead(float* dst, int64_t frames);
// Frames the output has consumed since BASS_Init (any output kind).
int64_t outputFramesPlayed();

// A source of 16-bit interleaved PCM that the engine wraps as a channel (file streams, CD tracks).
// Called from one thread at a time (the decoder worker or the reading thread), never from the
// output callback.
class Source {
  public:
    virtual ~Source() = default;
    virtual int rate() const = 0;
    virtual int channels() const = 0;
    virtual bool eightBit() const { return false; }  // samples are still delivered as 16-bit
    virtual int64_t lengthFrames() const = 0;        // exact length in frames
    // Reads up to `frames` frames; returns the number read, 0 at the end, -1 on a read error
    // (the engine then fires BASS_SYNC_CD_ERROR syncs and ends the channel).
    virtual int64_t read(int16_t* dst, int64_t frames) = 0;
    virtual bool seek(int64_t frame) = 0;
    virtual DWORD ctype() const { return BASS_CTYPE_STREAM; }
    // Error code to report when read() fails.
    virtual int lastError() const { return BASS_ERROR_UNKNOWN; }
};

// Registers `source` as a stream channel (flags: BASS_STREAM_DECODE, BASS_STREAM_AUTOFREE,
// BASS_SAMPLE_LOOP). Returns the handle; 0 (BASS_ERROR_INIT) for a playable stream when the
// output is not initialised. Decoding streams need no BASS_Init.
HSTREAM createSourceStream(std::unique_ptr<Source> source, DWORD flags);

// Opens an audio file (WAV, FLAC, Ogg through libsndfile; MP3 through libmpg123, gapless, with
// its exact length) as a Source of 16-bit samples, independent of BASS_Init and of the handle
// table: BASS_Free does not touch it. 8-bit files are delivered as 16-bit and eightBit() is false.
// An MP3 whose rate or channel count changes on the way is delivered in its first part's format;
// the infinities and NaNs a float file may hold are delivered as silence. WAV may be RIFF, RF64 or
// BW64.
// Null on failure with *error (when given) set to BASS_ERROR_FILEOPEN (cannot be read) or
// BASS_ERROR_FORMAT (empty, truncated header, not audio). Any thread; the Source then belongs to
// the caller's thread.
// Files above kMaxRate or with more than kMaxChannels channels are refused (BASS_ERROR_FORMAT),
// as is anything that is not a regular file (BASS_ERROR_FILEOPEN: a FIFO would block).
std::unique_ptr<Source> openFileSource(const std::string& utf8Path, int* error = nullptr);

// The stretcher behind a tempo channel (BASS_FX_TempoCreate), chosen per channel beside its
// tempo, rate and pitch. SoundTouch is the default and the one for live playback; Rubber Band's
// R3 engine sounds cleaner at about a twentieth of SoundTouch's speed, for renders. Both begin
// with the source's first sample and give the same length; at tempo 0, pitch 0 neither runs.
// Changing it restarts the stretching at the channel's position, as a seek does. False
// (BASS_ERROR_HANDLE) when `tempoChannel` is not a tempo channel.
enum class TempoStretcher { SoundTouch, RubberBand };
bool setTempoStretcher(DWORD tempoChannel, TempoStretcher kind);

// The largest sample rate and channel count a stream may have (file or custom source).
constexpr int kMaxRate = 192000;
constexpr int kMaxChannels = 16;

// Why `utf8Path` cannot be opened for reading, in words that follow the file's name: "no such
// file", "permission denied", "is not a regular file" (a folder, FIFO or device), or the system's
// text. Empty when it can be opened. For the "cannot open" messages of the windows and the
// command line after BASS_ERROR_FILEOPEN. Any thread.
std::string describeOpenFailure(const std::string& utf8Path);

// Called with the handle of every channel that is freed (BASS_StreamFree, AUTOFREE, a tempo
// channel's source, BASS_Free), on the thread that frees it, after the channel left the table.
// For per-handle state kept outside the core (BPM). Listeners stay for the program's life.
void addChannelFreeListener(std::function<void(DWORD)> listener);

// Inside a DSP procedure: the channel's timeline position, in seconds, just after the block being
// processed (for a tempo channel, on its source's timeline). -1 outside a DSP procedure. Lets the
// BPM code place what it hears on the timeline without asking for positions from its own thread.
double dspBlockEndSeconds();

// A-B loop: while set, the stream under `chan` (a stream, or a tempo channel's source) continues
// from `startByte` when it reaches `endByte` (byte positions on the source's timeline, as
// BASS_ChannelGetPosition gives them), sample-accurately, with a 6 ms equal-power crossfade over
// the last frames before `endByte` (shorter when the loop or its start is shorter). A tempo
// channel's position wraps with it. Playback beyond `endByte` when the loop is set goes on to the
// end. Errors: BASS_ERROR_HANDLE, BASS_ERROR_NOTAVAIL (no stream under it), BASS_ERROR_ILLPARAM
// (start not before end), BASS_ERROR_POSITION (end beyond the length, or the source cannot seek).
// clearLoop returns to normal playback; getLoop fails with BASS_ERROR_NOTAVAIL when none is set.
BOOL setLoop(DWORD chan, QWORD startByte, QWORD endByte);
BOOL clearLoop(DWORD chan);
BOOL getLoop(DWORD chan, QWORD* startByte, QWORD* endByte);

// Sets the engine's last error code (for the CD and WMA operations, which live in their own
// files but report through BASS_ErrorGetCode).
void setError(int code);

}  // namespace engine
