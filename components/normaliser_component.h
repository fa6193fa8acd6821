// The normalising component: scales a WAV file so that its peak reaches a given percentage of
// full scale, or so that its integrated loudness (EBU R128) reaches a target in LUFS with its
// true peak kept at or below -1 dBTP. Normalize() runs the work on a thread of its own and returns
// when the destination is complete; meanwhile the caller's event loop keeps running, so the window
// stays responsive. Progress reports (0 to exactly 100, 100 only once the destination is in place)
// arrive on the thread that owns the component.
#pragma once

#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

// What a normalisation aims at and writes.
struct NormaliseOptions {
    enum class Target { Peak, Loudness };
    Target target = Target::Peak;
    double percent = 100.0;  // Peak: the largest sample, in % of full scale (1..100)
    double lufs = -16.0;     // Loudness: integrated loudness in LUFS (-70..0)
    // Bits per sample written: 16, or 24. A float or 24/32-bit source written as 16 bits is
    // dithered (triangular, one step either side); a 16-bit source is scaled exactly as before.
    int bits = 16;
};

struct NormaliseResult {
    std::string error;  // "" on success, else the reason for the user; nothing was written
    std::string note;   // on success, what the user should know (the true-peak ceiling applied)
    double gainDb = 0;  // the gain applied
    double lufs = 0;    // the loudness written, when normalised to a loudness
    // Samples that were not numbers (infinite or NaN, faults in a float file): left out of the
    // measurements and written as silence; the note says how many.
    int64_t faultySamples = 0;
    // Silent, or too quiet to measure its loudness: written at its own level (a 16-bit copy of a
    // finer source is still dithered where it holds sound).
    bool leftAsItIs = false;
};

class NormaliserComponent : public QObject {
    Q_OBJECT
  public:
    explicit NormaliserComponent(QObject* parent = nullptr);
    ~NormaliserComponent() override;

    // Normalises `source` into `destination` so that the largest sample reaches `percent` % of
    // full scale. Returns "" on success; otherwise the reason, for the user, and nothing was
    // written (a source that is not a readable WAV, a percentage that is not a number from 1 to
    // 100, a destination that cannot be written). The destination is written under a temporary
    // name beside it and renamed when complete, so a destination equal to the source, or an
    // existing file, is never destroyed half-way. `bits`: 16 or 24 per sample written.
    std::string Normalize(const std::string& source, const std::string& destination,
                          const std::string& percent, int bits = 16);

    // The percentage text as a number from 1 to 100, or a negative value when it is not one.
    static double parsePercent(const std::string& text);

    // The work itself, without threads or events: `report` gets the progress (0..99); the final
    // rename is done here too. Returns "" or the reason. Used by Normalize and the command line.
    static std::string normalizeFile(const std::string& source, const std::string& destination,
                                     double percent, const std::function<void(double)>& report,
                                     const std::atomic<bool>* cancel = nullptr);

    // The same with a loudness target and the output's bits; `report` gets 0..99.
    static NormaliseResult normalise(const std::string& source, const std::string& destination,
                                     const NormaliseOptions& options,
                                     const std::function<void(double)>& report,
                                     const std::atomic<bool>* cancel = nullptr);
    // normalise() on a thread of its own, as Normalize does; progress as Normalize reports it.
    NormaliseResult run(const std::string& source, const std::string& destination,
                        const NormaliseOptions& options);
    // Stops the run() under way after its block: it returns "Normalising was stopped." and
    // leaves nothing behind. Window thread.
    void stop() { stop_ = true; }
    static constexpr const char* kStopped = "Normalising was stopped.";

    // The note of the last run() that succeeded ("" when none); set before its final progress
    // report, so that a window finishing on that report can show it.
    const std::string& lastNote() const { return lastNote_; }

    // The lowest sample rate whose loudness is measured. The meter's weighting filters need half
    // the rate well above their 1.7 kHz shelf: below 3.4 kHz they fail outright (the loudness comes
    // out infinite), at 4 kHz tones near half the rate read 1.6 dB off, at 8 kHz (the lowest
    // common rate) within 0.4 dB of the same tones at 44.1 kHz.
    static constexpr int kMinLoudnessRate = 8000;

    // A gain from which the note says the source is near silence, in dB.
    static constexpr double kNearSilenceGainDb = 40.0;
    // The true-peak ceiling of a loudness normalisation, in dBTP.
    static constexpr double kTruePeakCeilingDb = -1.0;

  signals:
    void progress(double percent);

  private:
    std::atomic<bool> stop_{false};
    std::string lastNote_;
};
