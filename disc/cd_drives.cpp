// The drive table, the poller and the CD operations that answer from the drives' last state.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

#include "disc/cd_ext.h"
#include "disc/cd_internal.h"
#include "engine/engine_ext.h"

namespace engine::cd {

namespace {

// The sizes and modification times of an image's sheet and the files it reads.
std::string filesStamp(const std::string& sheet, std::vector<std::string> files) {
    files.push_back(sheet);
    std::string stamp;
    for (const std::string& f : files) {
        std::error_code ec;
        const auto p = std::filesystem::u8path(f);
        stamp +=
            std::to_string(std::filesystem::file_size(p, ec)) + ":" +
            std::to_string(std::filesystem::last_write_time(p, ec).time_since_epoch().count()) +
            ";";
    }
    return stamp;
}

}  // namespace

// --- Drive ---------------------------------------------------------------------------------

Drive::Drive(std::unique_ptr<Backend> backend, std::string path_, std::string name_,
             std::string description_, BASS_CD_INFO info_, bool image_)
    : path(std::move(path_)),
      name(std::move(name_)),
      description(std::move(description_)),
      info(info_),
      image(image_),
      backend_(std::move(backend)) {
    if (image) stamp_ = filesStamp(path, backend_->files());
}

std::shared_ptr<Backend> Drive::backend() const {
    std::lock_guard lk(stateMutex_);
    return backend_;
}

bool Drive::imageChanged() const {
    if (!image) return false;
    const std::shared_ptr<Backend> b = backend();
    const std::string now = filesStamp(path, b->files());
    std::lock_guard lk(stateMutex_);
    return now != stamp_;
}

void Drive::replaceImage(std::unique_ptr<Backend> replacement) {
    std::lock_guard io(ioMutex_);
    std::shared_ptr<Backend> b = std::move(replacement);
    const std::string stamp = filesStamp(path, b->files());
    const Probe p = b->probe();
    std::shared_ptr<const Disc> d = p.ready ? b->readDisc() : nullptr;
    // The new sectors, their table and the new generation at once: a reader opened on the table
    // before reads the image before, or fails.
    std::lock_guard lk(stateMutex_);
    backend_ = std::move(b);
    stamp_ = stamp;
    doorOpen_ = p.doorOpen;
    locked_ = p.locked;
    disc_ = std::move(d);
    ++generation_;
}

void Drive::poll() {
    std::lock_guard io(ioMutex_);
    runQueuedDoorActions();
    CdTestFaults f;
    {
        // The stand-in holds the drive as a long table-of-contents read would.
        std::unique_lock lk(faultMutex_);
        holdCv_.wait(lk, [&] { return !faults_.holdQueries || released_; });
        f = faults_;
    }
    Probe p;
    if (f.doorOpen) {
        p.doorOpen = true;
        p.locked = locked_.load();
    } else {
        p = backend()->probe();
    }
    std::shared_ptr<const Disc> d;
    if (p.ready) {
        d = disc();
        if (!d || p.changed) d = backend()->readDisc();
    }
    store(p, std::move(d));
}

void Drive::store(const Probe& p, std::shared_ptr<const Disc> d) {
    doorOpen_ = p.doorOpen;
    locked_ = p.locked;
    std::lock_guard lk(stateMutex_);
    if (d != disc_) {
        disc_ = std::move(d);
        ++generation_;
    }
}

std::shared_ptr<const Disc> Drive::disc(uint64_t* generation) const {
    std::lock_guard lk(stateMutex_);
    if (generation) *generation = generation_.load();
    return disc_;
}

int Drive::door(DWORD action) {
    // Never waits for the drive: while the poller is in a conversation with it (a table of
    // contents and CD-Text can take seconds), the action is queued and the poller runs it next.
    // Moving a real drive's tray takes it a second or more: that is always the poller's.
    // An action after one still queued waits its turn behind it, on the poller.
    const bool tray = action == BASS_CD_DOOR_OPEN || action == BASS_CD_DOOR_CLOSE;
    std::unique_lock io(ioMutex_, std::defer_lock);
    {
        // The queue's lock, then a try of the drive's: the poller takes them the other way round,
        // but never waits for this one.
        std::lock_guard lk(doorQueueMutex_);
        if ((tray && info.canopen) || !doorQueue_.empty() || !io.try_lock()) {
            doorQueue_.push_back(action);
            return 0;
        }
    }
    return runDoorAction(action);
}

int Drive::runDoorAction(DWORD action) {
    int err = backend()->door(action);
    if (err == 0 && (action == BASS_CD_DOOR_LOCK || action == BASS_CD_DOOR_UNLOCK))
        locked_ = action == BASS_CD_DOOR_LOCK;
    return err;
}

void Drive::runQueuedDoorActions() {
    std::vector<DWORD> queued;
    {
        std::lock_guard lk(doorQueueMutex_);
        queued.swap(doorQueue_);
    }
    for (DWORD action : queued) runDoorAction(action);
}

void Drive::setFaults(const CdTestFaults& f) {
    {
        std::lock_guard lk(faultMutex_);
        faults_ = f;
    }
    holdCv_.notify_all();
}

CdTestFaults Drive::faults() const {
    std::lock_guard lk(faultMutex_);
    return faults_;
}

void Drive::injectReadFault(int32_t sector, bool fail) {
    std::lock_guard lk(faultMutex_);
    for (auto& [s, f] : injected_) {
        if (s == sector) {
            f = fail;
            return;
        }
    }
    injected_.emplace_back(sector, fail);
}

int Drive::injectedFault(int32_t sector) const {
    std::lock_guard lk(faultMutex_);
    for (const auto& [s, f] : injected_)
        if (s == sector) return f ? 1 : 0;
    return -1;
}

void Drive::releaseHold() {
    {
        std::lock_guard lk(faultMutex_);
        released_ = true;
    }
    holdCv_.notify_all();
}

namespace {

// Reads through the backend's reader, failing as soon as the disc the stream was made for is
// gone (door opened, disc exchanged) or the stand-in says so.
class GuardedReader : public SectorReader {
  public:
    GuardedReader(Drive& drive, std::unique_ptr<SectorReader> inner,
                  std::shared_ptr<ReadCounters> counters, uint64_t generation)
        : drive_(drive),
          inner_(std::move(inner)),
          counters_(std::move(counters)),
          generation_(generation) {}
    bool read(int32_t lsn, int16_t* dst) override {
        if (drive_.gone() || drive_.discGeneration() != generation_) return failed();
        CdTestFaults f = drive_.faults();
        if (f.doorOpen || (f.failReadsFromSector >= 0 && lsn >= f.failReadsFromSector))
            return failed();
        if (int injected = drive_.injectedFault(lsn); injected >= 0) {
            ++counters_->skipped;
            if (injected == 1) return failed();
        }
        return inner_->read(lsn, dst);
    }
    void seek(int32_t lsn) override { inner_->seek(lsn); }

