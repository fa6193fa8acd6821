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
#include "files/texts.h"
#include "rip/track_list.h"

namespace fs = std::filesystem;

namespace cd {

namespace {

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

// Writes `text` to `path` through a temporary beside it.
bool writeTextFile(const std::string& path, const std::string& text) {
    std::string error;
    const std::string temp = files::createTemporaryBeside(path, error);
    if (temp.empty()) return false;
    std::FILE* f = files::openFile(temp, "wb");
    bool ok = f && std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (f && std::fclose(f) != 0) ok = false;
    if (!ok) {
        files::removeTemporary(temp);
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
                if (!job.ripped) files::removeTemporary(job.temp);
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

// Where a track's audio comes from: a track of the table of contents, or the hidden track
// before track 1 (tocIndex -1), and whether it is the first or last audio track (for the
// AccurateRip sums).
struct TrackSource {
    int drive = 0;
    int tocIndex = 0;
    uint32_t sectors = 0;
    bool firstAudio = false, lastAudio = false;
};

// Why the reading of a track (its test read, with `testRead`) ended after `bytes` of `expected`:
// a disc failed, or a disc image's files end early, are damaged or could not be read.
std::string readEndedEarly(const TrackSource& source, uint64_t bytes, uint64_t expected,
                           bool testRead) {
    const bool image = !engine::cdImageFiles(DWORD(source.drive)).empty();
    const std::string text =
        image      ? testRead ? files::userText("rip",
                                                "the image could be read in the test read only up to "
                                                     "%1 of %2 bytes: its files end early, are damaged or "
                                                     "could not be read")
                              : files::userText("rip",
                                                "the image could be read only up to %1 of %2 bytes: "
                                                     "its files end early, are damaged or could not be read")
             : testRead ? files::userText("rip", "the disc failed in the test read after %1 of %2 bytes")
                   : files::userText("rip", "the disc failed after %1 of %2 bytes");
    return files::fillIn(text, {std::to_string(bytes), std::to_string(expected)});
}

HSTREAM openTrackStream(const TrackSource& source) {
    return source.tocIndex < 0
               ? engine::cdHiddenTrackStreamCreate(DWORD(source.drive), BASS_STREAM_DECODE)
               : BASS_CD_StreamCreate(DWORD(source.drive), DWORD(source.tocIndex),
                                      BASS_STREAM_DECODE);
}

std::string cannotRead() {
    return files::fillIn(files::userText("rip", "the track cannot be read (Error Code : %1)"),
                         {std::to_string(BASS_ErrorGetCode())});
}

// Test and copy: the test read, for the track's CRC only. False when the track ends here (the
// read failed or was stopped: its status is then set).
bool testRead(const TrackSource& source, int index, TrackRip& t, uint64_t& discDone,
              uint64_t discTotal, const RipHooks& hooks, const std::atomic<bool>* stop) {
    HSTREAM stream = openTrackStream(source);
    if (!stream) {
        t.status = TrackRip::Status::ReadFailed;
        t.message = cannotRead();
        return false;
    }
    std::atomic<bool> readError{false};
    BASS_ChannelSetSync(stream, BASS_SYNC_CD_ERROR | BASS_SYNC_ONETIME, 0, onReadError, &readError);
    if (hooks.trackStarted) hooks.trackStarted(index, stream);
    const uint64_t expected = uint64_t(source.sectors) * BASS_CD_SECTOR_BYTES;
    TrackChecksums sums(uint64_t(source.sectors) * kFramesPerSector, false, false);
    std::vector<uint8_t> buf(kReadBytes);
    uint64_t bytes = 0;
    bool stopped = false;
    while (BASS_ChannelIsActive(stream)) {
        const int n = BASS_ChannelGetData(stream, buf.data(), kReadBytes);
        if (n <= 0) break;
        sums.add(buf.data(), size_t(n));
        bytes += uint64_t(n);
        discDone += uint64_t(n);
        if (hooks.trackProgress) hooks.trackProgress(bytes, expected);
        if (hooks.progress) hooks.progress(discDone, discTotal);
        if (stop && stop->load()) {
            stopped = bytes < expected;
            break;
        }
    }
    engine::CdReadReport report;
    engine::cdStreamReadReport(stream, &report);
    BASS_ChannelStop(stream);
    BASS_StreamFree(stream);
    if (stopped) {
        t.status = TrackRip::Status::Stopped;
        t.message =
            files::fillIn(files::userText("rip", "stopped in the test read after %1 of %2 bytes"),
                          {std::to_string(bytes), std::to_string(expected)});
        return false;
    }
    if (readError.load() || bytes < expected) {
        t.status = TrackRip::Status::ReadFailed;
        t.message = readEndedEarly(source, bytes, expected, true);
        t.report = report;
        if (t.report.readErrors == 0) t.report.readErrors = 1;
        return false;
    }
    t.tested = true;
    t.testCrc32 = sums.crc32();
    return true;
}

// One track: read and checksummed here, encoded by `encoding` into a temporary file that the
// encoding thread puts in place once it is complete. Returns the job handed to `encoding`, or
// null when the track ended before any (its status is then set).
std::shared_ptr<TrackJob> ripTrack(const TrackSource& source, int index, const RipOptions& options,
                                   const RipTags& tags, const std::string& path, TrackRip& t,
                                   uint64_t& discDone, uint64_t discTotal, const RipHooks& hooks,
                                   const std::atomic<bool>* stop, DiscEncoder& encoding,
                                   const std::function<void()>& reportEnded) {
    if (options.testAndCopy && !testRead(source, index, t, discDone, discTotal, hooks, stop))
        return nullptr;
    std::error_code ec;
    fs::create_directories(files::pathFromUtf8(path).parent_path(), ec);
    std::string error;
    const std::string temp = files::createTemporaryBeside(path, error);
    if (temp.empty()) {
        t.status = TrackRip::Status::WriteFailed;
        t.message = error;
        return nullptr;
    }
    HSTREAM stream = openTrackStream(source);
    if (!stream) {
        files::removeTemporary(temp);
        t.status = TrackRip::Status::ReadFailed;
        t.message = cannotRead();
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

    const uint64_t expected = uint64_t(source.sectors) * BASS_CD_SECTOR_BYTES;
    TrackChecksums sums(uint64_t(source.sectors) * kFramesPerSector, source.firstAudio,
                        source.lastAudio);
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
        t.message = files::fillIn(files::userText("rip", "stopped after %1 of %2 bytes"),
                                  {std::to_string(t.bytes), std::to_string(expected)});
    } else if (readError.load() || (!writeFailed && t.bytes < expected)) {
        t.status = TrackRip::Status::ReadFailed;
        t.message = readEndedEarly(source, t.bytes, expected, false);
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
        // The encoder's message names the temporary, a name the user never saw.
        t.message = files::namingDestination(job.message, job.temp, job.path);
    }
}

// Whether the audio before track 1's INDEX 01 holds anything but digital silence.
bool hiddenTrackHasAudio(int drive) {
    HSTREAM stream = engine::cdHiddenTrackStreamCreate(DWORD(drive), BASS_STREAM_DECODE);
    if (!stream) return false;
    std::vector<uint8_t> buf(kReadBytes);
    bool audio = false;
    while (!audio && BASS_ChannelIsActive(stream)) {
        const int n = BASS_ChannelGetData(stream, buf.data(), kReadBytes);
        if (n <= 0) break;
        audio = std::any_of(buf.begin(), buf.begin() + n, [](uint8_t b) { return b != 0; });
    }
    BASS_StreamFree(stream);
    return audio;
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

bool DiscRip::allAccurate() const {
    if (accurateRipDbName.empty() || status != Status::Done) return false;
    bool any = false;
    for (const TrackRip& t : tracks) {
        if (t.status == TrackRip::Status::DataTrack || t.number == 0) continue;
        if (t.accurateRip.kind != AccurateRipVerdict::Kind::Accurate) return false;
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
    rip.folder = options.folder;
    rip.testAndCopy = options.testAndCopy;
    if (options.accurateRipDb) rip.accurateRipDbName = options.accurateRipDbName;
    rip.driveName = engine::cdDriveName(DWORD(drive));
    rip.paranoiaMode = engine::cdParanoiaMode(DWORD(drive));

    engine::CdToc toc;
    if (!engine::cdReadToc(DWORD(drive), &toc) || toc.tracks.empty()) {
        rip.status = DiscRip::Status::NoDisc;
        rip.message = files::fillIn(
            files::userText("rip", "There is no readable disc in the drive. (Error Code : %1)"),
            {std::to_string(BASS_ErrorGetCode())});
        return rip;
    }
    std::error_code ec;
    fs::create_directories(files::pathFromUtf8(options.folder), ec);
    std::error_code isFolder;
    if (!fs::is_directory(files::pathFromUtf8(options.folder), isFolder)) {
        std::error_code is;
        const bool file = fs::exists(files::pathFromUtf8(options.folder), is);
        rip.status = DiscRip::Status::NoFolder;
        rip.message =
            files::fillIn(files::userText("rip", "The folder \"%1\" cannot be made: %2."),
                          {options.folder, file ? files::userText("rip", "a file has that name")
                                           : ec ? ec.message()
                                                : files::userText("rip", "it is not a folder")});
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
    rip.genre = text.genre;
    rip.year = options.year.empty() ? toc.year : options.year;
    rip.catalog = toc.catalog;

    DiscLayout layout;
    layout.leadOut = toc.leadOutLba;
    layout.image = !engine::cdImageFiles(DWORD(drive)).empty();
    int firstAudio = -1, lastAudio = -1, audioTracks = 0;
    uint64_t total = 0;
    for (int i = 0; i < n; ++i) {
        layout.trackStarts.push_back(toc.tracks[size_t(i)].startLba);
        layout.audio.push_back(toc.tracks[size_t(i)].audio);
        layout.pregaps.push_back(toc.tracks[size_t(i)].pregapLba);
        if (!toc.tracks[size_t(i)].audio) continue;
        if (firstAudio < 0) firstAudio = i;
        lastAudio = i;
        ++audioTracks;
        total += uint64_t(toc.tracks[size_t(i)].sectors) * BASS_CD_SECTOR_BYTES;
        const std::string& performer = text.performers[size_t(i) + 1];
        if (!rip.artist.empty() && !performer.empty() && performer != rip.artist)
            rip.albumArtist = rip.artist;
    }
    rip.ids = discIds(layout);
    rip.musicBrainzId = musicBrainzDiscId(layout);
    rip.musicBrainzUrl = musicBrainzUrl(layout);

    // The tracks to rip, each with where it comes from: a hidden track first when there is one.
    std::vector<TrackSource> sources;
    const engine::CdTrackEntry& first = toc.tracks.front();
    if (first.audio && first.startLba > 0 && hiddenTrackHasAudio(drive)) {
        TrackRip hidden;
        hidden.number = 0;
        hidden.title = "Hidden track";
        hidden.artist = rip.artist;
        hidden.startLba = 0;
        rip.tracks.push_back(hidden);
        sources.push_back(TrackSource{drive, -1, first.startLba, false, false});
        total += uint64_t(first.startLba) * BASS_CD_SECTOR_BYTES;
    }
    for (int i = 0; i < n; ++i) {
        const engine::CdTrackEntry& entry = toc.tracks[size_t(i)];
        TrackRip t;
        t.number = entry.number > 0 ? entry.number : i + 1;
        t.title = text.titles[size_t(i) + 1];
        t.artist =
            text.performers[size_t(i) + 1].empty() ? rip.artist : text.performers[size_t(i) + 1];
        t.startLba = entry.startLba;
        t.pregapLba = entry.pregapLba;
        t.preEmphasis = entry.audio && entry.preEmphasis;
        t.copyPermitted = entry.copyPermitted;
        t.isrc = entry.isrc;
        rip.tracks.push_back(t);
        sources.push_back(TrackSource{drive, i, entry.sectors, i == firstAudio, i == lastAudio});
    }
    if (options.testAndCopy) total *= 2;
    // A track not an audio track: skipped.
    auto isData = [&](size_t k) {
        return sources[k].tocIndex >= 0 && !toc.tracks[size_t(sources[k].tocIndex)].audio;
    };

    const size_t count = rip.tracks.size();
    // Tracks are reported done in disc order, each once its file is finished (or not made).
    enum class Report { Pending, Due, Silent };
    std::vector<Report> reports(count, Report::Pending);
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
    int audioNumber = 0;  // the track's number among the audio tracks (AccurateRip's)
    for (size_t k = 0; k < count; ++k) {
        TrackRip& t = rip.tracks[k];
        const TrackSource& source = sources[k];
        if (stopped) {
            reports[k] = Report::Silent;
            continue;
        }
        if (isData(k)) {
            t.status = TrackRip::Status::DataTrack;
            reports[k] = Report::Due;
            reportEnded();
            continue;
        }
        TrackNaming naming{t.number, t.title, t.artist, rip.artist, rip.album, rip.year};
        const std::string path =
            uniquePath(options.folder, expandNameTemplate(options.nameTemplate, naming, longest),
                       ripFormatExtension(options.format), taken);
        // The total in the disc's numbering, as the track's number is: a data track before the
        // audio would otherwise give a number above the total (3/2).
        const int lastNumber = toc.tracks[size_t(lastAudio)].number > 0
                                   ? toc.tracks[size_t(lastAudio)].number
                                   : lastAudio + 1;
        RipTags tags{t.title, t.artist, rip.album, rip.year, t.number, lastNumber, {}, {}, false};
        tags.albumArtist = rip.albumArtist;
        tags.genre = rip.genre;
        tags.preEmphasis = t.preEmphasis;
        // An image cut inside a sector lacks the end of its last track.
        if (source.tocIndex == n - 1) t.missingBytes = toc.missingBytes;
        const bool handed = ripTrack(source, int(k), options, tags, path, t, done, total, hooks,
                                     stop, encoding, reportEnded) != nullptr;
        // Before the track is reported done: its checksums are known once its reading ended.
        if (source.tocIndex >= 0) {
            ++audioNumber;
            if (options.accurateRipDb && handed)
                t.accurateRip = verifyTrack(*options.accurateRipDb, audioNumber, audioTracks,
                                            t.accurateRipV1, t.accurateRipV2, &rip.ids);
        }
        if (!handed) reports[k] = Report::Due;
        reportEnded();
        if (t.status == TrackRip::Status::Stopped || (stop && stop->load())) stopped = true;
    }
    encoding.close();
    reportEnded();
    // Verdicts are only for what was ripped.
    for (TrackRip& t : rip.tracks)
        if (t.status != TrackRip::Status::Ripped) t.accurateRip = {};
    rip.status = stopped ? DiscRip::Status::Stopped : DiscRip::Status::Done;
    rip.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    const TrackNaming disc{0, {}, {}, rip.artist, rip.album, {}};
    const std::string logName =
        rip.album.empty()
            ? std::string("rip")
            : expandNameTemplate(rip.artist.empty() ? "%d" : "%A - %d", disc, longest);
    const std::string logPath = uniquePath(options.folder, logName, ".log", taken);
    // The cue sheet and the playlist name the files ripped: none without any.
    if (std::any_of(rip.tracks.begin(), rip.tracks.end(),
                    [](const TrackRip& t) { return t.status == TrackRip::Status::Ripped; })) {
        const std::string cuePath = uniquePath(options.folder, logName, ".cue", taken);
        const std::string playlistPath = uniquePath(options.folder, logName, ".m3u", taken);
        if (writeTextFile(cuePath, ripCueSheet(rip))) rip.cuePath = cuePath;
        if (writeTextFile(playlistPath, ripPlaylist(rip))) rip.playlistPath = playlistPath;
    }
    if (writeTextFile(logPath, ripLogText(rip, when))) rip.logPath = logPath;
    return rip;
}

}  // namespace cd
