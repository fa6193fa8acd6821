// libFuzzer target for the AccurateRip database file reader: any bytes as a file. The parser must
// never read outside them; a file it accepts is submissions end to end (a track count of at
// least 1, the three disc IDs, nine bytes a track) that verifying a track can walk; a refused
// one says why.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "rip/accuraterip_db.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    cd::AccurateRipDb db;
    std::string error;
    if (!cd::parseAccurateRipDb(bytes, db, error)) {
        check(!error.empty());
        return 0;
    }
    size_t total = 0;
    for (const auto& s : db.submissions) {
        check(!s.tracks.empty() && s.tracks.size() <= 255);
        total += 13 + 9 * s.tracks.size();
    }
    check(total == size);
    if (!db.submissions.empty()) {
        const int n = int(db.submissions.front().tracks.size());
        for (int t = 0; t <= n + 1; ++t) cd::verifyTrack(db, t, n, 0, 0);
    }
    return 0;
}