  private:
    bool failed() {
        ++counters_->readErrors;
        return false;
    }

    Drive& drive_;
    std::unique_ptr<SectorReader> inner_;
    std::shared_ptr<ReadCounters> counters_;
    uint64_t generation_;
};

}  // namespace

std::unique_ptr<SectorReader> Drive::openReader(int32_t first, int32_t count,
                                                std::shared_ptr<ReadCounters> counters,
                                                uint64_t generation) {
    if (!counters) counters = std::make_shared<ReadCounters>();
    std::shared_ptr<Backend> b;
    {
        std::lock_guard lk(stateMutex_);
        if (generation_.load() != generation) return nullptr;  // the disc changed meanwhile
        b = backend_;
    }
    auto inner = b->openReader(first, count, counters);
    if (!inner) return nullptr;
    return std::make_unique<GuardedReader>(*this, std::move(inner), std::move(counters),
                                           generation);
}

// --- the table and the poller --------------------------------------------------------------

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(100);
constexpr auto kRescanInterval = std::chrono::seconds(3);

class Registry {
  public:
    ~Registry() {
        std::vector<std::shared_ptr<Drive>> all;
        {
            std::lock_guard lk(m_);
            stop_ = true;
            all = drives_;
        }
        cv_.notify_all();
        for (auto& d : all) d->releaseHold();
        if (poller_.joinable()) poller_.join();
    }

    void useDevices(bool use) {
        std::lock_guard lk(m_);
        useDevices_ = use;
    }

    std::shared_ptr<Drive> at(DWORD index) {
        scanOnce();
        std::lock_guard lk(m_);
        return index < drives_.size() ? drives_[index] : nullptr;
    }

    int count() {
        scanOnce();
        std::lock_guard lk(m_);
        return int(drives_.size());
    }

    int find(const std::string& path) {
        scanOnce();
        std::lock_guard lk(m_);
        for (size_t i = 0; i < drives_.size(); ++i)
            if (samePath(drives_[i]->path, path)) return int(i);
        return -1;
    }

