// Cue sheets libcdio cannot read, read by the program itself: several files one after another (a
// .bin per track), and audio files in place of a .bin (a WAV or FLAC of the whole disc or of each
// track, decoded by the engine). The sheet check lays the disc out (checkCueFiles); this reads it.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "disc/cd_cue.h"
#include "disc/cd_internal.h"

namespace engine::cd {

namespace fs = std::filesystem;

namespace {

constexpr int64_t kSectorBytes = 2352;

// The sectors of the files, read as they stand (an image reads exactly: no error correction to
// do). A decoded file is read on from where the last sector ended, and sought only on a jump.
class FilesSectorReader : public SectorReader {
  public:
    FilesSectorReader(std::vector<std::string> paths, const CueFilesDisc& layout,
                      std::shared_ptr<ReadCounters> counters)
        : paths_(std::move(paths)),
          layout_(layout),
          counters_(counters ? std::move(counters) : std::make_shared<ReadCounters>()),
          raw_(paths_.size()),
          decoded_(paths_.size()),
          next_(paths_.size(), -1) {}

    bool read(int32_t lsn, int16_t* dst) override {
        if (lsn < 0 || lsn >= layout_.sectors) return false;
        // The sector among the files' sectors, past the silences before it.
        int32_t inFiles = lsn;
        for (const auto& gap : layout_.silences) {
            if (lsn >= gap.first + gap.sectors) {
                inFiles -= gap.sectors;
            } else if (lsn >= gap.first) {
                std::fill_n(dst, kFramesPerSector * 2, int16_t(0));
                ++counters_->sectorsRead;
                return true;
            }
        }
        size_t f = 0;
        while (f + 1 < layout_.files.size() && layout_.files[f + 1].first <= inFiles) ++f;
        const int64_t at = inFiles - layout_.files[f].first;  // sectors into the file
        const bool ok = layout_.files[f].decoded ? readDecoded(f, at, dst) : readRaw(f, at, dst);
        if (!ok) {
            ++counters_->readErrors;  // the file changed or broke since the sheet was read
            return false;
        }
        ++counters_->sectorsRead;
        return true;
    }
    void seek(int32_t) override {}

  private:
    bool readRaw(size_t f, int64_t at, int16_t* dst) {
        if (!raw_[f]) {
            raw_[f] = std::make_unique<std::ifstream>(paths_[f], std::ios::binary);
            if (!*raw_[f]) {
                raw_[f].reset();
                return false;
            }
        }
        std::ifstream& in = *raw_[f];
        in.clear();
        in.seekg(std::streamoff(at * kSectorBytes));
        return bool(in.read(reinterpret_cast<char*>(dst), kSectorBytes));
    }
    bool readDecoded(size_t f, int64_t at, int16_t* dst) {
        if (!decoded_[f]) {
            decoded_[f] = openFileSource(paths_[f]);
            next_[f] = 0;
            if (!decoded_[f] || decoded_[f]->rate() != 44100 || decoded_[f]->channels() != 2) {
                decoded_[f].reset();
                return false;
            }
        }
        Source& s = *decoded_[f];
        const int64_t frame = at * kFramesPerSector;
        if (next_[f] != frame) {
            if (!s.seek(frame)) return false;
            next_[f] = frame;
        }
        // The last sector of a file that ends inside it: its frames, then silence.
        const int64_t want =
            std::min<int64_t>(kFramesPerSector, layout_.files[f].bytes / 4 - frame);
        int64_t got = 0;
        const int64_t silenced = s.silencedFrames();
        while (got < want) {
            const int64_t n = s.read(dst + got * 2, want - got);
            if (n <= 0) break;
            got += n;
        }
        next_[f] += got;
        std::fill(dst + got * 2, dst + kFramesPerSector * 2, int16_t(0));
        // Damage inside the file, given as silence: not the disc's audio, so a read error.
        return got == want && s.silencedFrames() == silenced;
    }

