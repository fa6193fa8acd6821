#include "rip/extract.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <vector>

#include "disc/basscd.h"
#include "disc/cd_ext.h"
#include "encode/basswma.h"
#include "files/file_io.h"
#include "files/safe_copy.h"
#include "files/texts.h"
#include "files/wave_header.h"

namespace cd {

namespace {

using Clock = std::chrono::steady_clock;

void onReadError(HSYNC, DWORD, DWORD, void* user) {
    static_cast<std::atomic<bool>*>(user)->store(true);
}

// The door locked, a decoding stream of the track, the read-error sync; undone at the end.
class TrackReading {
  public:
    TrackReading(int drive, int track) : drive_(DWORD(drive)) {
        BASS_CD_Door(drive_, BASS_CD_DOOR_LOCK);
        stream_ =
            BASS_CD_StreamCreate(drive_, DWORD(track), BASS_STREAM_DECODE | BASS_STREAM_AUTOFREE);
        if (!stream_) {
            error_ = BASS_ErrorGetCode();
            return;
        }
        BASS_ChannelSetSync(stream_, BASS_SYNC_CD_ERROR | BASS_SYNC_ONETIME, 0, onReadError,
                            &readError_);
        QWORD length = BASS_ChannelGetLength(stream_);
        length_ = length == QWORD(-1) ? 0 : length;
    }
    ~TrackReading() {
        if (stream_) {
            BASS_ChannelStop(stream_);
            BASS_StreamFree(stream_);
        }
        BASS_CD_Door(drive_, BASS_CD_DOOR_UNLOCK);
    }
    TrackReading(const TrackReading&) = delete;
    TrackReading& operator=(const TrackReading&) = delete;

    HSTREAM stream() const { return stream_; }
    DWORD drive() const { return drive_; }
    int error() const { return error_; }
    uint64_t length() const { return length_; }

    // The next block into `buf`: its size, 0 at the end (or after a failed read).
    // Bounded: never more than the track's length, whatever the stream says.
    uint32_t next(std::vector<uint8_t>& buf) {
        if (delivered_ >= length_ || !BASS_ChannelIsActive(stream_)) return 0;
        int n = BASS_ChannelGetData(stream_, buf.data(), kExtractBlockBytes);
        if (n <= 0) return 0;
        delivered_ += uint64_t(n);
        return uint32_t(n);
    }

    // Whether the disc failed before the end of the track.
    bool failed(uint64_t bytesRead) const { return readError_.load() || bytesRead < length_; }

