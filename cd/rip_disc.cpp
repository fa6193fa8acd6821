#include "cd/rip_disc.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <system_error>

#include "cd/track_list.h"
#include "engine/basscd.h"
#include "files/file_io.h"
#include "files/safe_copy.h"

namespace fs = std::filesystem;

namespace cd {

namespace {

constexpr const char* kProgram = "Quorvin Audio Tools 1.0";
// Whole sectors per read, so that a stop comes within a few milliseconds of reading.
constexpr uint32_t kReadBytes = BASS_CD_SECTOR_BYTES * 27;

void onReadError(HSYNC, DWORD, DWORD, void* user) {
    static_cast<std::atomic<bool>*>(user)->store(true);
}

std::string nowText() {
    std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
    return buf;
}

void removeQuietly(const std::string& path) {
    std::error_code ec;
    fs::remove(files::pathFromUtf8(path), ec);
}

// Writes `text` to `path` through a temporary beside it.
bool writeTextFile(const std::string& path, const std::string& text) {
    std::string error;
    const std::string temp = files::createTemporaryBeside(path, error);
    if (temp.empty()) return false;
    std::FILE* f = files::openFile(temp, "wb");
    bool ok = f && std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (f && std::fclose(f) != 0) ok = false;
    if (!ok) {
        removeQuietly(temp);
        return false;
    }
    return files::replaceFile(temp, path).ok;
}

// Encodes blocks on a thread of its own while the caller reads the next ones, so that reading
// the disc and encoding overlap. At most kQueuedBlocks blocks wait; buffers are reused.
class EncodeThread {
  public:
    explicit EncodeThread(TrackEncoder& encoder) : encoder_(encoder) {
        thread_ = std::thread([this] { run(); });
    }
    ~EncodeThread() { finish(); }

    // A buffer to read into (from those the encoder has done with).
    std::vector<uint8_t> buffer() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (spare_.empty()) return std::vector<uint8_t>(kReadBytes);
        std::vector<uint8_t> b = std::move(spare_.back());
        spare_.pop_back();
        b.resize(kReadBytes);
        return b;
    }
    // Queues `block` (its size is the bytes to write); waits while the queue is full. False once
    // the encoder has failed.
    bool push(std::vector<uint8_t> block) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return queue_.size() < kQueuedBlocks || failed_; });
        if (failed_) return false;
        queue_.push_back(std::move(block));
        changed_.notify_all();
        return true;
    }
    // Waits until every queued block is written; true when all writes succeeded.
    bool finish() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closed_ = true;
            changed_.notify_all();
        }
        if (thread_.joinable()) thread_.join();
        return !failed_;
    }

  private:
    static constexpr size_t kQueuedBlocks = 16;

    void run() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (true) {
            changed_.wait(lock, [this] { return !queue_.empty() || closed_; });
            if (queue_.empty()) return;
            std::vector<uint8_t> block = std::move(queue_.front());
            queue_.pop_front();
            changed_.notify_all();
            lock.unlock();
            const bool ok = encoder_.write(block.data(), block.size());
            lock.lock();
            spare_.push_back(std::move(block));
            if (!ok) {
                failed_ = true;
                queue_.clear();
                changed_.notify_all();
                return;
            }
        }
    }

    TrackEncoder& encoder_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<uint8_t>> queue_;
    std::vector<std::vector<uint8_t>> spare_;
    bool closed_ = false, failed_ = false;
};

