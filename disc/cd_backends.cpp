// What stands behind a drive: a disc image or a CD device, through libcdio; sector reads
// through libcdio-paranoia.
//
// libcdio does not check bounds: reading a data sector as audio, or past the end of an image,
// "succeeds". The disc table built here is therefore checked (every track inside the disc, at
// least one sector long), and readers only ever ask for the sectors of their own track.
#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <cdio/cdio.h>
#include <cdio/cdtext.h>
#include <cdio/logging.h>
#include <cdio/memory.h>
#include <cdio/mmc.h>
#include <cdio/mmc_hl_cmds.h>
#include <cdio/mmc_ll_cmds.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include "disc/cd_cue.h"
#include "disc/cd_internal.h"
#include "disc/cd_nrg.h"
#include "disc/cd_toc.h"

namespace engine::cd {

namespace {

void quietLibcdio() {
    static const bool once = [] {
        cdio_loglevel_default = CDIO_LOG_ERROR;
        return true;
    }();
    (void)once;
}

std::string trimmed(const char* s) {
    std::string r = s ? s : "";
    while (!r.empty() && std::isspace(static_cast<unsigned char>(r.back()))) r.pop_back();
    size_t b = 0;
    while (b < r.size() && std::isspace(static_cast<unsigned char>(r[b]))) ++b;
    return r.substr(b);
}

std::string describe(CdIo_t* io) {
    cdio_hwinfo_t hw{};
    if (!cdio_get_hwinfo(io, &hw)) return "CD drive";
    std::string out;
    for (const char* part : {hw.psz_vendor, hw.psz_model, hw.psz_revision}) {
        std::string p = trimmed(part);
        if (p.empty()) continue;
        if (!out.empty()) out += ' ';
        out += p;
    }
    return out.empty() ? "CD drive" : out;
}

// libcdio's capability bits mapped onto ours.
DWORD capabilityFlags(CdIo_t* io) {
    cdio_drive_read_cap_t r = 0;
    cdio_drive_write_cap_t w = 0;
    cdio_drive_misc_cap_t m = 0;
    cdio_get_drive_cap(io, &r, &w, &m);
    if (r & CDIO_DRIVE_CAP_ERROR) return 0;
    DWORD f = 0;
    if (r & CDIO_DRIVE_CAP_READ_CD_R) f |= BASS_CD_RWFLAG_READCDR;
    if (r & CDIO_DRIVE_CAP_READ_CD_RW) f |= BASS_CD_RWFLAG_READCDRW;
    if (r & CDIO_DRIVE_CAP_READ_DVD_ROM) f |= BASS_CD_RWFLAG_READDVD;
    if (r & CDIO_DRIVE_CAP_READ_DVD_R) f |= BASS_CD_RWFLAG_READDVDR;
    if (r & CDIO_DRIVE_CAP_READ_DVD_RAM) f |= BASS_CD_RWFLAG_READDVDRAM;
    if (r & CDIO_DRIVE_CAP_READ_MODE2_FORM1) f |= BASS_CD_RWFLAG_READM2F1;
    if (r & CDIO_DRIVE_CAP_READ_MODE2_FORM2) f |= BASS_CD_RWFLAG_READM2F2;
    if (m & CDIO_DRIVE_CAP_MISC_MULTI_SESSION) f |= BASS_CD_RWFLAG_READMULTI;
    if (r & CDIO_DRIVE_CAP_READ_CD_DA) f |= BASS_CD_RWFLAG_READCDDA;
    return f;
}

// The disc's table of contents, checked.
std::shared_ptr<const Disc> readDiscFrom(CdIo_t* io) {
    track_t first = cdio_get_first_track_num(io);
    track_t count = cdio_get_num_tracks(io);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0) return nullptr;
    lsn_t leadout = cdio_get_track_lsn(io, CDIO_CDROM_LEADOUT_TRACK);
    if (leadout == CDIO_INVALID_LSN || leadout <= 0) return nullptr;
    auto disc = std::make_shared<Disc>();
    disc->leadout = leadout;
    for (int t = first; t < first + count; ++t) {
        TrackEntry e;
        e.number = t;
        lsn_t start = cdio_get_track_lsn(io, track_t(t));
        lsn_t next = t + 1 < first + count ? cdio_get_track_lsn(io, track_t(t + 1)) : leadout;
        bool sane = start != CDIO_INVALID_LSN && next != CDIO_INVALID_LSN && start >= 0 &&
                    next > start && next <= leadout;
        if (sane) {
            e.lsn = start;
            e.sectors = next - start;
            e.audio = cdio_get_track_format(io, track_t(t)) == TRACK_FORMAT_AUDIO;
            // INDEX 00 where the disc (an image) says where; a drive's table of contents
            // does not.
            const lsn_t pregap = cdio_get_track_pregap_lsn(io, track_t(t));
            const lsn_t earliest = t == first ? 0 : disc->tracks.back().lsn + 1;
            e.pregap =
                pregap != CDIO_INVALID_LSN && pregap >= earliest && pregap < start ? pregap : start;
            e.preEmphasis = cdio_get_track_preemphasis(io, track_t(t)) == CDIO_TRACK_FLAG_TRUE;
            e.copyPermitted = cdio_get_track_copy_permit(io, track_t(t)) == CDIO_TRACK_FLAG_TRUE;
            if (char* isrc = cdio_get_track_isrc(io, track_t(t))) {
                e.isrc = validIsrc(isrc) ? isrc : "";
                cdio_free(isrc);
            }
        }
        disc->tracks.push_back(e);
    }
    auto d = std::const_pointer_cast<Disc>(disc);
    d->cdText = buildCdTextBlock(cdio_get_cdtext(io), first, count);
    return disc;
}

// --- sector reads through paranoia ---------------------------------------------------------

thread_local bool tReadError = false;
thread_local ReadCounters* tCounters = nullptr;

void paranoiaCallback(long, paranoia_cb_mode_t mode) {
    switch (mode) {
        case PARANOIA_CB_READERR:
            tReadError = true;
            break;
        case PARANOIA_CB_FIXUP_EDGE:
        case PARANOIA_CB_FIXUP_ATOM:
        case PARANOIA_CB_FIXUP_DROPPED:
        case PARANOIA_CB_FIXUP_DUPED:
        case PARANOIA_CB_REPAIR:
            if (tCounters) ++tCounters->corrected;
            break;
        case PARANOIA_CB_SKIP:
            if (tCounters) ++tCounters->skipped;
            break;
        default:
            break;
    }
}

class ParanoiaReader : public SectorReader {
  public:
    ParanoiaReader(CdIo_t* io, cdrom_drive_t* cdda, cdrom_paranoia_t* par, int32_t first,
                   int32_t count, std::shared_ptr<ReadCounters> counters)
        : io_(io),
          cdda_(cdda),
          par_(par),
          first_(first),
          end_(first + count),
          counters_(counters ? std::move(counters) : std::make_shared<ReadCounters>()) {
        cdio_paranoia_modeset(par_, paranoiaMode());
        cdio_paranoia_set_range(par_, first_, end_ - 1);
        seek(first_);
    }
    ~ParanoiaReader() override {
        cdio_paranoia_free(par_);
        cdio_cddap_close_no_free_cdio(cdda_);
        cdio_destroy(io_);
    }

