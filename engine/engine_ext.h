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
    Missing,     // a device that never opens, as on a machine without a sound card (tests)
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

// Output capture: a copy of what the output plays, as a 16-bit stereo PCM WAV file at the output's
// 44100 Hz, for tests that listen to the program from outside. Only frames mixed while at least
// one channel is playing are recorded: the silence while everything is stopped or paused, and
// after a channel's last frame, is left out, so a capture of one whole play lines up with its
// source from the first frame. The capture is process-wide: it goes on across BASS_Free and
// BASS_Init until it is ended. Its file's header is rewritten after every write, so the file is a
// complete WAV whenever the capture's writer is idle (within 20 ms of playback stopping);
// BASS_Free and the program's end wait until it holds every frame played.
//
// setCapture ends the capture under way (its file complete), then, for a non-empty path, creates
// (or truncates) the file and records into it. false when the file cannot be created;
// captureStatus().error then says why. An empty path only ends the capture, whose status stays
// readable until the next one starts. A write that fails later (full disk, the WAV size limit)
// ends the recording and keeps what was written; the error is in captureStatus(). When the writer
// falls more than about 6 s behind a real-time output, the frames that do not fit are dropped and
// counted in framesLost; nullOutputStep waits for the writer instead. Control threads only (not
// from a procedure).
struct CaptureStatus {
    std::string path;           // the file, or empty when no capture was started
    bool recording = false;     // the file is open and being written
    int64_t framesWritten = 0;  // frames in the file
    int64_t framesLost = 0;     // frames played but dropped because the writer fell behind
    std::string error;          // why the file could not be created or written; empty if fine
};
bool setCapture(const std::string& utf8Path);
CaptureStatus captureStatus();

// A source of 16-bit interleaved PCM that the engine wraps as a channel (file streams, CD tracks).
// Called from one thread at a time (the decoder worker or the reading thread), never from the
// output callback.
class Source {
  public:
    virtual ~Source() = default;
    virtual int rate() const = 0;
    virtual int channels() const = 0;
    virtual bool eightBit() const { return false; }  // samples are still delivered as 16-bit
    // Whether the file's samples are finer than the 16 bits delivered (24- or 32-bit integers,
    // floats), which reading then shortens; false for lossy coding, whose decoders give 16 bits.
    virtual bool finerThan16Bits() const { return false; }
    virtual int64_t lengthFrames() const = 0;  // exact length in frames
    // Reads up to `frames` frames; returns the number read, 0 at the end, -1 on a read error
    // (the engine then fires BASS_SYNC_CD_ERROR syncs and ends the channel).
    virtual int64_t read(int16_t* dst, int64_t frames) = 0;
    virtual bool seek(int64_t frame) = 0;
    virtual DWORD ctype() const { return BASS_CTYPE_STREAM; }
    // Error code to report when read() fails.
    virtual int lastError() const { return BASS_ERROR_UNKNOWN; }
    // Samples read so far that were not numbers (infinite or NaN in a float file): faults in the
    // file, delivered as silence. Any thread.
    virtual int64_t faultySamples() const { return 0; }
    // Samples read so far that lay beyond full scale in a float file (louder than 16 bits hold),
    // delivered clipped to it. Any thread.
    virtual int64_t overSamples() const { return 0; }
    // Frames the file's header gives beyond the end of the file (a WAV cut short, as by a broken
    // download): the stream holds what is there and says how much is missing. 0 when whole.
    virtual int64_t missingFrames() const { return 0; }
    // Frames the stream's length gives that its decoding did not reach: a damaged file (a lost
    // page of an Ogg file, a broken FLAC frame) whose audio ends early. Known once a read has met
    // the end; 0 until then and for a whole file. Any thread.
    virtual int64_t undecodedFrames() const { return 0; }
    // Frames read so far that a damaged stretch inside the file gave as silence (a FLAC frame that
    // does not decode, with audio that does after it), keeping the timeline. Any thread.
    virtual int64_t silencedFrames() const { return 0; }
    // The file ends inside a piece its format frames the audio in (an Ogg page cut off, as by a
    // broken download): what came after is lost, by an amount the file cannot say.
    virtual bool cutOff() const { return false; }
    // Where the channels go when the file says so: a WAVE channel mask (bit 0 front left, 1 front
    // right, 2 front centre, 3 LFE, 4 back left, 5 back right, 6 and 7 front left and right of
    // centre, 8 back centre, 9 side left, 10 side right, ...) with one bit per channel, the
    // channels in the order of their bits. 0 when the file does not say.
    virtual uint32_t speakerMask() const { return 0; }
};