    std::vector<std::string> paths_;
    CueFilesDisc layout_;
    std::shared_ptr<ReadCounters> counters_;
    std::vector<std::unique_ptr<std::ifstream>> raw_;
    std::vector<std::unique_ptr<Source>> decoded_;
    std::vector<int64_t> next_;  // the frame a decoded file reads next
};

class CueFilesBackend : public Backend {
  public:
    CueFilesBackend(std::vector<std::string> paths, CueFilesDisc layout,
                    std::shared_ptr<const Disc> disc)
        : paths_(std::move(paths)), layout_(std::move(layout)), disc_(std::move(disc)) {}
    Probe probe() override {
        Probe p;
        p.ready = true;
        return p;
    }
    std::shared_ptr<const Disc> readDisc() override { return disc_; }
    int door(DWORD) override { return BASS_ERROR_NOTSUPPORTED; }
    std::unique_ptr<SectorReader> openReader(int32_t, int32_t,
                                             std::shared_ptr<ReadCounters> counters) override {
        return std::make_unique<FilesSectorReader>(paths_, layout_, std::move(counters));
    }
    std::vector<std::string> files() const override { return paths_; }
    // Files hold what was read off the disc already: nothing to correct.
    std::string readMode() const override {
        return "none (the image's files are read as they are)";
    }

  private:
    std::vector<std::string> paths_;
    CueFilesDisc layout_;
    std::shared_ptr<const Disc> disc_;
};

}  // namespace

std::string asciiLower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) {
        return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : char(c);
    });
    return s;
}

namespace {

// The file of `folder` named `name` in another case, as a sheet written on a system that does not
// tell cases apart may name it; empty when there is none or more than one.
fs::path inAnyCase(const fs::path& folder, const std::string& name) {
    std::error_code ec;
    fs::path found;
    const std::string want = asciiLower(name);
    for (const auto& e : fs::directory_iterator(folder.empty() ? "." : folder, ec)) {
        if (asciiLower(e.path().filename().string()) != want || !fs::is_regular_file(e.path(), ec))
            continue;
        if (!found.empty()) return {};
        found = e.path();
    }
    return found;
}

}  // namespace

std::string namedFile(const std::string& cue, const std::string& named) {
    std::error_code ec;
    const fs::path folder = fs::path(cue).parent_path();
    if (named.empty()) return {};
    const fs::path asWritten(named);
    const std::string base = named.substr(named.find_last_of("/\\") + 1);
    if (base.empty()) return {};
    // A path relative to the sheet as another system writes it ("Disc 1\\x.wav").
    std::string slashed = named;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    const fs::path relative = folder / fs::path(slashed).relative_path();
    for (const fs::path& p :
         {asWritten.is_absolute() ? asWritten : folder / asWritten, relative, folder / base})
        if (fs::is_regular_file(p, ec)) return p.string();
    if (const fs::path p = inAnyCase(relative.parent_path(), relative.filename().string());
        !p.empty())
        return p.string();
    if (const fs::path p = inAnyCase(folder, base); !p.empty()) return p.string();
    return {};
}

std::string notAFile(const std::string& cue, const std::string& named) {
    std::string slashed = named;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    if (slashed.empty()) return {};
    const fs::path p = fs::path(slashed).is_absolute()
                           ? fs::path(slashed)
                           : fs::path(cue).parent_path() / fs::path(slashed).relative_path();
    std::error_code ec;
    switch (fs::status(p, ec).type()) {
        case fs::file_type::directory:
            return "is a folder, not a file";
        case fs::file_type::fifo:
            return "is a named pipe (FIFO), not a file";
        case fs::file_type::block:
        case fs::file_type::character:
            return "is a device, not a file";
        default:
            return {};
    }
}

bool isAudioFileByContent(const std::string& path) {
    char head[12] = {};
    std::ifstream in(path, std::ios::binary);
    if (!in.read(head, sizeof head)) return false;
    const std::string_view h(head, sizeof head);
    return ((h.substr(0, 4) == "RIFF" || h.substr(0, 4) == "RF64") && h.substr(8, 4) == "WAVE") ||
           (h.substr(0, 4) == "FORM" && (h.substr(8, 4) == "AIFF" || h.substr(8, 4) == "AIFC")) ||
           h.substr(0, 4) == "fLaC" || h.substr(0, 3) == "ID3";
}