    bool read(int32_t lsn, int16_t* dst) override {
        if (lsn < first_ || lsn >= end_) return false;
        // A failed read is tried again a bounded number of times, each from a fresh seek.
        for (int attempt = 0; attempt <= kReReads; ++attempt) {
            if (attempt > 0) ++counters_->reReads;
            if (lsn != next_) seek(lsn);
            tReadError = false;
            tCounters = counters_.get();
            int16_t* s = cdio_paranoia_read_limited(par_, paranoiaCallback, kRetries);
            tCounters = nullptr;
            if (s && !tReadError) {
                std::memcpy(dst, s, CDIO_CD_FRAMESIZE_RAW);
                ++next_;
                ++counters_->sectorsRead;
                return true;
            }
            next_ = -1;  // position unknown: seek before the next read
        }
        ++counters_->readErrors;
        return false;
    }

    void seek(int32_t lsn) override {
        cdio_paranoia_seek(par_, lsn, SEEK_SET);
        next_ = lsn;
    }

  private:
    static constexpr int kRetries = 5;
    static constexpr int kReReads = 1;
    CdIo_t* io_;
    cdrom_drive_t* cdda_;
    cdrom_paranoia_t* par_;
    int32_t first_, end_;
    int32_t next_ = -1;
    std::shared_ptr<ReadCounters> counters_;
};

}  // namespace

