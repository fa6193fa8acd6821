#include "songs/song_store.h"

#include <nettle/md5.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>

#include "files/temporary_file.h"

namespace fs = std::filesystem;

namespace songs {

namespace {

constexpr uint64_t kHashedBytes = 1 << 20;  // from each end
constexpr const char* kFormat = "quorvin-song";
constexpr int kVersion = 1;
// A stored file larger than this is not one of ours.
constexpr std::uintmax_t kLargestRecord = 4 << 20;

bool readAt(std::ifstream& in, uint64_t at, uint64_t bytes, std::vector<char>& out) {
    out.resize(size_t(bytes));
    in.seekg(std::streamoff(at));
    in.read(out.data(), std::streamsize(bytes));
    return in.gcount() == std::streamsize(bytes);
}

// A place in a song: no sound file lasts longer than the 10,000,000 s (115 days) a render takes.
bool validTime(double t) {
    return std::isfinite(t) && t >= 0.0 && t <= 1e7;
}

// What lies in a song's file.
struct Stored {
    enum Kind { Missing, Good, Newer, Damaged } kind = Missing;
    SongRecord record;  // Good
    std::string why;    // Damaged: for the user
};

Stored readStored(const fs::path& path) {
    Stored stored;
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec) return stored;  // nothing stored (or unreadable: as if nothing were)
    stored.kind = Stored::Damaged;
    if (size > kLargestRecord) {
        stored.why = "it is too large to be a song file";
        return stored;
    }
    std::ifstream in(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in.good() && !in.eof()) {
        stored.why = "it cannot be read";
        return stored;
    }
    bool newer = false;
    if (fromJson(text, stored.record, stored.why, &newer))
        stored.kind = Stored::Good;
    else if (newer)
        stored.kind = Stored::Newer;
    return stored;
}

std::string newerNote(const fs::path& path) {
    return "This song's practice record (" + path.string() +
           ") was written by a newer version of the program and is left as it is: its loops and "
           "markers are not shown, and what is made here is not kept.";
}

// Renames `path` to a name beside it that no file has (NAME.damaged, else NAME.2.damaged,
// NAME.3.damaged, ...), so that an earlier file put aside is never replaced; the new name, or
// empty when it could not be renamed.
fs::path putAside(const fs::path& path) {
    for (int n = 1; n <= 1000; ++n) {
        fs::path aside = path;
        aside += (n == 1 ? "" : "." + std::to_string(n)) + ".damaged";
        std::error_code ec;
        const fs::file_status status = fs::symlink_status(aside, ec);
        if (fs::exists(status)) continue;
        if (status.type() != fs::file_type::not_found) return {};  // cannot tell
        fs::rename(path, aside, ec);
        return ec ? fs::path() : aside;
    }
    return {};
}

}  // namespace

std::string SongKey::fileName() const {
    return std::to_string(size) + "-" + hash + ".json";
}

SongKey songKey(const std::string& path) {
    std::error_code ec;
    const fs::path p = fs::u8path(path);
    const std::uintmax_t size = fs::file_size(p, ec);
    if (ec) return {};
    std::ifstream in(p, std::ios::binary);
    if (!in) return {};
    md5_ctx ctx;
    md5_init(&ctx);
    std::vector<char> block;
    const uint64_t head = std::min<uint64_t>(size, kHashedBytes);
    if (!readAt(in, 0, head, block)) return {};
    md5_update(&ctx, block.size(), reinterpret_cast<const uint8_t*>(block.data()));
    if (size > kHashedBytes) {
        // The last megabyte (overlapping the first in a file shorter than two).
        const uint64_t from = size - kHashedBytes;
        if (!readAt(in, from, kHashedBytes, block)) return {};
        md5_update(&ctx, block.size(), reinterpret_cast<const uint8_t*>(block.data()));
    }
    uint8_t digest[MD5_DIGEST_SIZE];
    md5_digest(&ctx, sizeof digest, digest);
    SongKey key;
    key.size = size;
    static const char* const hex = "0123456789abcdef";
    for (uint8_t b : digest) {
        key.hash += hex[b >> 4];
        key.hash += hex[b & 15];
    }
    return key;
}