    void removeImages() {
        std::lock_guard lk(m_);
        auto keep =
            std::remove_if(drives_.begin(), drives_.end(), [](const auto& d) { return d->image; });
        for (auto it = keep; it != drives_.end(); ++it) {
            (*it)->releaseHold();
            retired_.push_back(*it);
        }
        drives_.erase(keep, drives_.end());
    }

    int add(std::shared_ptr<Drive> drive) {
        std::lock_guard lk(m_);
        drives_.push_back(std::move(drive));
        if (!poller_.joinable()) poller_ = std::thread([this] { run(); });
        return int(drives_.size()) - 1;
    }

    // Looks for drives plugged in or removed since the last look: a new device is added at the
    // end of the table; a vanished one stays at its index, gone (its calls fail).
    void rescan() {
        std::optional<std::vector<std::string>> testList;
        {
            std::lock_guard lk(m_);
            if (!useDevices_ && !testDevices_) return;
            testList = testDevices_;
        }
        const bool test = testList.has_value();
        const std::vector<std::string> now = test ? *testList : findDevices();
        std::lock_guard adding(addMutex);
        std::vector<std::shared_ptr<Drive>> all;
        {
            std::lock_guard lk(m_);
            all = drives_;
        }
        for (auto& d : all) {
            if (!d->plugged || d->gone()) continue;
            if (std::find(now.begin(), now.end(), d->path) == now.end()) {
                d->markGone();
                ++generation_;
            }
        }
        for (const std::string& dev : now) {
            bool known = std::any_of(all.begin(), all.end(),
                                     [&](const auto& d) { return !d->gone() && d->path == dev; });
            if (known) continue;
            std::string description;
            BASS_CD_INFO info{};
            std::unique_ptr<Backend> backend;
            if (test) {
                ImageProblem problem;
                backend = openImageBackend(dev, &description, &info, &problem);
            } else {
                backend = openDeviceBackend(dev, &description, &info);
            }
            if (!backend) continue;
            auto drive = std::make_shared<Drive>(std::move(backend), dev,
                                                 std::filesystem::path(dev).filename().string(),
                                                 description, info, test);
            drive->plugged = true;
            if (test) drive->poll();
            add(std::move(drive));
            ++generation_;
        }
    }

    void setTestDevices(std::optional<std::vector<std::string>> devices) {
        std::lock_guard lk(m_);
        testDevices_ = std::move(devices);
    }

    uint64_t generation() const { return generation_.load(); }

    // Serialises adding a drive (opening it takes a moment) without holding the table's lock.
    std::mutex addMutex;

  private:
    static bool samePath(const std::string& a, const std::string& b) {
        if (a == b) return true;
        std::error_code ec;
        return std::filesystem::equivalent(a, b, ec);
    }

    void scanOnce() {
        {
            std::lock_guard lk(m_);
            if (scanned_) return;
            scanned_ = true;
            if (!useDevices_) return;
        }
        for (const std::string& dev : findDevices()) {
            std::string description;
            BASS_CD_INFO info{};
            auto backend = openDeviceBackend(dev, &description, &info);
            if (!backend) continue;
            std::string name = std::filesystem::path(dev).filename().string();
            // A device starts as "not ready"; the poller gives its first answer.
            auto drive =
                std::make_shared<Drive>(std::move(backend), dev, name, description, info, false);
            drive->plugged = true;
            add(std::move(drive));
        }
    }

    void run() {
        std::unique_lock lk(m_);
        auto lastRescan = std::chrono::steady_clock::now();
        while (!stop_) {
            auto all = drives_;
            lk.unlock();
            for (auto& d : all) {
                if (!d->gone()) d->poll();
                if (stopping()) break;
            }
            if (std::chrono::steady_clock::now() - lastRescan >= kRescanInterval) {
                rescan();
                lastRescan = std::chrono::steady_clock::now();
            }
            lk.lock();
            cv_.wait_for(lk, kPollInterval, [&] { return stop_; });
        }
    }

    bool stopping() {
        std::lock_guard lk(m_);
        return stop_;
    }

    std::mutex m_;
    std::condition_variable cv_;
    std::vector<std::shared_ptr<Drive>> drives_;
    std::vector<std::shared_ptr<Drive>> retired_;  // removed, kept for the strings handed out
    std::thread poller_;
    bool scanned_ = false;
    bool useDevices_ = true;
    std::optional<std::vector<std::string>> testDevices_;
    std::atomic<uint64_t> generation_{0};
    bool stop_ = false;
};

Registry& registry() {
    static Registry r;
    return r;
}

}  // namespace

std::shared_ptr<Drive> driveAt(DWORD drive) {
    auto d = registry().at(drive);
    if (!d || d->gone()) {
        setError(BASS_ERROR_DEVICE);
        return nullptr;
    }
    return d;
}

}  // namespace engine::cd