// An ISRC as it must be: 12 letters and digits (a drive may hand back anything).
bool validIsrc(const char* s) {
    size_t n = 0;
    for (; s[n]; ++n)
        if (n >= 12 || !std::isalnum(static_cast<unsigned char>(s[n]))) return false;
    return n == 12;
}

int paranoiaMode() {
    return PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP;
}

std::string Backend::readMode() const {
    return "full, never skip off";
}

namespace {

std::unique_ptr<SectorReader> openParanoia(const std::string& source, driver_id_t driver,
                                           int32_t first, int32_t count,
                                           std::shared_ptr<ReadCounters> counters) {
    quietLibcdio();
    CdIo_t* io = cdio_open(source.c_str(), driver);
    if (!io) return nullptr;
    cdrom_drive_t* cdda = cdio_cddap_identify_cdio(io, CDDA_MESSAGE_FORGETIT, nullptr);
    if (!cdda || cdio_cddap_open(cdda) != 0) {
        if (cdda) cdio_cddap_close_no_free_cdio(cdda);
        cdio_destroy(io);
        return nullptr;
    }
    // An image's byte order is fixed by its kind: a cue sheet's BINARY file and a Nero image are
    // little-endian, a cdrdao image's raw audio big-endian (most significant byte first, as its
    // format says and cdrdao writes it); paranoia turns it into the host's order. Only a drive's
    // order is left for paranoia to find out.
    if (driver != DRIVER_DEVICE) cdda->bigendianp = driver == DRIVER_CDRDAO ? 1 : 0;
    cdrom_paranoia_t* par = cdio_paranoia_init(cdda);
    if (!par) {
        cdio_cddap_close_no_free_cdio(cdda);
        cdio_destroy(io);
        return nullptr;
    }
    return std::make_unique<ParanoiaReader>(io, cdda, par, first, count, std::move(counters));
}

// --- disc images ---------------------------------------------------------------------------

driver_id_t imageDriver(const std::string& path) {
    const std::string ext = asciiLower(std::filesystem::path(path).extension().string());
    if (ext == ".cue") return DRIVER_BINCUE;
    if (ext == ".toc") return DRIVER_CDRDAO;
    if (ext == ".nrg") return DRIVER_NRG;
    return DRIVER_UNKNOWN;
}

namespace fs = std::filesystem;

// A folder of our own holding the copy of an image's sheet that libcdio reads (written from what
// was checked), removed with the image.
class PrivateFolder {
  public:
    PrivateFolder() = default;
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    ~PrivateFolder() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    bool create() {
        std::error_code ec;
        std::string pattern = (fs::temp_directory_path(ec) / "quorvin-image-XXXXXX").string();
        if (ec || !mkdtemp(pattern.data())) return false;
        path_ = pattern;
        return true;
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

bool writeText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return bool(out);
}

std::string readStart(const std::string& path, size_t limit, bool* ok) {
    std::ifstream in(path, std::ios::binary);
    std::string text(limit, '\0');
    in.read(text.data(), std::streamsize(text.size()));
    text.resize(size_t(in.gcount()));
    *ok = bool(in) || in.eof();
    return text;
}

// The .bin of a cue sheet: the file its FILE line names (`named`), else the sheet's base name with
// .bin in any case (libcdio's own pairing, .cue with .bin and .CUE with .BIN, first). Empty when
// there is none.
fs::path binOf(const fs::path& cue, const std::string& named) {
    std::error_code ec;
    if (const std::string p = namedFile(cue.string(), named); !p.empty()) return p;
    fs::path same = cue;
    same.replace_extension(cue.extension() == ".CUE" ? ".BIN" : ".bin");
    if (fs::is_regular_file(same, ec)) return same;
    std::vector<fs::path> found;
    for (const auto& e :
         fs::directory_iterator(cue.parent_path().empty() ? "." : cue.parent_path(), ec)) {
        const std::string ext = asciiLower(e.path().extension().string());
        if (ext == ".bin" && e.path().stem() == cue.stem() && fs::is_regular_file(e.path(), ec))
            found.push_back(e.path());
    }
    std::sort(found.begin(), found.end());
    return found.empty() ? fs::path() : found.front();
}

class ImageBackend : public Backend {
  public:
    ImageBackend(std::string path, driver_id_t driver, std::shared_ptr<const Disc> disc,
                 std::unique_ptr<PrivateFolder> folder, std::vector<std::string> files)
        : path_(std::move(path)),
          driver_(driver),
          disc_(std::move(disc)),
          folder_(std::move(folder)),
          files_(std::move(files)) {}
    std::vector<std::string> files() const override { return files_; }

