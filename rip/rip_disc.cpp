#include "rip/rip_disc.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <system_error>
#include <thread>
#include <utility>

extern "C" {
#include <nettle/md5.h>
}

#include "disc/basscd.h"
#include "files/file_io.h"
#include "files/safe_copy.h"
#include "files/temporary_file.h"
#include "rip/track_list.h"

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

// A track handed to the encoding thread: what to write, and what became of it.
struct TrackJob {
    int index = 0;  // into DiscRip::tracks
    RipFormat format = RipFormat::Flac;
    RipTags tags;
    uint32_t bitrate = 0;
    std::string temp, path;
    // FLAC: the reader computes the audio's MD5 signature, handed over with the job's end.
    bool md5Given = false;
    AudioMd5 md5{};
    // Set by the encoding thread when the encoder cannot start or a write fails; the reader then
    // stops reading the track.
    std::atomic<bool> failed{false};
    // Set by the reader when it ends the track without keeping it: its blocks are dropped.
    std::atomic<bool> dropped{false};
    // Written by the encoding thread before the job is handed back ended.
    bool ripped = false;
    std::string message;  // why the file was not written
};

// Encodes every track of the disc on one thread while the caller reads, so that reading the disc
// and encoding overlap across track boundaries too: while the caller reads track N+1, the thread
// still writes track N's last blocks, finishes its file (flush, tags, close) and puts it in
// place. Each track's encoder is opened, used and closed on the thread. At most kQueuedBlocks
// blocks wait (4 MB, 24 s of audio, so that the thread is not starved while the reader waits to
// be scheduled); a reader that found the queue full sleeps until a quarter of it is free. The
// blocks of a track ended without keeping it (stopped, failed reading) are dropped unwritten, so
// that a Stop waits only for the tracks read completely. Buffers are reused.
class DiscEncoder {
  public:
    DiscEncoder() {
        thread_ = std::thread([this] { run(); });
    }
    ~DiscEncoder() { close(); }

    // A buffer to read into (from those the thread has done with).
    std::vector<uint8_t> buffer() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (spare_.empty()) return std::vector<uint8_t>(kReadBytes);
        std::vector<uint8_t> b = std::move(spare_.back());
        spare_.pop_back();
        b.resize(kReadBytes);
        return b;
    }
    // Queues a block of `job` (its size is the bytes to write); waits while the queue is full.
    // False once the job's encoder has failed.
    bool push(const std::shared_ptr<TrackJob>& job, std::vector<uint8_t> block) {
        std::unique_lock<std::mutex> lock(mutex_);
        space_.wait(lock, [&] { return blocks_ < kQueuedBlocks || job->failed.load(); });
        if (job->failed.load()) return false;
        queue_.push_back(Item{job, std::move(block), false, false});
        ++blocks_;
        work_.notify_one();
        return true;
    }
    // Ends `job` after its queued blocks: `keep` finishes the file and puts it in place under
    // its final name; otherwise (or when that fails) its temporary file is removed.
    void end(const std::shared_ptr<TrackJob>& job, bool keep) {
        if (!keep) job->dropped = true;
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(Item{job, {}, true, keep});
        work_.notify_one();
    }
    // The jobs ended since the last call, in the order they were queued.
    std::vector<std::shared_ptr<TrackJob>> takeEnded() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::exchange(ended_, {});
    }
    // Waits until every queued job has ended.
    void close() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closed_ = true;
            work_.notify_one();
        }
        if (thread_.joinable()) thread_.join();
    }

  private:
    static constexpr size_t kQueuedBlocks = 64;

    struct Item {
        std::shared_ptr<TrackJob> job;
        std::vector<uint8_t> block;
        bool end = false, keep = false;
    };

    void run() {
        std::unique_ptr<TrackEncoder> encoder;
        const TrackJob* current = nullptr;
        std::unique_lock<std::mutex> lock(mutex_);
        while (true) {
            work_.wait(lock, [this] { return !queue_.empty() || closed_; });
            if (queue_.empty()) return;
            Item item = std::move(queue_.front());
            queue_.pop_front();
            if (!item.end && --blocks_ == kQueuedBlocks * 3 / 4) space_.notify_one();
            lock.unlock();

            TrackJob& job = *item.job;
            if (current != &job) {
                current = &job;
                encoder.reset();
                if (!job.dropped.load()) {
                    std::string error;
                    encoder = openTrackEncoder(job.format, job.temp, job.tags, job.bitrate, error,
                                               job.md5Given);
                    if (!encoder) fail(job, error);
                }
            }
            if (!item.end) {
                if (!job.failed.load() && !job.dropped.load() &&
                    !encoder->write(item.block.data(), item.block.size()))
                    fail(job, encoder->error());
            } else {
                if (item.keep && !job.failed.load()) {
                    if (job.md5Given) encoder->setAudioMd5(job.md5);
                    if (encoder->finish()) {
                        const files::CopyResult put = files::replaceFile(job.temp, job.path);
                        job.ripped = put.ok;
                        if (!put.ok) job.message = put.message;
                    } else {
                        job.message = encoder->error();
                    }
                }
                encoder.reset();
                current = nullptr;
                if (!job.ripped) removeQuietly(job.temp);
            }

            lock.lock();
            if (!item.end) spare_.push_back(std::move(item.block));
            if (item.end) ended_.push_back(std::move(item.job));
        }
    }

    // Marks `job` failed and wakes a reader waiting to queue one of its blocks.
    void fail(TrackJob& job, const std::string& message) {
        std::lock_guard<std::mutex> lock(mutex_);
        job.message = message;
        job.failed = true;
        space_.notify_one();
    }

    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable work_;   // the thread waits for blocks and ends
    std::condition_variable space_;  // the reader waits for room in the queue
    std::deque<Item> queue_;
    size_t blocks_ = 0;  // blocks in queue_
    std::vector<std::vector<uint8_t>> spare_;
    std::vector<std::shared_ptr<TrackJob>> ended_;
    bool closed_ = false;
};