// --- our own calls -------------------------------------------------------------------------

namespace engine {

using cd::Drive;
using cd::registry;

int cdAddImage(const std::string& utf8Path, std::string* why, bool* readAgain) {
    if (readAgain) *readAgain = false;
    std::lock_guard add(registry().addMutex);
    int existing = registry().find(utf8Path);
    std::shared_ptr<Drive> known = existing >= 0 ? registry().at(DWORD(existing)) : nullptr;
    if (known && !known->image) {
        setError(BASS_ERROR_ILLPARAM);  // a device, not an image
        return -1;
    }
    // Added again unchanged: the same drive, its disc as it was.
    if (known && !known->imageChanged()) return existing;
    std::string description;
    BASS_CD_INFO info{};
    cd::ImageProblem problem;
    auto backend = cd::openImageBackend(utf8Path, &description, &info, &problem);
    if (!backend) {
        if (why) *why = problem.reason;
        setError(problem.code ? problem.code : BASS_ERROR_FILEOPEN);
        return -1;
    }
    if (known) {  // changed on disk: read again, as a disc exchanged in the drive
        known->replaceImage(std::move(backend));
        if (readAgain) *readAgain = true;
        return existing;
    }
    auto drive = std::make_shared<Drive>(std::move(backend), utf8Path,
                                         std::filesystem::path(utf8Path).filename().string(),
                                         description, info, true);
    drive->poll();  // an image answers at once: its first state is there before anyone asks
    return registry().add(std::move(drive));
}

int cdOpenSource(const std::string& utf8Path, std::string* why) {
    int existing = registry().find(utf8Path);
    if (existing >= 0) return existing;
    std::error_code ec;
    auto status = std::filesystem::status(utf8Path, ec);
    if (std::filesystem::is_block_file(status) || std::filesystem::is_character_file(status)) {
        std::lock_guard add(registry().addMutex);
        std::string description;
        BASS_CD_INFO info{};
        auto backend = cd::openDeviceBackend(utf8Path, &description, &info);
        if (!backend) {
            if (why) *why = "the device cannot be opened";
            setError(BASS_ERROR_DEVICE);
            return -1;
        }
        auto drive = std::make_shared<Drive>(std::move(backend), utf8Path,
                                             std::filesystem::path(utf8Path).filename().string(),
                                             description, info, false);
        drive->poll();  // the command line waits for the device's first answer
        return registry().add(std::move(drive));
    }
    return cdAddImage(utf8Path, why);
}

void cdUseDeviceDrives(bool use) {
    registry().useDevices(use);
}

void cdRemoveImages() {
    registry().removeImages();
}

const char* cdDriveShortName(DWORD drive) {
    auto d = cd::driveAt(drive);
    return d ? d->name.c_str() : nullptr;
}

int cdDriveCount() {
    return registry().count();
}

bool cdDrivePresent(DWORD drive) {
    auto d = registry().at(drive);
    return d && !d->gone();
}

uint64_t cdDriveListGeneration() {
    return registry().generation();
}

void cdRescanDrives() {
    registry().rescan();
}

void cdSetTestDeviceList(const std::vector<std::string>* paths) {
    registry().setTestDevices(paths ? std::optional(*paths) : std::nullopt);
}

std::string cdDriveName(DWORD drive) {
    auto d = cd::driveAt(drive);
    if (!d) return {};
    return d->image ? d->path : d->description;
}

std::vector<std::string> cdImageFiles(DWORD drive) {
    auto d = cd::driveAt(drive);
    if (!d || !d->image) return {};
    std::vector<std::string> files = d->files();
    files.insert(files.begin(), d->path);
    return files;
}

bool cdReadToc(DWORD drive, CdToc* toc) {
    auto d = cd::driveAt(drive);
    if (!d) return false;
    auto disc = d->disc();
    if (!disc) {
        setError(BASS_ERROR_NOCD);
        return false;
    }
    if (!toc) {
        setError(BASS_ERROR_ILLPARAM);
        return false;
    }
    toc->tracks.clear();
    for (const auto& t : disc->tracks)
        toc->tracks.push_back(CdTrackEntry{
            t.number, uint32_t(std::max(t.lsn, 0)), uint32_t(std::max(t.sectors, 0)), t.audio,
            uint32_t(std::max(t.pregap, 0)), t.preEmphasis, t.copyPermitted, t.isrc});
    toc->leadOutLba = uint32_t(std::max(disc->leadout, 0));
    toc->missingBytes = disc->missingBytes;
    toc->year = disc->year;
    toc->catalog = disc->catalog;
    setError(BASS_OK);
    return true;
}

void setCdReadOffset(DWORD drive, int samples) {
    if (auto d = cd::driveAt(drive)) d->readOffset = samples;
}

int cdReadOffset(DWORD drive) {
    auto d = cd::driveAt(drive);
    return d ? d->readOffset.load() : 0;
}

std::string cdParanoiaMode(DWORD drive) {
    auto d = cd::driveAt(drive);
    return d ? d->readMode() : std::string();
}

void cdInjectReadFault(DWORD drive, uint32_t sector, bool fail) {
    if (auto d = cd::driveAt(drive)) d->injectReadFault(int32_t(sector), fail);
}

bool cdSetTestFaults(int drive, const CdTestFaults& faults) {
    auto d = cd::driveAt(DWORD(drive));
    if (!d || !d->image) return false;
    d->setFaults(faults);
    if (!faults.holdQueries) d->poll();
    return true;
}

}  // namespace engine