// One track: read, checksummed and encoded into a temporary file put in place at the end.
void ripTrack(int drive, int index, const engine::CdTrackEntry& entry, bool firstAudio,
              bool lastAudio, const RipOptions& options, const RipTags& tags,
              const std::string& path, TrackRip& t, uint64_t& discDone, uint64_t discTotal,
              const RipHooks& hooks, const std::atomic<bool>* stop) {
    std::error_code ec;
    fs::create_directories(files::pathFromUtf8(path).parent_path(), ec);
    std::string error;
    const std::string temp = files::createTemporaryBeside(path, error);
    if (temp.empty()) {
        t.status = TrackRip::Status::WriteFailed;
        t.message = error;
        return;
    }
    auto encoder = openTrackEncoder(options.format, temp, tags, options.bitrate, error);
    if (!encoder) {
        removeQuietly(temp);
        t.status = TrackRip::Status::WriteFailed;
        t.message = error;
        return;
    }
    HSTREAM stream = BASS_CD_StreamCreate(DWORD(drive), DWORD(index), BASS_STREAM_DECODE);
    if (!stream) {
        encoder.reset();
        removeQuietly(temp);
        t.status = TrackRip::Status::ReadFailed;
        t.message =
            "the track cannot be read (Error Code : " + std::to_string(BASS_ErrorGetCode()) + ")";
        return;
    }
    std::atomic<bool> readError{false};
    BASS_ChannelSetSync(stream, BASS_SYNC_CD_ERROR | BASS_SYNC_ONETIME, 0, onReadError, &readError);
    if (hooks.trackStarted) hooks.trackStarted(index, stream);

    const uint64_t expected = uint64_t(entry.sectors) * BASS_CD_SECTOR_BYTES;
    TrackChecksums sums(uint64_t(entry.sectors) * kFramesPerSector, firstAudio, lastAudio);
    bool writeFailed = false, stopped = false;
    EncodeThread encoding(*encoder);
    while (BASS_ChannelIsActive(stream)) {
        std::vector<uint8_t> buf = encoding.buffer();
        const int n = BASS_ChannelGetData(stream, buf.data(), kReadBytes);
        if (n <= 0) break;
        buf.resize(size_t(n));
        sums.add(buf.data(), size_t(n));
        t.bytes += uint64_t(n);
        discDone += uint64_t(n);
        if (!encoding.push(std::move(buf))) {
            writeFailed = true;
            break;
        }
        if (hooks.trackProgress) hooks.trackProgress(t.bytes, expected);
        if (hooks.progress) hooks.progress(discDone, discTotal);
        if (stop && stop->load()) {
            stopped = t.bytes < expected;
            break;
        }
    }
    if (!encoding.finish()) writeFailed = true;
    engine::cdStreamReadReport(stream, &t.report);
    BASS_ChannelStop(stream);
    BASS_StreamFree(stream);

    t.crc32 = sums.crc32();
    t.accurateRipV1 = sums.accurateRipV1();
    t.accurateRipV2 = sums.accurateRipV2();
    t.peak = sums.peak();
    const bool finished = !writeFailed && encoder->finish();
    if (!finished && !writeFailed) writeFailed = true;
    const std::string encoderError = encoder->error();
    encoder.reset();
    if (stopped) {
        t.status = TrackRip::Status::Stopped;
        t.message = "stopped after " + std::to_string(t.bytes) + " of " + std::to_string(expected) +
                    " bytes";
    } else if (readError.load() || t.bytes < expected) {
        t.status = TrackRip::Status::ReadFailed;
        t.message = "the disc failed after " + std::to_string(t.bytes) + " of " +
                    std::to_string(expected) + " bytes";
        if (t.report.readErrors == 0) t.report.readErrors = 1;
    } else if (writeFailed) {
        t.status = TrackRip::Status::WriteFailed;
        t.message = encoderError;
    } else {
        files::CopyResult put = files::replaceFile(temp, path);
        if (put.ok) {
            t.status = TrackRip::Status::Ripped;
            t.path = path;
            return;
        }
        t.status = TrackRip::Status::WriteFailed;
        t.message = put.message;
    }
    removeQuietly(temp);
}

std::string percentText(uint32_t peak) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.1f %%", double(peak) * 100.0 / 32768.0);
    return buf;
}