// How the reading of a track ended, as far as the reader can tell.
enum class ReadEnd { Complete, Stopped, ReadFailed, WriteFailed };

// One track: read and checksummed here, encoded by `encoding` into a temporary file that the
// encoding thread puts in place once it is complete. Returns the job handed to `encoding`, or
// null when the track ended before any (its status is then set).
std::shared_ptr<TrackJob> ripTrack(int drive, int index, const engine::CdTrackEntry& entry,
                                   bool firstAudio, bool lastAudio, const RipOptions& options,
                                   const RipTags& tags, const std::string& path, TrackRip& t,
                                   uint64_t& discDone, uint64_t discTotal, const RipHooks& hooks,
                                   const std::atomic<bool>* stop, DiscEncoder& encoding,
                                   const std::function<void()>& reportEnded) {
    std::error_code ec;
    fs::create_directories(files::pathFromUtf8(path).parent_path(), ec);
    std::string error;
    const std::string temp = files::createTemporaryBeside(path, error);
    if (temp.empty()) {
        t.status = TrackRip::Status::WriteFailed;
        t.message = error;
        return nullptr;
    }
    HSTREAM stream = BASS_CD_StreamCreate(DWORD(drive), DWORD(index), BASS_STREAM_DECODE);
    if (!stream) {
        removeQuietly(temp);
        t.status = TrackRip::Status::ReadFailed;
        t.message =
            "the track cannot be read (Error Code : " + std::to_string(BASS_ErrorGetCode()) + ")";
        return nullptr;
    }
    auto job = std::make_shared<TrackJob>();
    job->index = index;
    job->format = options.format;
    job->tags = tags;
    job->bitrate = options.bitrate;
    job->temp = temp;
    job->path = path;
    // The FLAC signature is computed here, beside the checksums, so that the encoding thread,
    // the one that sets the pace, does less.
    job->md5Given = options.format == RipFormat::Flac;
    md5_ctx md5;
    md5_init(&md5);

    std::atomic<bool> readError{false};
    BASS_ChannelSetSync(stream, BASS_SYNC_CD_ERROR | BASS_SYNC_ONETIME, 0, onReadError, &readError);
    if (hooks.trackStarted) hooks.trackStarted(index, stream);

    const uint64_t expected = uint64_t(entry.sectors) * BASS_CD_SECTOR_BYTES;
    TrackChecksums sums(uint64_t(entry.sectors) * kFramesPerSector, firstAudio, lastAudio);
    bool writeFailed = false, stopped = false;
    while (BASS_ChannelIsActive(stream)) {
        std::vector<uint8_t> buf = encoding.buffer();
        const int n = BASS_ChannelGetData(stream, buf.data(), kReadBytes);
        if (n <= 0) break;
        buf.resize(size_t(n));
        sums.add(buf.data(), size_t(n));
        if (job->md5Given) md5_update(&md5, size_t(n), buf.data());
        t.bytes += uint64_t(n);
        discDone += uint64_t(n);
        if (!encoding.push(job, std::move(buf))) {
            writeFailed = true;
            break;
        }
        if (hooks.trackProgress) hooks.trackProgress(t.bytes, expected);
        if (hooks.progress) hooks.progress(discDone, discTotal);
        reportEnded();
        if (stop && stop->load()) {
            stopped = t.bytes < expected;
            break;
        }
    }
    engine::cdStreamReadReport(stream, &t.report);
    BASS_ChannelStop(stream);
    BASS_StreamFree(stream);

    t.crc32 = sums.crc32();
    t.accurateRipV1 = sums.accurateRipV1();
    t.accurateRipV2 = sums.accurateRipV2();
    t.peak = sums.peak();
    if (job->md5Given) md5_digest(&md5, MD5_DIGEST_SIZE, job->md5.data());
    if (stopped) {
        t.status = TrackRip::Status::Stopped;
        t.message = "stopped after " + std::to_string(t.bytes) + " of " + std::to_string(expected) +
                    " bytes";
    } else if (readError.load() || (!writeFailed && t.bytes < expected)) {
        t.status = TrackRip::Status::ReadFailed;
        t.message = "the disc failed after " + std::to_string(t.bytes) + " of " +
                    std::to_string(expected) + " bytes";
        if (t.report.readErrors == 0) t.report.readErrors = 1;
    }
    // Still NotReached when the read was complete (or only the writing failed): the encoding
    // thread's outcome decides.
    encoding.end(job, !writeFailed && t.status == TrackRip::Status::NotReached);
    return job;
}