// --- the CD operations ---------------------------------------------------------------------

using engine::setError;
using engine::cd::driveAt;

const char* BASS_CD_GetDriveDescription(DWORD drive) {
    // A drive that was unplugged keeps its index and description; engine::cdDrivePresent() tells.
    auto d = engine::cd::registry().at(drive);
    if (!d) setError(BASS_ERROR_DEVICE);
    return d ? d->description.c_str() : nullptr;
}

DWORD BASS_CD_GetDriveLetter(DWORD drive) {
    if (driveAt(drive)) setError(BASS_ERROR_NOTAVAIL);
    return DWORD(-1);
}

BOOL BASS_CD_GetInfo(DWORD drive, BASS_CD_INFO* info) {
    auto d = driveAt(drive);
    if (!d) return 0;
    if (!info) {
        setError(BASS_ERROR_ILLPARAM);
        return 0;
    }
    *info = d->info;
    setError(BASS_OK);
    return 1;
}

BOOL BASS_CD_Door(DWORD drive, DWORD action) {
    auto d = driveAt(drive);
    if (!d) return 0;
    if (action > BASS_CD_DOOR_UNLOCK) {
        setError(BASS_ERROR_ILLPARAM);
        return 0;
    }
    int err = d->door(action);
    setError(err);
    return err == 0;
}

BOOL BASS_CD_DoorIsOpen(DWORD drive) {
    auto d = driveAt(drive);
    return d && d->doorOpen();
}

BOOL BASS_CD_DoorIsLocked(DWORD drive) {
    auto d = driveAt(drive);
    return d && d->locked();
}

BOOL BASS_CD_IsReady(DWORD drive) {
    auto d = driveAt(drive);
    return d && d->disc() != nullptr;
}

int BASS_CD_GetTracks(DWORD drive) {
    auto d = driveAt(drive);
    if (!d) return -1;
    auto disc = d->disc();
    if (!disc || d->faults().failTrackCount) {
        setError(BASS_ERROR_NOCD);
        return -1;
    }
    setError(BASS_OK);
    return int(disc->tracks.size());
}

int BASS_CD_GetTrackLength(DWORD drive, DWORD track) {
    auto d = driveAt(drive);
    if (!d) return -1;
    auto disc = d->disc();
    if (!disc) {
        setError(BASS_ERROR_NOCD);
        return -1;
    }
    if (track >= disc->tracks.size()) {
        setError(BASS_ERROR_CDTRACK);
        return -1;
    }
    const auto& t = disc->tracks[track];
    if (!t.audio) {
        setError(BASS_ERROR_NOTAUDIO);
        return -1;
    }
    setError(BASS_OK);
    return int(t.sectors) * int(BASS_CD_SECTOR_BYTES);
}

const char* BASS_CD_GetID(DWORD drive, DWORD id) {
    auto d = driveAt(drive);
    if (!d) return nullptr;
    if (id != BASS_CDID_TEXT) {
        setError(BASS_ERROR_ILLPARAM);
        return nullptr;
    }
    auto disc = d->disc();
    if (!disc) {
        setError(BASS_ERROR_NOCD);
        return nullptr;
    }
    std::string block = disc->cdText;
    if (std::string own = d->faults().cdText; !own.empty()) block = own + std::string(2, '\0');
    if (block.empty()) {
        setError(BASS_ERROR_NOTAVAIL);
        return nullptr;
    }
    std::lock_guard lk(d->idMutex);
    d->lastId = std::move(block);
    setError(BASS_OK);
    return d->lastId.c_str();
}