    Probe probe() override {
        Probe p;
        p.ready = disc_ != nullptr;
        p.changed = false;
        return p;
    }
    std::shared_ptr<const Disc> readDisc() override { return disc_; }
    int door(DWORD) override { return BASS_ERROR_NOTSUPPORTED; }
    std::unique_ptr<SectorReader> openReader(int32_t first, int32_t count,
                                             std::shared_ptr<ReadCounters> counters) override {
        return openParanoia(path_, driver_, first, count, std::move(counters));
    }

  private:
    std::string path_;  // what libcdio opens: the image, or the checked copy of its sheet
    driver_id_t driver_;
    std::shared_ptr<const Disc> disc_;
    std::unique_ptr<PrivateFolder> folder_;
    std::vector<std::string> files_;  // the .bin or the files a .toc names
};

// --- devices -------------------------------------------------------------------------------

// The drive's capabilities page (MMC mode page 2A): "method 2", "stream is accurate", the
// maximum read speed and the buffer size, where the drive gives them.
void readCapabilitiesPage(CdIo_t* io, BASS_CD_INFO* info) {
    uint8_t buf[256] = {};
    if (mmc_mode_sense_10(io, buf, sizeof buf, CDIO_MMC_CAPABILITIES_PAGE) != DRIVER_OP_SUCCESS)
        return;
    size_t dataLength = size_t(buf[0]) << 8 | buf[1];
    size_t blockDescriptors = size_t(buf[6]) << 8 | buf[7];
    size_t p = 8 + blockDescriptors;
    if (p + 14 > sizeof buf || p + 14 > dataLength + 2) return;
    const uint8_t* page = buf + p;
    if ((page[0] & 0x3f) != CDIO_MMC_CAPABILITIES_PAGE) return;
    if (page[2] & 0x04) info->flags |= BASS_CD_RWFLAG_READCDRW2;
    if (page[5] & 0x02) info->flags |= BASS_CD_RWFLAG_READCDDASIA;
    info->maxspeed = DWORD(page[8]) << 8 | page[9];
    info->cache = DWORD(page[12]) << 8 | page[13];
}

class DeviceBackend : public Backend {
  public:
    DeviceBackend(std::string device, CdIo_t* io) : device_(std::move(device)), io_(io) {}
    ~DeviceBackend() override {
        if (io_) cdio_destroy(io_);
    }

    Probe probe() override {
        Probe p;
        p.locked = locked_;
        int tray = mmc_get_tray_status(io_);
        p.doorOpen = tray == 1;
        p.ready = !p.doorOpen && mmc_test_unit_ready(io_, 0) == DRIVER_OP_SUCCESS;
        int changed = cdio_get_media_changed(io_);
        p.changed = p.ready && (!wasReady_ || changed == 1);
        wasReady_ = p.ready;
        return p;
    }

