// The MP3 encoder component, on LAME. Set InputFile (any file the engine decodes, or headerless
// 16-bit stereo 44.1 kHz ".raw"), OutputFile, BitRate (bits per second) and ChannelMode (0 stereo,
// 1 mono), then call Encode. Encode runs LAME on a thread of its own and returns when the MP3 is
// complete; meanwhile the caller's event loop keeps running, so the window stays responsive and
// StopEncoding can be called. EncodeProgress and EncodeTimeLeft arrive on the thread that owns
// the component. The MP3 is written under a temporary name beside the destination and renamed
// when complete: a stop or a failure leaves any earlier file of that name as it was. Its first
// frame carries a LAME/Xing header, so that players show the exact length.
#pragma once

#include <QObject>
#include <QString>
#include <QVariant>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QEventLoop;

namespace components {

// One encoding job, for the component and for callers without an event loop (the command line).
struct Mp3EncodeJob {
    std::string input;         // UTF-8 path
    std::string output;        // UTF-8 path
    int32_t bitRate = 128000;  // bits per second; LAME takes the nearest rate it can write
    int channelMode = 0;       // 0 stereo, 1 mono
    // Where the input's channels go when it does not say (a render's work file of a
    // multichannel source): Source::speakerMask, 0 for the usual places of its count.
    uint32_t speakerMask = 0;
};

inline constexpr const char* kMp3Stopped = "Encoding stopped";

// Receives progress (0..99 while encoding; the caller reports 100 once the file is in place) and
// the estimated seconds left.
using Mp3ProgressFn = std::function<void(int percent, double secondsLeft)>;

// Encodes `job` on the calling thread. Returns "" when the MP3 is in place, else the reason, for
// the user (kMp3Stopped after `stop` was set), and the destination is as it was. `note`, when
// given, receives on success what the user should know: that the source is cut short or damaged
// (the MP3 holds what it held), or that MP3 could not hold the bit rate or the rate as asked (""
// when there is nothing to say).
std::string encodeMp3File(const Mp3EncodeJob& job, const Mp3ProgressFn& progress = {},
                          const std::atomic<bool>* stop = nullptr, std::string* note = nullptr);

class Mp3Encoder : public QObject {
    Q_OBJECT
  public:
    explicit Mp3Encoder(QObject* parent = nullptr);
    // Stops a running encoding and waits for its thread.
    ~Mp3Encoder() override;

    // Properties. Unset ones read back as empty (an empty text, an invalid QVariant).
    QString InputFile() const { return input_; }
    void setInputFile(const QString& path) { input_ = path; }
    QString OutputFile() const { return output_; }
    void setOutputFile(const QString& path) { output_ = path; }
    QVariant BitRate() const { return bitRate_ ? QVariant(*bitRate_) : QVariant(); }
    void setBitRate(int32_t bitsPerSecond) { bitRate_ = bitsPerSecond; }
    QVariant ChannelMode() const { return channelMode_ ? QVariant(*channelMode_) : QVariant(); }
    void setChannelMode(int16_t mode) { channelMode_ = mode; }
    // Where the input's channels go when its header cannot say (a render's work file of three
    // channels or more: the source's speaker mask); 0, the usual places of its count.
    void setSpeakerMask(uint32_t mask) { speakerMask_ = mask; }

    // Encodes InputFile into OutputFile (unset: 128000 bits per second, stereo). Returns true when
    // the MP3 is complete; false when it was stopped or failed (errorText() says why). Returns
    // false at once while another Encode of this component is running.
    bool Encode();
    // Ends a running Encode: it returns false and no MP3 is left behind. Owner thread (a button,
    // a progress handler).
    void StopEncoding();

    bool isEncoding() const { return running_ != nullptr; }
    // Why the last Encode returned false ("" after a success).
    QString errorText() const { return error_; }
    // After an Encode that returned true, what the user should know (a source cut short or
    // damaged, a rate MP3 could not hold; see encodeMp3File); "" when there is nothing to say.
    QString noteText() const { return note_; }
    // True when the last Encode ended because of StopEncoding.
    bool wasStopped() const { return stopped_; }

  signals:
    void EncodeProgress(int percent);
    void EncodeTimeLeft(double seconds);

  private:
    struct Run;

    QString input_, output_;
    std::optional<int32_t> bitRate_;
    std::optional<int16_t> channelMode_;
    uint32_t speakerMask_ = 0;
    QString error_, note_;
    bool stopped_ = false;
    std::shared_ptr<Run> running_;
};

}  // namespace components
