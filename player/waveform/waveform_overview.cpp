// Waveform overviews: peaks per column, a coarse pass from spread pieces, the exact pass, and
// the cache.
#include "player/waveform/waveform_overview.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>

#include "engine/engine_ext.h"
#include "files/file_io.h"
#include "files/safe_copy.h"

namespace player {

namespace {

constexpr int64_t kBlockFrames = 16384;
constexpr int64_t kPieceFrames = 1152;  // one MP3 frame per coarse column
constexpr char kMagic[4] = {'Q', 'W', 'O', '1'};

std::shared_ptr<WaveformOverview> emptyOverview(int columns, OverviewChannels mode,
                                                const engine::Source& src) {
    auto ov = std::make_shared<WaveformOverview>();
    ov->channels = mode == OverviewChannels::Mixed ? 1 : src.channels();
    ov->rate = src.rate();
    ov->frames = src.lengthFrames();
    ov->columns = std::max(1, columns);
    ov->lo.assign(size_t(ov->columns * ov->channels), 1.0f);  // lo > hi: nothing seen yet
    ov->hi.assign(size_t(ov->columns * ov->channels), -1.0f);
    return ov;
}

OverviewResult failure(const std::string& path, int code) {
    if (code == BASS_ERROR_FILEOPEN) return {false, "Can't read \"" + path + "\".", nullptr, true};
    return {false, "\"" + path + "\" is not an audio file the program can read.", nullptr, false};
}

// The exact overview so far; columns not reached yet come from the coarse one.
std::shared_ptr<const WaveformOverview> refined(const WaveformOverview& exact,
                                                const WaveformOverview* coarse, int done) {
    auto ov = std::make_shared<WaveformOverview>(exact);
    if (!coarse) return ov;
    for (int c = done; c < ov->columns; ++c) {
        const int k = int(int64_t(c) * coarse->columns / ov->columns);
        for (int ch = 0; ch < ov->channels; ++ch) {
            const int from = k * coarse->channels + std::min(ch, coarse->channels - 1);
            ov->lo[size_t(c * ov->channels + ch)] = coarse->lo[size_t(from)];
            ov->hi[size_t(c * ov->channels + ch)] = coarse->hi[size_t(from)];
        }
    }
    return ov;
}

template <class T>
void put(std::string& out, const T& v) {
    out.append(reinterpret_cast<const char*>(&v), sizeof v);
}
template <class T>
bool get(const std::string& in, size_t& at, T& v) {
    if (in.size() - at < sizeof v) return false;
    std::memcpy(&v, in.data() + at, sizeof v);
    at += sizeof v;
    return true;
}

std::string serialise(const OverviewKey& key, const WaveformOverview& ov) {
    std::string s(kMagic, 4);
    put(s, uint32_t(key.path.size()));
    s += key.path;
    put(s, key.size);
    put(s, key.mtimeNs);
    put(s, int32_t(key.columns));
    put(s, int32_t(key.mode));
    put(s, int32_t(ov.channels));
    put(s, int32_t(ov.rate));
    put(s, ov.frames);
    put(s, int32_t(ov.columns));
    s.append(reinterpret_cast<const char*>(ov.lo.data()), ov.lo.size() * sizeof(float));
    s.append(reinterpret_cast<const char*>(ov.hi.data()), ov.hi.size() * sizeof(float));
    return s;
}

std::shared_ptr<const WaveformOverview> deserialise(const OverviewKey& key, const std::string& s) {
    if (s.size() < 4 || s.compare(0, 4, kMagic, 4) != 0) return nullptr;
    size_t at = 4;
    uint32_t pathLen = 0;
    if (!get(s, at, pathLen) || s.size() - at < pathLen) return nullptr;
    OverviewKey stored;
    stored.path = s.substr(at, pathLen);
    at += pathLen;
    int32_t columns = 0, mode = 0, channels = 0, rate = 0, ovColumns = 0;
    auto ov = std::make_shared<WaveformOverview>();
    if (!get(s, at, stored.size) || !get(s, at, stored.mtimeNs) || !get(s, at, columns) ||
        !get(s, at, mode) || !get(s, at, channels) || !get(s, at, rate) ||
        !get(s, at, ov->frames) || !get(s, at, ovColumns))
        return nullptr;
    stored.columns = columns;
    stored.mode = OverviewChannels(mode);
    if (!(stored == key) || channels < 1 || channels > 2 || ovColumns < 1) return nullptr;
    const size_t n = size_t(channels) * size_t(ovColumns);
    if (s.size() - at != 2 * n * sizeof(float)) return nullptr;
    ov->channels = channels;
    ov->rate = rate;
    ov->columns = ovColumns;
    ov->exact = true;
    ov->lo.resize(n);
    ov->hi.resize(n);
    std::memcpy(ov->lo.data(), s.data() + at, n * sizeof(float));
    std::memcpy(ov->hi.data(), s.data() + at + n * sizeof(float), n * sizeof(float));
    return ov;
}

}  // namespace

int64_t WaveformOverview::columnStart(int column) const {
    return (int64_t(column) * frames + columns - 1) / columns;
}

OverviewKey overviewKey(const std::string& utf8Path, int columns, OverviewChannels mode) {
    OverviewKey key;
    std::error_code ec;
    const auto p = files::pathFromUtf8(utf8Path);
    if (!std::filesystem::is_regular_file(p, ec)) return key;
    const auto size = std::filesystem::file_size(p, ec);
    if (ec) return key;
    const auto mtime = std::filesystem::last_write_time(p, ec);
    if (ec) return key;
    key.path = utf8Path;
    key.size = size;
    key.mtimeNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(mtime.time_since_epoch()).count();
    key.columns = columns;
    key.mode = mode;
    return key;
}

void addPeaks(WaveformOverview& ov, const int16_t* pcm, int64_t frames, int channels,
              int64_t firstFrame) {
    if (ov.frames <= 0 || frames <= 0) return;
    int column = int(std::min<int64_t>(firstFrame * ov.columns / ov.frames, ov.columns - 1));
    int64_t next = ov.columnStart(column + 1);
    const bool mixed = ov.channels == 1;
    const float scale = 1.0f / 32768.0f;
    for (int64_t i = 0; i < frames; ++i) {
        while (firstFrame + i >= next && column < ov.columns - 1)
            next = ov.columnStart(++column + 1);
        const int16_t* f = pcm + i * channels;
        float* lo = ov.lo.data() + column * ov.channels;
        float* hi = ov.hi.data() + column * ov.channels;
        if (mixed) {
            int sum = 0;
            for (int c = 0; c < channels; ++c) sum += f[c];
            const float v = float(sum) * scale / float(channels);
            lo[0] = std::min(lo[0], v);
            hi[0] = std::max(hi[0], v);
        } else {
            for (int c = 0; c < ov.channels; ++c) {
                const float v = float(f[std::min(c, channels - 1)]) * scale;
                lo[c] = std::min(lo[c], v);
                hi[c] = std::max(hi[c], v);
            }
        }
    }
}

OverviewResult computeOverview(const OverviewRequest& request) {
    using Clock = std::chrono::steady_clock;
    const auto cancelled = [&] { return request.cancel && request.cancel->load(); };
    int code = 0;
    const engine::OpenCancelScope stopping(request.cancel);
    auto src = engine::openFileSource(request.path, &code);
    if (!src) return failure(request.path, code);
    const int chans = src->channels();
    std::vector<int16_t> buf(size_t(kBlockFrames * chans));

    std::shared_ptr<const WaveformOverview> coarse;
    if (request.coarseColumns > 0 && request.progress && src->lengthFrames() > 0) {
        auto ov = emptyOverview(request.coarseColumns, request.mode, *src);
        for (int c = 0; c < ov->columns; ++c) {
            if (cancelled()) return {};
            const int64_t at = ov->columnStart(c);
            const int64_t want = std::min(kPieceFrames, ov->columnStart(c + 1) - at);
            if (want <= 0 || !src->seek(at)) continue;
            const int64_t got = src->read(buf.data(), want);
            if (got > 0) addPeaks(*ov, buf.data(), got, chans, at);
        }
        coarse = ov;
        request.progress(coarse);
        if (!src->seek(0)) return failure(request.path, BASS_ERROR_FILEOPEN);
    }

    auto ov = emptyOverview(request.columns, request.mode, *src);
    auto lastPost = Clock::now();
    int64_t pos = 0;
    for (;;) {
        if (cancelled()) return {};
        const int64_t got = src->read(buf.data(), kBlockFrames);
        if (got < 0) return failure(request.path, BASS_ERROR_FILEOPEN);
        if (got == 0) break;
        addPeaks(*ov, buf.data(), got, chans, pos);
        pos += got;
        if (request.progress && std::chrono::duration<double>(Clock::now() - lastPost).count() >=
                                    request.refineSeconds) {
            lastPost = Clock::now();
            const int done = int(std::min<int64_t>(
                pos * ov->columns / std::max<int64_t>(ov->frames, 1), ov->columns));
            request.progress(refined(*ov, coarse.get(), done));
        }
    }
    ov->exact = true;
    return {true, {}, ov};
}

OverviewCache::OverviewCache(std::string diskFolder, size_t capacity)
    : folder_(std::move(diskFolder)), capacity_(std::max<size_t>(1, capacity)) {}

std::string OverviewCache::diskPath(const OverviewKey& key) const {
    const size_t h = std::hash<std::string>{}(key.path + '\n' + std::to_string(key.columns) + '\n' +
                                              std::to_string(int(key.mode)));
    char name[32];
    std::snprintf(name, sizeof name, "%016zx.qwo", h);
    return (files::pathFromUtf8(folder_) / name).string();
}

std::shared_ptr<const WaveformOverview> OverviewCache::find(const OverviewKey& key) {
    if (key.path.empty()) return nullptr;
    {
        std::lock_guard g(mutex_);
        for (auto it = entries_.begin(); it != entries_.end(); ++it)
            if (it->first == key) {
                entries_.splice(entries_.begin(), entries_, it);  // most recent first
                return it->second;
            }
    }
    if (folder_.empty()) return nullptr;
    std::FILE* f = files::openFile(diskPath(key), "rb");
    if (!f) return nullptr;
    std::string bytes;
    char chunk[65536];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.append(chunk, n);
    std::fclose(f);
    auto ov = deserialise(key, bytes);
    if (ov) {
        // Opened again: among the last the folder keeps (pruneDisk goes by this time).
        std::error_code ec;
        std::filesystem::last_write_time(files::pathFromUtf8(diskPath(key)),
                                         std::filesystem::file_time_type::clock::now(), ec);
        std::lock_guard g(mutex_);
        entries_.emplace_front(key, ov);
        if (entries_.size() > capacity_) entries_.pop_back();
    }
    return ov;
}

void OverviewCache::store(const OverviewKey& key,
                          std::shared_ptr<const WaveformOverview> overview) {
    if (key.path.empty() || !overview) return;
    {
        std::lock_guard g(mutex_);
        entries_.remove_if([&](const auto& e) { return e.first == key; });
        entries_.emplace_front(key, overview);
        if (entries_.size() > capacity_) entries_.pop_back();
    }
    if (folder_.empty() || !overview->exact) return;
    // The disk copy is a convenience: when it cannot be written the overview is computed again.
    std::error_code ec;
    std::filesystem::create_directories(files::pathFromUtf8(folder_), ec);
    const std::string dest = diskPath(key);
    std::string error;
    const std::string tmp = files::createTemporaryBeside(dest, error);
    if (tmp.empty()) return;
    const std::string bytes = serialise(key, *overview);
    std::FILE* f = files::openFile(tmp, "wb");
    const bool written = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = f && std::fclose(f) == 0;
    if (written && closed)
        files::replaceFile(tmp, dest);
    else
        files::removeTemporary(tmp);
    pruneDisk();
}

void OverviewCache::pruneDisk() const {
    // The folder keeps the overviews of the files opened last: the oldest go beyond the limit.
    namespace fs = std::filesystem;
    std::error_code ec;
    std::vector<std::pair<fs::file_time_type, fs::path>> kept;
    for (fs::directory_iterator it(files::pathFromUtf8(folder_), ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code timeError;  // a file gone meanwhile ends nothing
        if (it->path().extension() == ".qwo")
            kept.emplace_back(it->last_write_time(timeError), it->path());
    }
    if (kept.size() <= kMaxDiskEntries) return;
    std::sort(kept.begin(), kept.end());
    for (size_t i = 0; i + kMaxDiskEntries < kept.size(); ++i) fs::remove(kept[i].second, ec);
}

OverviewResult cachedOverview(OverviewCache& cache, const OverviewRequest& request) {
    const OverviewKey key = overviewKey(request.path, request.columns, request.mode);
    if (auto ov = cache.find(key)) return {true, {}, ov};
    OverviewResult r = computeOverview(request);
    if (r.ok) cache.store(key, r.overview);
    return r;
}

}  // namespace player