std::string defaultDataFolder() {
    // XDG_DATA_HOME when set, else ~/.local/share.
    return (QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/quorvin")
        .toStdString();
}

namespace {

// `list` less what `from` had and `to` has not, with what `to` has and `from` had not.
template <typename T>
void mergeList(std::vector<T>& list, const std::vector<T>& from, const std::vector<T>& to) {
    const auto has = [](const std::vector<T>& v, const T& x) {
        return std::find(v.begin(), v.end(), x) != v.end();
    };
    for (const T& x : from)
        if (!has(to, x))
            if (const auto at = std::find(list.begin(), list.end(), x); at != list.end())
                list.erase(at);
    for (const T& x : to)
        if (!has(from, x) && !has(list, x)) list.push_back(x);
}

std::optional<Loop> currentOf(const SongRecord& r) {
    if (r.currentLoop < 0 || size_t(r.currentLoop) >= r.loops.size()) return std::nullopt;
    return r.loops[size_t(r.currentLoop)];
}

}  // namespace

SongRecord mergeChanges(SongRecord stored, const SongRecord& from, const SongRecord& to) {
    const std::optional<Loop> current =
        currentOf(to) != currentOf(from) ? currentOf(to) : currentOf(stored);
    mergeList(stored.loops, from.loops, to.loops);
    mergeList(stored.markers, from.markers, to.markers);
    stored.currentLoop = -1;
    if (current)
        if (const auto at = std::find(stored.loops.begin(), stored.loops.end(), *current);
            at != stored.loops.end())
            stored.currentLoop = int(at - stored.loops.begin());
    if (to.lastPosition != from.lastPosition) stored.lastPosition = to.lastPosition;
    if (to.bpmOctave != from.bpmOctave) stored.bpmOctave = to.bpmOctave;
    return stored;
}

std::string toJson(const SongRecord& record) {
    QJsonArray loops;
    for (const Loop& l : record.loops)
        loops.append(QJsonObject{
            {"name", QString::fromStdString(l.name)}, {"start", l.start}, {"end", l.end}});
    QJsonArray markers;
    for (const Marker& m : record.markers)
        markers.append(QJsonObject{{"name", QString::fromStdString(m.name)}, {"at", m.at}});
    const QJsonObject root{{"format", kFormat},
                           {"version", kVersion},
                           {"loops", loops},
                           {"currentLoop", record.currentLoop},
                           {"markers", markers},
                           {"lastPosition", record.lastPosition},
                           {"bpmOctave", record.bpmOctave}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

bool fromJson(const std::string& text, SongRecord& record, std::string& why, bool* newer) {
    if (newer) *newer = false;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        why = "it is not readable JSON";
        return false;
    }
    const QJsonObject root = doc.object();
    if (root.value("format").toString() != kFormat) {
        why = "it is not a song file of this program";
        return false;
    }
    const int version = root.value("version").toInt(-1);
    if (version > kVersion) {
        why = "it was written by a newer version of the program";
        if (newer) *newer = true;
        return false;
    }
    if (version != kVersion) {
        why = "it is of another version";
        return false;
    }
    SongRecord r;
    for (const QJsonValue& v : root.value("loops").toArray()) {
        const QJsonObject o = v.toObject();
        Loop l{o.value("name").toString().toStdString(), o.value("start").toDouble(-1),
               o.value("end").toDouble(-1)};
        if (!validTime(l.start) || !validTime(l.end) || l.end < l.start) {
            why = "a loop in it makes no sense";
            return false;
        }
        r.loops.push_back(std::move(l));
    }
    for (const QJsonValue& v : root.value("markers").toArray()) {
        const QJsonObject o = v.toObject();
        Marker m{o.value("name").toString().toStdString(), o.value("at").toDouble(-1)};
        if (!validTime(m.at)) {
            why = "a marker in it makes no sense";
            return false;
        }
        r.markers.push_back(std::move(m));
    }
    r.currentLoop = root.value("currentLoop").toInt(-1);
    if (r.currentLoop < -1 || r.currentLoop >= int(r.loops.size())) r.currentLoop = -1;
    r.lastPosition = root.value("lastPosition").toDouble(0);
    if (!validTime(r.lastPosition)) r.lastPosition = 0;
    // Absent in the files of earlier versions of the program.
    r.bpmOctave = std::clamp(root.value("bpmOctave").toInt(0), -2, 2);
    record = std::move(r);
    return true;
}

SongStore::SongStore(std::string dataFolder)
    : folder_((fs::u8path(dataFolder) / "songs").string()) {}

SongStore::Loaded SongStore::load(const SongKey& key) const {
    Loaded loaded;
    if (!key.valid()) return loaded;
    const fs::path path = fs::u8path(folder_) / key.fileName();
    Stored stored = readStored(path);
    switch (stored.kind) {
        case Stored::Missing:
            return loaded;
        case Stored::Good:
            loaded.record = std::move(stored.record);
            return loaded;
        case Stored::Newer:
            loaded.note = newerNote(path);
            return loaded;
        case Stored::Damaged:
            break;
    }
    // Put aside, so that the next save does not destroy what someone may want to look at.
    const fs::path aside = putAside(path);
    loaded.note = "The loops and markers stored for this song were ignored: " + stored.why + " (" +
                  path.string() + (aside.empty() ? "" : ", kept as " + aside.filename().string()) +
                  ").";
    return loaded;
}

files::Result SongStore::save(const SongKey& key, const SongRecord& record) const {
    if (!key.valid()) return files::Result::failure("The song could not be read to be recognised.");
    const fs::path path = fs::u8path(folder_) / key.fileName();
    // A newer version's record is neither replaced nor removed: that version may still want it.
    if (readStored(path).kind == Stored::Newer) return files::Result::failure(newerNote(path));
    std::error_code ec;
    if (record.empty()) {
        fs::remove(path, ec);
        return files::Result::success();
    }
    fs::create_directories(fs::u8path(folder_), ec);
    if (ec)
        return files::Result::failure("Cannot make the folder " + folder_ + ": " + ec.message());
    files::TemporaryFile t;
    if (files::Result r = t.create(path.string()); !r) return r;
    const std::string text = toJson(record);
    if (files::Result r = t.write(text.data(), text.size()); !r) return r;
    return t.commit();
}

}  // namespace songs