// Registers `source` as a stream channel (flags: BASS_STREAM_DECODE, BASS_STREAM_AUTOFREE,
// BASS_SAMPLE_LOOP). Returns the handle; 0 (BASS_ERROR_INIT) for a playable stream when the
// output is not initialised. Decoding streams need no BASS_Init.
HSTREAM createSourceStream(std::unique_ptr<Source> source, DWORD flags);

// Opens an audio file (WAV, FLAC, Ogg through libsndfile; MP3 through libmpg123, gapless, with
// its exact length) as a Source of 16-bit samples, independent of BASS_Init and of the handle
// table: BASS_Free does not touch it. 8-bit files are delivered as 16-bit and eightBit() is false.
// An Ogg file of chained streams (a recorded radio stream, files joined end to end) is read whole,
// Vorbis through libvorbisfile and Opus through libopusfile. An MP3 or a chain whose rate or
// channel count changes on the way is delivered in its first part's format;
// the infinities and NaNs a float file may hold are delivered as silence. WAV may be RIFF, RF64 or
// BW64.
// Null on failure with *error (when given) set to BASS_ERROR_FILEOPEN (cannot be read) or
// BASS_ERROR_FORMAT (empty, truncated header, not audio). Any thread; the Source then belongs to
// the caller's thread.
// Files below kMinRate or above kMaxRate or with more than kMaxChannels channels are refused
// (BASS_ERROR_FORMAT), as is anything that is not a regular file (BASS_ERROR_FILEOPEN: a FIFO would
// block). HeaderOnly reads the format (rate, channels) without an MP3's full scan, whose length is
// then an estimate: for a quick look at a file on the window thread. Exact scans an MP3 once per
// file (an index kept for the files opened last serves the next opens of the same, unchanged file).
enum class FileOpen { Exact, HeaderOnly };
std::unique_ptr<Source> openFileSource(const std::string& utf8Path, int* error = nullptr,
                                       FileOpen mode = FileOpen::Exact);

// While one lives, the opens of its thread give up reading a long MP3 through once `*cancel` is
// set (a worker's job dropped: another file was loaded, the program ends): the open is then of no
// use, and the cut-short reading is not kept for later opens.
class OpenCancelScope {
  public:
    explicit OpenCancelScope(const std::atomic<bool>* cancel);
    ~OpenCancelScope();
    OpenCancelScope(const OpenCancelScope&) = delete;
    OpenCancelScope& operator=(const OpenCancelScope&) = delete;

  private:
    const std::atomic<bool>* previous_;
};

// The stretcher behind a tempo channel (BASS_FX_TempoCreate), chosen per channel beside its
// tempo, rate and pitch. SoundTouch is the default and the one for live playback; Rubber Band's
// R3 engine sounds cleaner at about a twentieth of SoundTouch's speed, for renders. Both begin
// with the source's first sample and give the same length; at tempo 0, pitch 0 neither runs.
// Changing it restarts the stretching at the channel's position, as a seek does. False
// (BASS_ERROR_HANDLE) when `tempoChannel` is not a tempo channel.
enum class TempoStretcher { SoundTouch, RubberBand };
bool setTempoStretcher(DWORD tempoChannel, TempoStretcher kind);

// Practising on a tempo channel's A-B loop (engine::setLoop on it). The speed trainer: every
// `everyPasses`-th time the loop goes round, the tempo moves by `stepPercent` towards
// `targetPercent` and stays there. The output block ends exactly at the wrap and the new tempo
// starts with the frame after it, never inside a pass. A step of 0 turns it off. Setting it starts
// counting the passes again. False (BASS_ERROR_ILLPARAM) for a negative step, fewer than one
// pass, or a target the tempo cannot take; BASS_ERROR_HANDLE for anything but a tempo channel.
struct LoopTrainer {
    float stepPercent = 0.0f;
    int everyPasses = 1;
    float targetPercent = 0.0f;
};
bool setLoopTrainer(DWORD tempoChannel, const LoopTrainer& trainer);
// The tempo one step of `trainer` makes of `tempoPercent`.
float trainerStep(float tempoPercent, const LoopTrainer& trainer);

// The count-in: `clicks` clicks a beat apart (at the tempo of the moment) before the channel's
// next output frame, and, with `eachPass`, before each pass of its A-B loop. The file goes on
// from where it stood so that its first beat falls where the click after the last would: that
// beat lies `startToBeat` seconds (of the file) after where playback goes on (`loopStartToBeat`
// after the loop's start for each pass). The position stays where the file goes on while the
// clicks play. 0 clicks: none. False (BASS_ERROR_ILLPARAM) for more than kMaxCountInClicks or a
// beat not between 0 and 10 s.
constexpr int kMaxCountInClicks = 8;
struct CountIn {
    int clicks = 0;
    double beatSeconds = 0.0;
    double startToBeat = 0.0;
    double loopStartToBeat = 0.0;
    bool eachPass = false;
    bool startNow = true;  // false: only the passes (a change while the channel plays)
};
bool setCountIn(DWORD tempoChannel, const CountIn& countIn);
// One sample of a count-in's click `t` seconds after it starts (the first click is accented).
int16_t countInClickSample(bool accent, double t);