    std::shared_ptr<const Disc> readDisc() override {
        // A fresh handle: libcdio keeps the table of contents it read first.
        CdIo_t* io = cdio_open(device_.c_str(), DRIVER_DEVICE);
        if (!io) return nullptr;
        auto disc = readDiscFrom(io);
        cdio_destroy(io);
        return disc;
    }

    int door(DWORD action) override {
        driver_return_code_t rc = DRIVER_OP_ERROR;
        switch (action) {
            case BASS_CD_DOOR_CLOSE:
                rc = mmc_close_tray(io_);
                break;
            // Not cdio_eject_media(): it frees the handle behind our back.
            case BASS_CD_DOOR_OPEN:
                rc = mmc_eject_media(io_);
                break;
            case BASS_CD_DOOR_LOCK:
                rc = mmc_prevent_allow_medium_removal(io_, false, true, 0);
                if (rc == DRIVER_OP_SUCCESS) locked_ = true;
                break;
            case BASS_CD_DOOR_UNLOCK:
                rc = mmc_prevent_allow_medium_removal(io_, false, false, 0);
                if (rc == DRIVER_OP_SUCCESS) locked_ = false;
                break;
            default:
                break;
        }
        if (rc == DRIVER_OP_SUCCESS) return 0;
        return rc == DRIVER_OP_UNSUPPORTED ? BASS_ERROR_NOTSUPPORTED : BASS_ERROR_DEVICE;
    }

    std::unique_ptr<SectorReader> openReader(int32_t first, int32_t count,
                                             std::shared_ptr<ReadCounters> counters) override {
        return openParanoia(device_, DRIVER_DEVICE, first, count, std::move(counters));
    }

