// The audio engine's public operations.
//
// Handles are 32-bit; 0 means none or failure. After a failed call BASS_ErrorGetCode() tells
// why. Byte positions and lengths count 16-bit interleaved PCM bytes of the channel (for a tempo
// channel: bytes of its source, so that times can be divided by the speed ratio).
//
// Threads: every operation may be called from the window thread (or any one controlling thread)
// while the engine's own threads run. Procedures registered here (DSP, sync, BPM, beat, progress)
// are called from the engine's threads, except where a comment says otherwise; they must not
// touch widgets. DSP procedures and effects of a decoding channel run inside BASS_ChannelGetData
// on its caller's thread (so do that channel's END syncs); those of a playing channel run on the
// engine's decoder worker. BASS_Free must not be called from a procedure. See docs/threading.md.
//
// Choices of this engine: samples are always delivered as 16-bit (8-bit files are scaled up, and
// BASS_SAMPLE_8BITS is never reported); BASS_ErrorGetCode is the code of the calling thread's last
// engine call; no exception leaves an engine call (an exception inside becomes BASS_ERROR_MEM or
// BASS_ERROR_UNKNOWN); BASS_Init's device 0 is the clock-driven null output ("no sound"), -1 and 1
// the default output; the mixer runs at 44100 Hz stereo whatever BASS_Init's rate.
#pragma once

#include <cstdint>

using DWORD = uint32_t;
using QWORD = uint64_t;
using BOOL = int;
using HSTREAM = DWORD;
using HMUSIC = DWORD;
using HCHANNEL = DWORD;
using HDSP = DWORD;
using HSYNC = DWORD;
using HFX = DWORD;

// --- version -------------------------------------------------------------------------------
constexpr DWORD BASSVERSION = 0x0203;  // high word of BASS_GetVersion()

// --- error codes (BASS_ErrorGetCode) -------------------------------------------------------
constexpr int BASS_OK = 0;
constexpr int BASS_ERROR_MEM = 1;        // out of memory
constexpr int BASS_ERROR_FILEOPEN = 2;   // the file could not be opened
constexpr int BASS_ERROR_DRIVER = 3;     // no output device / driver
constexpr int BASS_ERROR_HANDLE = 5;     // invalid handle
constexpr int BASS_ERROR_FORMAT = 6;     // unsupported or corrupt format
constexpr int BASS_ERROR_POSITION = 7;   // invalid position
constexpr int BASS_ERROR_INIT = 8;       // BASS_Init has not been called
constexpr int BASS_ERROR_START = 9;      // output could not be started
constexpr int BASS_ERROR_ALREADY = 14;   // already done / already initialised
constexpr int BASS_ERROR_ILLTYPE = 19;   // illegal type
constexpr int BASS_ERROR_ILLPARAM = 20;  // illegal parameter
constexpr int BASS_ERROR_DEVICE = 23;    // illegal device number
constexpr int BASS_ERROR_NOTAVAIL = 37;  // not available (e.g. no BPM yet, no encoder)
constexpr int BASS_ERROR_DECODE = 38;    // the channel is not a decoding channel (or is one)
constexpr int BASS_ERROR_FILEFORM = 41;  // unsupported file format
constexpr int BASS_ERROR_ENDED = 45;     // the channel has ended
constexpr int BASS_ERROR_CREATE = 33;    // could not create the file
constexpr int BASS_ERROR_NOCD = 12;      // no disc in the drive
constexpr int BASS_ERROR_CDTRACK = 13;   // invalid track number
constexpr int BASS_ERROR_WMA = 1001;     // the WMA encoder is not available / failed
constexpr int BASS_ERROR_UNKNOWN = -1;

// --- flags ---------------------------------------------------------------------------------
constexpr DWORD BASS_SAMPLE_8BITS = 1;           // channel info flag: 8-bit samples
constexpr DWORD BASS_SAMPLE_LOOP = 4;            // loop at the end
constexpr DWORD BASS_MUSIC_PRESCAN = 0x20000;    // BASS_MusicLoad: scan for the length
constexpr DWORD BASS_STREAM_AUTOFREE = 0x40000;  // free when it ends or is stopped
constexpr DWORD BASS_STREAM_DECODE = 0x200000;   // decode only; read with BASS_ChannelGetData
constexpr DWORD BASS_FX_FREESOURCE = 0x10000;    // free the source with the tempo channel / BPM