// What the practice tools did so far: the loop passes since setLoopTrainer, the
// tempo now (the trainer changes it), and whether a count-in is playing.
struct LoopPractice {
    int64_t passes = 0;
    float tempoPercent = 0.0f;
    bool countingIn = false;
};
bool getLoopPractice(DWORD tempoChannel, LoopPractice* state);

// The largest sample rate and channel count a stream may have (file or custom source), and the
// smallest rate (below it the stretcher's windows hold no sample: a damaged header's rate).
constexpr int kMaxRate = 192000;
constexpr int kMinRate = 100;
constexpr int kMaxChannels = 16;

// How a stream of `chans` channels (1..kMaxChannels) sounds on two speakers: each channel's gain
// into the left and into the right. Mono goes to both sides and stereo stays as it is; from three
// channels on, FFmpeg's default downmix: front left and right (and those beside the centre) at
// full level into their side, the centre, back and side channels at -3 dB (the back centre at
// -6 dB into both), the LFE channel left out, and both sides scaled so that the sum cannot clip.
// The channels go where `speakerMask` (Source::speakerMask) puts them; without a mask that fits,
// where FLAC (and WAVE's usual masks) put them for their count: 3 = L R C, 4 = L R BL BR,
// 5 = L R C BL BR, 6 = L R C LFE BL BR, 7 = L R C LFE BC SL SR, 8 = L R C LFE BL BR SL SR. Past 8
// channels no layout is known: even channels go left, odd ones right, in equal parts. The mixer
// plays a stream so, and the MP3 encoder writes it so.
struct StereoDownmix {
    float left[kMaxChannels] = {};
    float right[kMaxChannels] = {};
};
StereoDownmix stereoDownmix(int chans, uint32_t speakerMask = 0);

// WAVE's speaker bits, in their order (a channel mask's bit for each).
enum Speaker {
    FrontLeft,
    FrontRight,
    FrontCentre,
    Lfe,
    BackLeft,
    BackRight,
    FrontLeftOfCentre,
    FrontRightOfCentre,
    BackCentre,
    SideLeft,
    SideRight,
    TopCentre,
    TopFrontLeft,
    TopFrontCentre,
    TopFrontRight,
    TopBackLeft,
    TopBackCentre,
    TopBackRight,
};

// Where the channels of a file of `chans` channels go when it does not say: FLAC's order for the
// count (1: the centre, 2: L R, 3: L R C, 4: quad, 5: 5.0, 6: 5.1, 7: 6.1 with a back centre, 8:
// 7.1 with sides), as a WAVE channel mask; 0 for more than 8.
uint32_t usualSpeakerMask(int chans);

// Why `utf8Path` cannot be opened for reading, in words that follow the file's name: "no such
// file", "permission denied", "is not a regular file" (a folder, FIFO or device), or the system's
// text. Empty when it can be opened. For the "cannot open" messages of the windows and the
// command line after BASS_ERROR_FILEOPEN. Any thread.
std::string describeOpenFailure(const std::string& utf8Path);

// Why a file the engine refused as a format (BASS_ERROR_FORMAT) was refused, when it is a sound
// file of a kind it reads but out of its limits: a sample rate below kMinRate or above kMaxRate,
// more than kMaxChannels channels, or no audio at all. Reads the file's header only. Any thread.
struct FormatRefusal {
    enum Kind { Other, RateAbove, RateBelow, ChannelsAbove, NoAudio } kind = Other;
    int value = 0;  // the file's rate or channel count
};
FormatRefusal whyFormatRefused(const std::string& utf8Path);
// Whether the file holds MPEG audio the engine decodes as an MP3, by its content (whatever its
// name: standard input spooled to a file, a download without its extension).
bool isMp3File(const std::string& utf8Path);

// The faulty samples (Source::faultySamples) the stream `handle` (or the stream a tempo channel
// reads) has read so far; 0 for other channels. Any thread.
int64_t faultySamples(DWORD handle);
// The samples beyond full scale (Source::overSamples) the stream `handle` (or the stream a tempo
// channel reads) has read so far; 0 for other channels. Any thread.
int64_t sourceOverSamples(DWORD handle);