// What the encoding thread made of a track whose reading ended with `t.status` still open.
void applyEnded(const TrackJob& job, TrackRip& t) {
    if (t.status != TrackRip::Status::NotReached) return;  // stopped or failed reading: no file
    if (job.ripped) {
        t.status = TrackRip::Status::Ripped;
        t.path = job.path;
    } else {
        t.status = TrackRip::Status::WriteFailed;
        t.message = job.message;
    }
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
            if (t.missingBytes > 0)
                return "CUT SHORT: the image is shorter than its cue sheet; the last " +
                       std::to_string(t.missingBytes) + " bytes of the track are missing";
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

namespace {

std::string trackList(const std::vector<int>& numbers) {
    std::string s = numbers.size() == 1 ? "track " : "tracks ";
    for (size_t i = 0; i < numbers.size(); ++i) s += (i ? ", " : "") + std::to_string(numbers[i]);
    return s;
}

}  // namespace

std::string ripFaultSummary(const DiscRip& rip) {
    std::vector<int> reads, cut, writes, notRipped;
    for (const TrackRip& t : rip.tracks) {
        switch (t.status) {
            case TrackRip::Status::DataTrack:
                break;
            case TrackRip::Status::Ripped:
                if (t.report.skipped > 0 || t.report.readErrors > 0) reads.push_back(t.number);
                if (t.missingBytes > 0) cut.push_back(t.number);
                break;
            case TrackRip::Status::ReadFailed:
                reads.push_back(t.number);
                break;
            case TrackRip::Status::WriteFailed:
                writes.push_back(t.number);
                break;
            case TrackRip::Status::Stopped:
            case TrackRip::Status::NotReached:
                notRipped.push_back(t.number);
                break;
        }
    }
    std::string s;
    auto say = [&](const std::string& sentence) { s += (s.empty() ? "" : " ") + sentence; };
    if (!reads.empty())
        say("NOT every track was read without skips or read errors; see " + trackList(reads) + ".");
    if (!cut.empty())
        say("The image is shorter than its cue sheet: " + trackList(cut) + " is cut short.");
    if (!writes.empty())
        say("NOT every file could be written (the fault is in the folder's disk, not the CD); "
            "see " +
            trackList(writes) + ".");
    if (!notRipped.empty()) say("NOT every track was ripped; see " + trackList(notRipped) + ".");
    return s;
}

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
        layout.audio.push_back(toc.tracks[size_t(i)].audio);
        if (!toc.tracks[size_t(i)].audio) continue;
        if (firstAudio < 0) firstAudio = i;
        lastAudio = i;
        ++audioTracks;
        total += uint64_t(toc.tracks[size_t(i)].sectors) * BASS_CD_SECTOR_BYTES;
    }
    rip.ids = discIds(layout);

    rip.tracks.resize(size_t(n));
    // Tracks are reported done in disc order, each once its file is finished (or not made).
    enum class Report { Pending, Due, Silent };
    std::vector<Report> reports(size_t(n), Report::Pending);
    size_t reported = 0;
    DiscEncoder encoding;
    auto reportEnded = [&] {
        for (const auto& job : encoding.takeEnded()) {
            applyEnded(*job, rip.tracks[size_t(job->index)]);
            reports[size_t(job->index)] = Report::Due;
        }
        for (; reported < reports.size() && reports[reported] != Report::Pending; ++reported)
            if (reports[reported] == Report::Due && hooks.trackDone)
                hooks.trackDone(rip.tracks[reported]);
    };
    std::set<std::string> taken;
    // Names longer than the folder's file system takes are shortened, leaving room for what
    // uniquePath() adds.
    const size_t longest =
        std::max<size_t>(files::longestFileName(options.folder), 64) - kNameSuffixRoom;
    uint64_t done = 0;
    bool stopped = false;
    for (int i = 0; i < n; ++i) {
        const engine::CdTrackEntry& entry = toc.tracks[size_t(i)];
        TrackRip& t = rip.tracks[size_t(i)];
        t.number = entry.number > 0 ? entry.number : i + 1;
        t.title = text.titles[size_t(i) + 1];
        t.artist =
            text.performers[size_t(i) + 1].empty() ? rip.artist : text.performers[size_t(i) + 1];
        if (stopped) {
            reports[size_t(i)] = Report::Silent;
            continue;
        }
        if (!entry.audio) {
            t.status = TrackRip::Status::DataTrack;
            reports[size_t(i)] = Report::Due;
            reportEnded();
            continue;
        }
        TrackNaming naming{t.number, t.title, t.artist, rip.artist, rip.album, options.year};
        const std::string path =
            uniquePath(options.folder, expandNameTemplate(options.nameTemplate, naming, longest),
                       ripFormatExtension(options.format), taken);
        RipTags tags{t.title, t.artist, rip.album, options.year, t.number, audioTracks};
        // An image cut inside a sector lacks the end of its last track.
        if (i == n - 1) t.missingBytes = toc.missingBytes;
        if (!ripTrack(drive, i, entry, i == firstAudio, i == lastAudio, options, tags, path, t,
                      done, total, hooks, stop, encoding, reportEnded))
            reports[size_t(i)] = Report::Due;
        reportEnded();
        if (t.status == TrackRip::Status::Stopped || (stop && stop->load())) stopped = true;
    }
    encoding.close();
    reportEnded();
    rip.status = stopped ? DiscRip::Status::Stopped : DiscRip::Status::Done;
    rip.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    const TrackNaming disc{0, {}, {}, rip.artist, rip.album, {}};
    const std::string logName =
        rip.album.empty()
            ? std::string("rip")
            : expandNameTemplate(rip.artist.empty() ? "%d" : "%A - %d", disc, longest);
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
    for (const TrackRip& t : rip.tracks) {
        o << "\nTrack " << (t.number < 10 ? "0" : "") << t.number << "\n";
        if (t.status == TrackRip::Status::DataTrack || t.status == TrackRip::Status::NotReached) {
            o << "  Status: " << statusText(t) << "\n";
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
    }
    o << "\n";
    if (rip.status == DiscRip::Status::Stopped) o << "The rip was stopped before its end. ";
    const std::string faults = ripFaultSummary(rip);
    if (!faults.empty())
        o << faults << "\n";
    else if (rip.allClean())
        o << "Every audio track was read without skips or read errors.\n";
    else
        o << "NOT every track was ripped.\n";
    return o.str();
}

}  // namespace cd