std::string statusText(const TrackRip& t) {
    switch (t.status) {
        case TrackRip::Status::Ripped:
            if (t.report.skipped > 0 || t.report.readErrors > 0)
                return "SKIPPED READS: copied, but not an exact copy of the disc";
            return "OK";
        case TrackRip::Status::DataTrack:
            return "data track, skipped";
        case TrackRip::Status::ReadFailed:
            return "READ FAILED: " + t.message + "; no file";
        case TrackRip::Status::WriteFailed:
            return "WRITE FAILED: " + t.message + "; no file";
        case TrackRip::Status::Stopped:
            return "stopped: " + t.message + "; no file";
        case TrackRip::Status::NotReached:
            return "not ripped (the rip ended before this track)";
    }
    return "";
}

std::string upperHex8(uint32_t v) {
    char buf[9];
    std::snprintf(buf, sizeof buf, "%08X", v);
    return buf;
}

}  // namespace

bool DiscRip::allClean() const {
    if (status != Status::Done) return false;
    bool any = false;
    for (const TrackRip& t : tracks) {
        if (t.status == TrackRip::Status::DataTrack) continue;
        if (!t.clean()) return false;
        any = true;
    }
    return any;
}

DiscRip ripDisc(int drive, const RipOptions& options, const RipHooks& hooks,
                const std::atomic<bool>* stop) {
    const auto start = std::chrono::steady_clock::now();
    const std::string when = nowText();
    DiscRip rip;
    rip.format = options.format;
    rip.readOffset = options.readOffset;
    rip.driveName = engine::cdDriveName(DWORD(drive));
    rip.paranoiaMode = engine::cdParanoiaMode();

    engine::CdToc toc;
    if (!engine::cdReadToc(DWORD(drive), &toc) || toc.tracks.empty()) {
        rip.status = DiscRip::Status::NoDisc;
        rip.message = "There is no readable disc in the drive. (Error Code : " +
                      std::to_string(BASS_ErrorGetCode()) + ")";
        return rip;
    }
    std::error_code ec;
    fs::create_directories(files::pathFromUtf8(options.folder), ec);
    if (!fs::is_directory(files::pathFromUtf8(options.folder), ec)) {
        rip.status = DiscRip::Status::NoFolder;
        rip.message = "The folder \"" + options.folder + "\" cannot be made.";
        return rip;
    }
    engine::setCdReadOffset(DWORD(drive), options.readOffset);

    const int n = int(toc.tracks.size());
    CdTextTables text;
    text.titles.assign(size_t(n) + 1, "");
    text.performers.assign(size_t(n) + 1, "");
    if (const char* block = BASS_CD_GetID(DWORD(drive), BASS_CDID_TEXT)) {
        CdTextTables parsed;
        RoutineError error;
        if (parseCdText(block, n, parsed, error)) text = parsed;
    }
    rip.artist = text.performers[0];
    rip.album = text.titles[0];

    DiscLayout layout;
    layout.leadOut = toc.leadOutLba;
    int firstAudio = -1, lastAudio = -1, audioTracks = 0;
    uint64_t total = 0;
    for (int i = 0; i < n; ++i) {
        layout.trackStarts.push_back(toc.tracks[size_t(i)].startLba);
        if (!toc.tracks[size_t(i)].audio) continue;
        if (firstAudio < 0) firstAudio = i;
        lastAudio = i;
        ++audioTracks;
        total += uint64_t(toc.tracks[size_t(i)].sectors) * BASS_CD_SECTOR_BYTES;
    }
    rip.ids = discIds(layout);

    rip.tracks.resize(size_t(n));
    std::set<std::string> taken;
    uint64_t done = 0;
    bool stopped = false;
    for (int i = 0; i < n; ++i) {
        const engine::CdTrackEntry& entry = toc.tracks[size_t(i)];
        TrackRip& t = rip.tracks[size_t(i)];
        t.number = entry.number > 0 ? entry.number : i + 1;
        t.title = text.titles[size_t(i) + 1];
        t.artist =
            text.performers[size_t(i) + 1].empty() ? rip.artist : text.performers[size_t(i) + 1];
        if (stopped) continue;
        if (!entry.audio) {
            t.status = TrackRip::Status::DataTrack;
            if (hooks.trackDone) hooks.trackDone(t);
            continue;
        }
        TrackNaming naming{t.number, t.title, t.artist, rip.artist, rip.album, options.year};
        const std::string path =
            uniquePath(options.folder, expandNameTemplate(options.nameTemplate, naming),
                       ripFormatExtension(options.format), taken);
        RipTags tags{t.title, t.artist, rip.album, options.year, t.number, audioTracks};
        ripTrack(drive, i, entry, i == firstAudio, i == lastAudio, options, tags, path, t, done,
                 total, hooks, stop);
        if (hooks.trackDone) hooks.trackDone(t);
        if (t.status == TrackRip::Status::Stopped || (stop && stop->load())) stopped = true;
    }
    rip.status = stopped ? DiscRip::Status::Stopped : DiscRip::Status::Done;
    rip.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    const std::string logName =
        rip.album.empty()
            ? std::string("rip")
            : safeFileName(rip.artist.empty() ? rip.album : rip.artist + " - " + rip.album);
    const std::string logPath = uniquePath(options.folder, logName, ".log", taken);
    if (writeTextFile(logPath, ripLogText(rip, when))) rip.logPath = logPath;
    return rip;
}