// BASS_ChannelIsActive
constexpr DWORD BASS_ACTIVE_STOPPED = 0;
constexpr DWORD BASS_ACTIVE_PLAYING = 1;
constexpr DWORD BASS_ACTIVE_STALLED = 2;
constexpr DWORD BASS_ACTIVE_PAUSED = 3;

// BASS_ChannelSetSync types
constexpr DWORD BASS_SYNC_END = 2;               // the channel reached its end (also on each loop)
constexpr DWORD BASS_SYNC_SLIDE = 5;             // an attribute slide ended
constexpr DWORD BASS_SYNC_CD_ERROR = 1000;       // a CD read error (data: the track)
constexpr DWORD BASS_SYNC_ONETIME = 0x80000000;  // remove the sync after it fired once

// Effects of BASS_FX_DSP_Set
constexpr int BASS_FX_PEAKEQ = 5;  // peaking equalizer, parameters BASS_FX_DSPPEAKEQ
constexpr int BASS_FX_GAIN = 9;    // gain with a soft limiter, parameters BASS_FX_DSPGAIN

// BPM
constexpr DWORD BASS_FX_BPM_BKGRND = 1;  // DecodeGet detects on a thread of the engine
constexpr DWORD BASS_FX_BPM_MULT2 = 2;   // double a BPM found below the range
constexpr int BASS_FX_BPM_TRAN_X2 = 0;
constexpr int BASS_FX_BPM_TRAN_2FREQ = 1;
constexpr int BASS_FX_BPM_TRAN_FREQ2 = 2;
constexpr int BASS_FX_BPM_TRAN_2PERCENT = 3;
constexpr int BASS_FX_BPM_TRAN_PERCENT2 = 4;  // a speed in percent to the BPM at that speed

// --- records -------------------------------------------------------------------------------
struct BASS_CHANNELINFO {
    DWORD freq;   // sample rate
    DWORD chans;  // channels
    DWORD flags;  // BASS_SAMPLE_8BITS, BASS_SAMPLE_LOOP, BASS_STREAM_DECODE ...
    DWORD ctype;  // kind of channel (see BASS_CTYPE_*)
};
constexpr DWORD BASS_CTYPE_STREAM = 0x10000;
constexpr DWORD BASS_CTYPE_STREAM_TEMPO = 0x1f200;
constexpr DWORD BASS_CTYPE_STREAM_CD = 0x10200;

// Peaking equalizer band (effect 5). One effect holds any number of bands, addressed by lBand.
struct BASS_FX_DSPPEAKEQ {
    int32_t lBand;     // band index
    DWORD lFreq;       // sample rate of the channel, Hz
    float fBandwidth;  // bandwidth in octaves (used when fQ is 0)
    float fQ;          // Q
    float fCenter;     // centre frequency, Hz
    float fGain;       // gain, dB
};

// Gain effect (effect 9). The program sends 10, 10, 10, g, 1000. fAmp is the amplification
// factor (1.0 unity, 0 silence, 10 = +20 dB) applied through a soft limiter; the other fields are
// kept and returned.
struct BASS_FX_DSPGAIN {
    float fParam1;
    float fParam2;
    float fParam3;
    float fAmp;
    float fParam5;
    DWORD lReserved;
};

// --- procedures ----------------------------------------------------------------------------
// DSP: change `length` bytes of 16-bit interleaved audio at `buffer` in place.
using DSPPROC = void(HDSP handle, DWORD channel, void* buffer, DWORD length, void* user);
using SYNCPROC = void(HSYNC handle, DWORD channel, DWORD data, void* user);
using BPMPROC = void(DWORD chan, float bpm, void* user);
using BPMBEATPROC = void(DWORD chan, float beatpos, void* user);
using BPMPROGRESSPROC = void(DWORD chan, float percent);

// --- core ----------------------------------------------------------------------------------
DWORD BASS_GetVersion();
// device -1 = default output. Opens PortAudio's default output, or the null output chosen with
// engine::setOutputKind. 0 when the device cannot be opened (BASS_ERROR_DRIVER / BASS_ERROR_START).
BOOL BASS_Init(int device, DWORD freq, DWORD flags, void* win, void* clsid);
BOOL BASS_Free();
BOOL BASS_Stop();
int BASS_ErrorGetCode();
int BASS_GetVolume();  // master volume 0..100
BOOL BASS_SetVolume(int volume);

HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags);
HMUSIC BASS_MusicLoad(BOOL mem, const void* file, QWORD offset, DWORD length, DWORD flags,
                      DWORD freq);
BOOL BASS_StreamFree(HSTREAM handle);
BOOL BASS_MusicFree(HMUSIC handle);

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart);
BOOL BASS_ChannelStop(DWORD handle);
BOOL BASS_ChannelPause(DWORD handle);
DWORD BASS_ChannelIsActive(DWORD handle);
QWORD BASS_ChannelGetLength(DWORD handle);    // (QWORD)-1 on failure
QWORD BASS_ChannelGetPosition(DWORD handle);  // (QWORD)-1 on failure
BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos);
float BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos);  // < 0 on failure
QWORD BASS_ChannelSeconds2Bytes(DWORD handle, float pos);  // (QWORD)-1 on failure
BOOL BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info);
// freq / volume / pan may be null. volume 0..100, pan -100..100. A playing channel's
// BASS_ChannelGetPosition is what the output has consumed.
BOOL BASS_ChannelGetAttributes(DWORD handle, DWORD* freq, DWORD* volume, int* pan);
// freq -1, volume -1, pan -101 leave the value unchanged.
BOOL BASS_ChannelSetAttributes(DWORD handle, int freq, int volume, int pan);
// Glides while the channel plays, then fires BASS_SYNC_SLIDE syncs; a channel that is not playing
// takes the values at once (and fires them on the calling thread).
BOOL BASS_ChannelSlideAttributes(DWORD handle, int freq, int volume, int pan, DWORD time_ms);
// Decoding channels only (BASS_ERROR_DECODE otherwise). The number of bytes delivered (a whole
// number of frames); -1 at the end (BASS_ERROR_ENDED) or on failure. Runs the DSP chain.
int BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length);
// DSP procedures run by priority, higher first.
HDSP BASS_ChannelSetDSP(DWORD handle, DSPPROC* proc, void* user, int priority);
BOOL BASS_ChannelRemoveDSP(DWORD handle, HDSP dsp);
HSYNC BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC* proc, void* user);
BOOL BASS_ChannelRemoveSync(DWORD handle, HSYNC sync);

// --- tempo, effects ------------------------------------------------------------------------
// flags: BASS_FX_FREESOURCE, BASS_SAMPLE_LOOP, BASS_STREAM_DECODE. The source must be a
// decoding channel.
HSTREAM BASS_FX_TempoCreate(DWORD chan, DWORD flags);
// tempo in percent (-95..5000), rate in Hz, pitch in semitones; -100 / 0 / -100 = unchanged.
BOOL BASS_FX_TempoSet(DWORD chan, float tempo, float rate, float pitch);
float BASS_FX_TempoGetRateRatio(DWORD chan);  // 1.0 = normal speed; 0 on failure
DWORD BASS_FX_TempoGetSource(DWORD chan);

BOOL BASS_FX_DSP_Set(DWORD handle, int type, int priority);
BOOL BASS_FX_DSP_Remove(DWORD handle, int type);
BOOL BASS_FX_DSP_SetParameters(DWORD handle, int type, const void* params);
BOOL BASS_FX_DSP_GetParameters(DWORD handle, int type, void* params);

// --- BPM and beats -------------------------------------------------------------------------
// Runs to completion before it returns, `proc` called on the calling thread from 0 to 100; with
// BASS_FX_BPM_BKGRND it returns 0 at once (BASS_OK) and detects on a thread of the engine, which
// calls `proc`, 100 once the BPM is kept (see engine/bpm/bpm_detect.h).
float BASS_FX_BPM_DecodeGet(DWORD chan, float startSec, float endSec, DWORD minMaxBPM, DWORD flags,
                            BPMPROGRESSPROC* proc);
BOOL BASS_FX_BPM_CallbackSet(DWORD handle, BPMPROC* proc, double period, DWORD minMaxBPM,
                             DWORD flags, void* user);
BOOL BASS_FX_BPM_CallbackReset(DWORD handle);
float BASS_FX_BPM_Translate(DWORD handle, float val2tran, int trans);
BOOL BASS_FX_BPM_Free(DWORD handle);
BOOL BASS_FX_BPM_BeatCallbackSet(DWORD handle, BPMBEATPROC* proc, void* user);
BOOL BASS_FX_BPM_BeatFree(DWORD handle);