// Where the channels of `handle` go (Source::speakerMask of the stream it reads); 0 when its file
// does not say, and for no channel. Any thread.
uint32_t speakerMask(DWORD handle);

// The missing frames (Source::missingFrames) of the stream `handle` or of the stream a tempo
// channel reads; 0 for other channels. Any thread.
int64_t missingFrames(DWORD handle);

// The undecoded frames (Source::undecodedFrames) of the stream `handle` or of the stream a tempo
// channel reads; 0 for other channels. Any thread.
int64_t undecodedFrames(DWORD handle);

// The same for Source::silencedFrames.
int64_t silencedFrames(DWORD handle);

// Whether the file of the stream `handle`, or of the stream a tempo channel reads, is cut off
// (Source::cutOff); false for other channels. Any thread.
bool cutOff(DWORD handle);

// The samples the equalizer (BASS_FX_PEAKEQ) of `handle`, and of the channels it reads, clipped
// at full scale so far: a boost too strong for the sound. Any thread.
int64_t equalizerClippedSamples(DWORD handle);
// The samples the stretcher of `handle` (a tempo channel), or of a tempo channel it reads, gave
// beyond full scale and were clamped to it so far: a change of pitch or tempo that overshoots a
// loud source (a square wave's edges). Any thread.
int64_t stretcherClippedSamples(DWORD handle);

// Called with the handle of every channel that is freed (BASS_StreamFree, AUTOFREE, a tempo
// channel's source, BASS_Free), on the thread that frees it, after the channel left the table.
// For per-handle state kept outside the core (BPM). Listeners stay for the program's life.
void addChannelFreeListener(std::function<void(DWORD)> listener);

// Inside a DSP procedure: the channel's timeline position, in seconds, just after the block being
// processed (for a tempo channel, on its source's timeline). -1 outside a DSP procedure. Lets the
// BPM code place what it hears on the timeline without asking for positions from its own thread.
// A block that ends at an A-B loop's end gives that end (the next block starts at the loop's
// start).
double dspBlockEndSeconds();
// Inside a DSP procedure: whether the block being processed ends at an A-B loop's end, so that
// the timeline goes on from the loop's start (a wrap, not a seek). False outside a procedure.
bool dspBlockEndsLoop();
// Inside a DSP procedure: whether the block being processed does not continue the one before
// (the channel's first block, or the first after a seek), so a procedure that keeps audio from
// block to block starts afresh. False outside a procedure.
bool dspBlockFollowsSeek();

// As BASS_ChannelSetDSP, for a procedure whose output lags its input by `latencyFrames` (an
// overlap-add spectral effect). The channel compensates it: after every seek the chain is fed the
// next `latencyFrames` frames first and their output dropped, and at the channel's end it is fed
// as many frames of silence, so what the channel delivers lines up with its source frame for frame
// and has the source's length (positions, loops and seeks stay exact). Removing the procedure
// with BASS_ChannelRemoveDSP reads the frames it held again. The procedure then gets every block
// in order, as any other; it must start afresh where dspBlockFollowsSeek() says so. Streams only
// (a file stream or a source's): on other channels BASS_ERROR_NOTAVAIL.
HDSP setLaggingDsp(DWORD channel, DSPPROC* proc, void* user, int priority, int latencyFrames);

// A-B loop: while set, the stream under `chan` (a stream, or a tempo channel's source) continues
// from `startByte` when it reaches `endByte` (byte positions on the source's timeline, as
// BASS_ChannelGetPosition gives them), sample-accurately, with a 6 ms crossfade over the last
// frames before `endByte` (shorter when the loop is shorter; before the stream's start the frames
// faded in are silence). The fade's law follows the correlation of the frames before `startByte`
// and before `endByte`: equal-gain where they match (a sustained tone), equal-power where they are
// unrelated, so the level holds either way. A tempo channel's position wraps with it. Playback
// beyond `endByte` when the loop is set goes on to the end. Errors: BASS_ERROR_HANDLE,
// BASS_ERROR_NOTAVAIL (no stream under it), BASS_ERROR_ILLPARAM (start not before end),
// BASS_ERROR_POSITION (end beyond the length, or the source cannot seek). clearLoop returns to
// normal playback; getLoop fails with BASS_ERROR_NOTAVAIL when none is set.
BOOL setLoop(DWORD chan, QWORD startByte, QWORD endByte);
BOOL clearLoop(DWORD chan);
BOOL getLoop(DWORD chan, QWORD* startByte, QWORD* endByte);

// Sets the engine's last error code (for the CD operations and the WMA encoder in encode/, which
// live in their own files but report through BASS_ErrorGetCode).
void setError(int code);

}  // namespace engine
