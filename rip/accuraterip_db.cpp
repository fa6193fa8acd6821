#include "rip/accuraterip_db.h"

#include <cstdio>
#include <memory>

#include "files/file_io.h"

namespace cd {

namespace {

uint32_t le32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

constexpr size_t kHeaderBytes = 13;  // track count, ID 1, ID 2, freedb ID
constexpr size_t kTrackBytes = 9;    // confidence, checksum, frame 450 checksum

}  // namespace

bool parseAccurateRipDb(std::string_view bytes, AccurateRipDb& db, std::string& error) {
    db.submissions.clear();
    if (bytes.size() > kMaxAccurateRipDbBytes) {
        error = "the AccurateRip database file is too large to be one";
        return false;
    }
    if (bytes.empty()) {
        error = "the AccurateRip database file is empty";
        return false;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t at = 0;
    while (at < bytes.size()) {
        const size_t number = db.submissions.size() + 1;
        const int tracks = p[at];
        if (tracks == 0) {
            error = "the AccurateRip database file is malformed: submission " +
                    std::to_string(number) + " has no tracks";
            return false;
        }
        const size_t need = kHeaderBytes + size_t(tracks) * kTrackBytes;
        if (bytes.size() - at < need) {
            error = "the AccurateRip database file is cut short: submission " +
                    std::to_string(number) + " lacks " +
                    std::to_string(need - (bytes.size() - at)) + " bytes";
            return false;
        }
        AccurateRipSubmission s;
        s.id1 = le32(p + at + 1);
        s.id2 = le32(p + at + 5);
        s.freedb = le32(p + at + 9);
        for (int t = 0; t < tracks; ++t) {
            const unsigned char* e = p + at + kHeaderBytes + size_t(t) * kTrackBytes;
            s.tracks.push_back({e[0], le32(e + 1), le32(e + 5)});
        }
        db.submissions.push_back(std::move(s));
        at += need;
    }
    return true;
}

bool readAccurateRipDb(const std::string& path, AccurateRipDb& db, std::string& error) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(files::openFile(path, "rb"), std::fclose);
    if (!f) {
        error = "the AccurateRip database file \"" + path + "\" cannot be opened";
        return false;
    }
    std::string bytes(kMaxAccurateRipDbBytes + 1, '\0');
    const size_t n = std::fread(bytes.data(), 1, bytes.size(), f.get());
    if (std::ferror(f.get())) {
        error = "the AccurateRip database file \"" + path + "\" cannot be read";
        return false;
    }
    bytes.resize(n);
    if (!parseAccurateRipDb(bytes, db, error)) {
        error += " (" + path + ")";
        return false;
    }
    return true;
}

AccurateRipVerdict verifyTrack(const AccurateRipDb& db, int track, int audioTracks, uint32_t v1,
                               uint32_t v2, const DiscIds* ids) {
    AccurateRipVerdict verdict;
    verdict.kind = AccurateRipVerdict::Kind::NotInDatabase;
    int confidence[3] = {0, 0, 0};  // by version
    bool matched[3] = {false, false, false};
    for (const AccurateRipSubmission& s : db.submissions) {
        if (int(s.tracks.size()) != audioTracks || track < 1 || track > audioTracks) continue;
        if (ids &&
            (s.id1 != ids->accurateRip1 || s.id2 != ids->accurateRip2 || s.freedb != ids->freedb))
            continue;
        const AccurateRipSubmission::Track& t = s.tracks[size_t(track - 1)];
        if (t.confidence == 0 && t.crc == 0) continue;  // nobody submitted this track
        if (verdict.kind == AccurateRipVerdict::Kind::NotInDatabase)
            verdict.kind = AccurateRipVerdict::Kind::NotAccurate;
        const int version = t.crc == v2 ? 2 : t.crc == v1 ? 1 : 0;
        confidence[version] += t.confidence;
        matched[version] = true;
    }
    for (int version : {2, 1}) {
        if (matched[version]) {
            verdict.kind = AccurateRipVerdict::Kind::Accurate;
            verdict.confidence = confidence[version];
            verdict.version = version;
            break;
        }
    }
    return verdict;
}

std::string verdictText(const AccurateRipVerdict& verdict) {
    switch (verdict.kind) {
        case AccurateRipVerdict::Kind::NotChecked:
            return {};
        case AccurateRipVerdict::Kind::Accurate:
            return "accurate (confidence " + std::to_string(verdict.confidence) + ", v" +
                   std::to_string(verdict.version) + ")";
        case AccurateRipVerdict::Kind::NotAccurate:
            return "not accurate";
        case AccurateRipVerdict::Kind::NotInDatabase:
            return "not in database";
    }
    return {};
}

}  // namespace cd