  private:
    std::string device_;
    CdIo_t* io_;
    bool locked_ = false;
    bool wasReady_ = false;
};

}  // namespace

std::unique_ptr<Backend> openImageBackend(const std::string& path, std::string* description,
                                          BASS_CD_INFO* info, ImageProblem* problem) {
    quietLibcdio();
    auto refuse = [&](int code, std::string why) -> std::unique_ptr<Backend> {
        problem->code = code;
        problem->reason = std::move(why);
        return nullptr;
    };
    std::error_code ec;
    if (!fs::exists(path, ec)) return refuse(BASS_ERROR_FILEOPEN, "the file does not exist");
    if (!fs::is_regular_file(path, ec)) return refuse(BASS_ERROR_FILEOPEN, "not a regular file");
    const driver_id_t driver = imageDriver(path);
    if (driver == DRIVER_UNKNOWN)
        return refuse(BASS_ERROR_FILEFORM, "not a disc image (.cue, .toc or .nrg)");
    // libcdio's readers trust what they read: each kind is checked first, and a sheet is handed
    // to libcdio as a copy written from what was checked, in a folder of our own.
    std::string opened = path;
    std::unique_ptr<PrivateFolder> folder;
    int64_t binBytes = 0;            // of a cue sheet's .bin
    std::string cueText;             // a cue or .toc sheet's CD-Text block, read by ourselves
    std::string year, catalog;       // a cue sheet's REM DATE and CATALOG
    std::vector<std::string> files;  // what it reads besides its sheet
    auto copyInto = [&](const std::string& name, const std::string& text) {
        folder = std::make_unique<PrivateFolder>();
        if (!folder->create() || !writeText(folder->path() / name, text)) return false;
        opened = (folder->path() / name).string();
        return true;
    };
    if (driver == DRIVER_BINCUE) {
        bool ok = false;
        const std::string text = utf8FromUtf16Sheet(readStart(path, kMaxCueBytes + 1, &ok));
        if (!ok) return refuse(BASS_ERROR_FILEOPEN, "the cue sheet cannot be read");
        const auto isAudioFile = [&path](const std::string& name) {
            const std::string file = namedFile(path, name);
            return !file.empty() && isAudioFileByContent(file);
        };
        if (cueNeedsOwnReader(text, isAudioFile))
            return openCueFiles(
                path, text, description, info, problem, [&](const std::string& name) {
                    // A sheet of one .bin finds it as libcdio would.
                    return cueIsOneBinary(text) ? binOf(fs::path(path), name).string()
                                                : namedFile(path, name);
                });
        // libcdio's driver would read the .bin of the cue's base name, whatever the FILE line
        // says; the copy of the sheet names the file found here.
        const fs::path bin = binOf(fs::path(path), cueFileName(text));
        if (const std::string what = notAFile(path, cueFileName(text));
            bin.empty() && !what.empty())
            return refuse(BASS_ERROR_FILEFORM, "FILE \"" + cueFileName(text) + "\" " + what);
        binBytes = -1;
        if (!bin.empty()) binBytes = int64_t(fs::file_size(bin, ec));
        if (ec) binBytes = -1;
        if (!bin.empty()) files.push_back(bin.string());
        std::string copy;
        const std::string why = checkCueSheet(text, binBytes, &copy, "image.bin", &cueText);
        const CueDisc facts = cueDisc(text);
        year = facts.year;
        catalog = facts.catalog;
        if (!why.empty())
            return refuse(why == kMissingBinReason ? BASS_ERROR_FILEOPEN : BASS_ERROR_FILEFORM,
                          why);
        if (!copyInto("image.cue", copy))
            return refuse(BASS_ERROR_CREATE, "no room for a copy of the cue sheet");
        fs::create_symlink(fs::absolute(bin, ec), folder->path() / "image.bin", ec);
        if (ec) return refuse(BASS_ERROR_CREATE, "no room for a copy of the cue sheet");
    } else if (driver == DRIVER_CDRDAO) {
        bool ok = false;
        const std::string text = readStart(path, kMaxTocBytes + 1, &ok);
        if (!ok) return refuse(BASS_ERROR_FILEOPEN, "the .toc file cannot be read");
        const fs::path dir = fs::absolute(fs::path(path), ec).lexically_normal().parent_path();
        auto fileBytes = [&](const std::string& name) -> int64_t {
            std::error_code e;
            // Only a file of the folder itself: not a link that may lead anywhere.
            if (!fs::is_regular_file(fs::symlink_status(dir / name, e))) return -1;
            files.push_back((dir / name).string());
            const auto n = fs::file_size(dir / name, e);
            return e ? -1 : int64_t(n);
        };
        TocSheet sheet;
        const std::string why = checkTocFile(text, fileBytes, dir.string() + "/", &sheet);
        if (!why.empty()) return refuse(BASS_ERROR_FILEFORM, why);
        if (!copyInto("image.toc", sheet.text))
            return refuse(BASS_ERROR_CREATE, "no room for a copy of the .toc file");
        cueText = sheet.cdText;
    } else {  // DRIVER_NRG
        const auto bytes = fs::file_size(path, ec);
        if (ec) return refuse(BASS_ERROR_FILEOPEN, "the image cannot be read");
        const size_t tailBytes = size_t(std::min<uintmax_t>(bytes, kNrgTailBytes));
        std::ifstream in(path, std::ios::binary);
        std::string tail(tailBytes, '\0');
        in.seekg(std::streamoff(bytes - tailBytes));
        in.read(tail.data(), std::streamsize(tail.size()));
        if (!in) return refuse(BASS_ERROR_FILEOPEN, "the image cannot be read");
        const std::string why = checkNrgImage(tail, int64_t(bytes));
        if (!why.empty()) return refuse(BASS_ERROR_FILEFORM, why);
    }
    CdIo_t* io = cdio_open(opened.c_str(), driver);
    if (!io) return refuse(BASS_ERROR_FILEFORM, "not a disc image that can be read");
    auto disc = readDiscFrom(io);
    *description = describe(io);
    *info = BASS_CD_INFO{};
    info->flags = capabilityFlags(io) | BASS_CD_RWFLAG_READCDDASIA;  // an image reads exactly
    info->cdtext = 1;
    cdio_destroy(io);
    if (!disc) return refuse(BASS_ERROR_FILEFORM, "the image has no tracks that can be read");
    // libcdio reads a sheet's text as Latin-1 only, and a .toc's escapes as written: the text as we
    // read it replaces it.
    if (driver == DRIVER_CDRDAO) std::const_pointer_cast<Disc>(disc)->cdText = cueText;
    if (driver == DRIVER_BINCUE) {
        std::const_pointer_cast<Disc>(disc)->cdText = cueText;
        std::const_pointer_cast<Disc>(disc)->year = year;
        std::const_pointer_cast<Disc>(disc)->catalog = catalog;
    }
    if (binBytes % CDIO_CD_FRAMESIZE_RAW != 0)
        std::const_pointer_cast<Disc>(disc)->missingBytes =
            uint32_t(CDIO_CD_FRAMESIZE_RAW - binBytes % CDIO_CD_FRAMESIZE_RAW);
    return std::make_unique<ImageBackend>(opened, driver, std::move(disc), std::move(folder),
                                          std::move(files));
}

std::unique_ptr<Backend> openDeviceBackend(const std::string& device, std::string* description,
                                           BASS_CD_INFO* info) {
    quietLibcdio();
    CdIo_t* io = cdio_open(device.c_str(), DRIVER_DEVICE);
    if (!io) return nullptr;
    *description = describe(io);
    *info = BASS_CD_INFO{};
    info->flags = capabilityFlags(io);
    cdio_drive_read_cap_t r = 0;
    cdio_drive_write_cap_t w = 0;
    cdio_drive_misc_cap_t m = 0;
    cdio_get_drive_cap(io, &r, &w, &m);
    if (!(m & CDIO_DRIVE_CAP_ERROR)) {
        info->canopen = (m & CDIO_DRIVE_CAP_MISC_EJECT) ? 1 : 0;
        info->canlock = (m & CDIO_DRIVE_CAP_MISC_LOCK) ? 1 : 0;
    }
    info->cdtext = 1;
    readCapabilitiesPage(io, info);
    return std::make_unique<DeviceBackend>(device, io);
}

std::vector<std::string> findDevices() {
    quietLibcdio();
    std::vector<std::string> out;
    char** list = cdio_get_devices(DRIVER_DEVICE);
    if (!list) return out;
    for (char** p = list; *p; ++p) out.emplace_back(*p);
    cdio_free_device_list(list);
    return out;
}

std::string buildCdTextBlock(const void* handle, int firstTrack, int tracks) {
    auto* ct = static_cast<const cdtext_t*>(handle);
    if (!ct) return {};
    static const struct {
        cdtext_field_t field;
        const char* key;
    } kFields[] = {
        {CDTEXT_FIELD_TITLE, "TITLE"},           {CDTEXT_FIELD_PERFORMER, "PERFORMER"},
        {CDTEXT_FIELD_SONGWRITER, "SONGWRITER"}, {CDTEXT_FIELD_COMPOSER, "COMPOSER"},
        {CDTEXT_FIELD_ARRANGER, "ARRANGER"},     {CDTEXT_FIELD_MESSAGE, "MESSAGE"},
        {CDTEXT_FIELD_GENRE, "GENRE"},
    };
    std::string block;
    for (const auto& f : kFields) {
        for (int t = 0; t <= tracks; ++t) {
            // Index 0 is the disc, index k the k-th track of the disc.
            const char* v = cdtext_get_const(ct, f.field, track_t(t == 0 ? 0 : firstTrack + t - 1));
            if (!v || !*v) continue;
            block += f.key;
            block += std::to_string(t);
            block += '=';
            block += v;
            block += '\0';
        }
    }
    if (block.empty()) return {};
    block += '\0';  // the empty string that ends the block
    return block;
}

}  // namespace engine::cd