  private:
    DWORD drive_;
    HSTREAM stream_ = 0;
    int error_ = 0;
    uint64_t length_ = 0;
    uint64_t delivered_ = 0;
    std::atomic<bool> readError_{false};
};

// A disc image's files end early or fail to be read: no disc failed.
std::string partialMessage(DWORD drive, uint64_t read, uint64_t total) {
    return files::fillIn(
        engine::cdImageFiles(drive).empty()
            ? files::userText("rip",
                              "The track could be read only in part: %1 of %2 "
                              "bytes were read before the disc failed.")
            : files::userText(
                  "rip",
                  "The track could be read only in part: the image could be read up "
                  "to %1 of its %2 bytes (its files end early, are damaged or could not be "
                  "read)."),
        {std::to_string(read), std::to_string(total)});
}

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Whether the track's stream could be made; records the failure or the track's length in `r`.
bool started(const TrackReading& reading, ExtractResult& r, const ExtractHooks& hooks) {
    if (!reading.stream()) {
        r.status = ExtractResult::Status::StreamFailed;
        r.engineError = reading.error();
        return false;
    }
    if (hooks.onStream) hooks.onStream(reading.stream());
    r.trackBytes = reading.length();
    return true;
}

}  // namespace

ExtractResult extractTrackToWav(int drive, int track, const std::string& path,
                                const ExtractHooks& hooks) {
    const auto start = Clock::now();
    ExtractResult r;
    TrackReading reading(drive, track);
    if (!started(reading, r, hooks)) return r;

    auto header = files::WaveHeader::fromChannel(reading.stream());
    files::WaveWriter writer;
    if (!writer.create(path, header ? *header : files::WaveHeader::forFormat(2, 44100, false))) {
        r.status = ExtractResult::Status::WriteFailed;
        r.message = writer.error();
        return r;
    }
    std::vector<uint8_t> buf(kExtractBlockBytes);
    bool writeFailed = false, stopped = false;
    while (uint32_t n = reading.next(buf)) {
        r.bytesRead += n;
        if (!writer.append(buf.data(), n)) {
            writeFailed = true;
            break;
        }
        if (hooks.progress) hooks.progress(r.bytesRead, r.trackBytes);
        if (hooks.stop && hooks.stop()) {
            stopped = true;
            break;
        }
    }
    // The header gets the sizes of what was written, whatever happened.
    bool finished = writer.finish();
    r.seconds = since(start);
    if (stopped) {
        r.status = ExtractResult::Status::Stopped;
        std::error_code ec;
        std::filesystem::remove(files::pathFromUtf8(path), ec);
    } else if (writeFailed || !finished) {
        r.status = ExtractResult::Status::WriteFailed;
        r.message = writer.error();
    } else if (reading.failed(r.bytesRead)) {
        r.status = ExtractResult::Status::ReadFailed;
        r.message = partialMessage(reading.drive(), r.bytesRead, r.trackBytes);
    }
    return r;
}

const std::vector<std::string>& wmaTagNames() {
    static const std::vector<std::string> names = {"Title",       "Author", "WM/AlbumTitle",
                                                   "Description", "Rating", "Copyright",
                                                   "WM/Genre",    "WM/Year"};
    return names;
}

ExtractResult extractTrackToWma(int drive, int track, uint32_t bitrate, const std::string& path,
                                const std::vector<std::pair<std::string, std::string>>& tags,
                                const ExtractHooks& hooks) {
    const auto start = Clock::now();
    ExtractResult r;
    if (bitrate == 0) {
        r.status = ExtractResult::Status::NoBitrate;
        r.message = files::userText(
            "rip", "There is no WMA bit rate to encode with: no WMA encoder was found.");
        return r;
    }
    TrackReading reading(drive, track);
    if (!started(reading, r, hooks)) return r;

    // Encoded beside `path` under a temporary name: a file already there is replaced only by a
    // complete one.
    std::string tempError;
    const std::string temp = files::createTemporaryBeside(path, tempError);
    if (temp.empty()) {
        r.status = ExtractResult::Status::EncoderFailed;
        r.engineError = BASS_ERROR_CREATE;
        r.message = files::userText("rip", "An error occured while opening output file.");
        r.reason = tempError;
        return r;
    }
    struct TempGuard {
        std::string path;
        ~TempGuard() {
            if (!path.empty()) files::removeTemporary(path);
        }
    } guard{temp};
    HWMENCODE enc = BASS_WMA_EncodeOpenFile(44100, 2, 0, bitrate, temp.c_str());
    if (!enc) {
        r.status = ExtractResult::Status::EncoderFailed;
        r.engineError = BASS_ErrorGetCode();
        r.message = files::userText("rip", "An error occured while opening output file.");
        return r;
    }
    for (const auto& [name, text] : tags)
        if (!text.empty()) BASS_WMA_EncodeSetTag(enc, name.c_str(), text.c_str(), 0);

    std::vector<uint8_t> buf(kExtractBlockBytes);
    bool encodeFailed = false, stopped = false;
    while (uint32_t n = reading.next(buf)) {
        r.bytesRead += n;
        if (!BASS_WMA_EncodeWrite(enc, buf.data(), n)) {
            encodeFailed = true;
            r.engineError = BASS_ErrorGetCode();
            break;
        }
        if (hooks.progress) hooks.progress(r.bytesRead, r.trackBytes);
        if (hooks.stop && hooks.stop()) {
            stopped = true;
            break;
        }
    }
    if (!BASS_WMA_EncodeClose(enc) && !encodeFailed) {
        encodeFailed = true;
        r.engineError = BASS_ErrorGetCode();
    }
    r.seconds = since(start);
    if (stopped) {
        r.status = ExtractResult::Status::Stopped;  // the guard removes the temporary
    } else if (encodeFailed) {
        r.status = ExtractResult::Status::EncoderFailed;
        r.message = files::userText("rip", "An error occured while encoding WMA data.");
        if (const std::string why = wmaFileFailure(); !why.empty())
            r.reason =
                files::fillIn(files::userText("files", "Cannot write \"%1\": %2"), {path, why});
    } else if (reading.failed(r.bytesRead)) {
        r.status = ExtractResult::Status::ReadFailed;
        r.message = partialMessage(reading.drive(), r.bytesRead, r.trackBytes);
    } else if (auto put = files::replaceFile(temp, path); !put.ok) {
        r.status = ExtractResult::Status::WriteFailed;
        r.message = put.message;
    } else {
        guard.path.clear();
    }
    return r;
}

}  // namespace cd