std::unique_ptr<Backend> openCueFiles(
    const std::string& cue, const std::string& text, std::string* description, BASS_CD_INFO* info,
    ImageProblem* problem, const std::function<std::string(const std::string&)>& fileOf) {
    std::vector<std::string> paths;
    auto bytesOf = [&](const std::string& named, bool decoded) {
        CueFileFacts facts;
        const std::string path = fileOf(named);
        if (path.empty()) {
            facts.notCdAudio = notAFile(cue, named);
            return facts;
        }
        paths.push_back(path);
        // An audio file the sheet calls BINARY is decoded all the same, not read as sectors.
        facts.decoded = decoded || isAudioFileByContent(path);
        if (facts.decoded) {
            // The length of CD audio the engine decodes from it: as much as its header gives (exact
            // for MP3), so that a file cut short fails where its audio ends.
            const auto source = openFileSource(path);
            facts.bytes = -2;
            if (!source) return facts;
            if (source->rate() != 44100 || source->channels() != 2 || source->finerThan16Bits()) {
                const int c = source->channels();
                facts.notCdAudio = source->rate() != 44100 || c != 2
                                       ? "is " + std::to_string(source->rate()) + " Hz, " +
                                             (c == 1   ? std::string("mono")
                                              : c == 2 ? std::string("stereo")
                                                       : std::to_string(c) + " channels")
                                       : std::string("holds samples finer than 16 bits");
                return facts;
            }
            // What it lost, cut short or damaged on the way, is a gap the rip must not pass over.
            facts.bytes =
                (source->lengthFrames() + source->missingFrames() + source->undecodedFrames()) * 4;
            return facts;
        }
        std::error_code ec;
        const auto n = fs::file_size(path, ec);
        facts.bytes = ec ? -1 : int64_t(n);
        return facts;
    };
    CueFilesDisc layout;
    std::string cdText;
    const std::string why = checkCueFiles(text, bytesOf, &layout, &cdText);
    if (!why.empty()) {
        problem->code =
            why.find("is missing") != std::string::npos ? BASS_ERROR_FILEOPEN : BASS_ERROR_FILEFORM;
        problem->reason = why;
        return nullptr;
    }
    auto disc = std::make_shared<Disc>();
    disc->leadout = layout.sectors;
    disc->cdText = cdText;
    const CueDisc facts = cueDisc(text);
    disc->year = facts.year;
    disc->catalog = facts.catalog;
    disc->missingBytes = layout.missingBytes;
    for (const auto& t : layout.tracks) {
        TrackEntry e;
        e.number = t.number;
        e.lsn = t.lsn;
        e.sectors = t.sectors;
        e.audio = t.audio;
        e.pregap = t.pregap;
        e.preEmphasis = t.preEmphasis;
        e.copyPermitted = t.copyPermitted;
        if (validIsrc(t.isrc.c_str())) e.isrc = t.isrc;
        disc->tracks.push_back(e);
    }
    *description = "cue sheet of " + std::to_string(layout.files.size()) +
                   (layout.files.size() == 1 ? " file" : " files");
    *info = BASS_CD_INFO{};
    // What libcdio says of its own images, and an image reads exactly.
    info->flags = BASS_CD_RWFLAG_READCDR | BASS_CD_RWFLAG_READCDRW | BASS_CD_RWFLAG_READM2F1 |
                  BASS_CD_RWFLAG_READM2F2 | BASS_CD_RWFLAG_READCDDA | BASS_CD_RWFLAG_READCDDASIA;
    info->cdtext = 1;
    return std::make_unique<CueFilesBackend>(std::move(paths), std::move(layout), std::move(disc));
}

}  // namespace engine::cd