std::string ripLogText(const DiscRip& rip, const std::string& when) {
    std::ostringstream o;
    o << kProgram << " rip log\n\n"
      << "Date: " << when << "\n"
      << "Drive: " << rip.driveName << "\n"
      << "Read offset: " << (rip.readOffset > 0 ? "+" : "") << rip.readOffset << " samples\n"
      << "Paranoia mode: " << rip.paranoiaMode << "\n"
      << "Format: " << ripFormatName(rip.format) << "\n\n"
      << "Artist: " << rip.artist << "\n"
      << "Album: " << rip.album << "\n"
      << "Tracks: " << rip.ids.tracks << "\n"
      << "freedb disc ID: " << hex8(rip.ids.freedb) << "\n"
      << "AccurateRip disc ID: " << hex8(rip.ids.accurateRip1) << "-" << hex8(rip.ids.accurateRip2)
      << "-" << hex8(rip.ids.freedb) << "\n"
      << "AccurateRip database: " << accurateRipUrl(rip.ids) << "\n";
    std::vector<int> unclean;
    for (const TrackRip& t : rip.tracks) {
        o << "\nTrack " << (t.number < 10 ? "0" : "") << t.number << "\n";
        if (t.status == TrackRip::Status::DataTrack || t.status == TrackRip::Status::NotReached) {
            o << "  Status: " << statusText(t) << "\n";
            if (t.status == TrackRip::Status::NotReached) unclean.push_back(t.number);
            continue;
        }
        o << "  File: " << (t.path.empty() ? "(none)" : fs::path(t.path).filename().string())
          << "\n"
          << "  Title: " << t.title << "\n"
          << "  Peak level: " << percentText(t.peak) << "\n"
          << "  CRC32: " << upperHex8(t.crc32) << "\n"
          << "  AccurateRip v1: " << upperHex8(t.accurateRipV1) << "\n"
          << "  AccurateRip v2: " << upperHex8(t.accurateRipV2) << "\n"
          << "  Sectors read: " << t.report.sectorsRead << "\n"
          << "  Reads corrected: " << t.report.corrected << "\n"
          << "  Reads skipped: " << t.report.skipped << "\n"
          << "  Re-reads: " << t.report.reReads << "\n"
          << "  Read errors: " << t.report.readErrors << "\n"
          << "  Status: " << statusText(t) << "\n";
        if (!t.clean()) unclean.push_back(t.number);
    }
    o << "\n";
    if (rip.status == DiscRip::Status::Stopped) o << "The rip was stopped before its end. ";
    if (unclean.empty() && rip.allClean()) {
        o << "Every audio track was read without skips or read errors.\n";
    } else {
        o << "NOT every track was read without skips or read errors; see track";
        o << (unclean.size() == 1 ? " " : "s ");
        for (size_t i = 0; i < unclean.size(); ++i) o << (i ? ", " : "") << unclean[i];
        o << ".\n";
    }
    return o.str();
}

}  // namespace cd
