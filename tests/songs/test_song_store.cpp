// The song store: a record written and read back, found again when the file is renamed or moved,
// told apart from another file, a stored file that is damaged or not ours ignored with a note
// (and kept aside), never a crash, and a newer version's file left as it is.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "songs/song_store.h"
#include "tests/support/audio_fixtures.h"

namespace fs = std::filesystem;

namespace {

songs::SongRecord sample() {
    songs::SongRecord r;
    r.loops = {{"Intro", 1.5, 4.25}, {"Solo – bars 9–16", 61.0, 75.5}};
    r.currentLoop = 1;
    r.markers = {{"Verse", 12.0}, {"Bridge", 90.75}};
    r.lastPosition = 33.5;
    r.bpmOctave = -1;
    return r;
}

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A store in a folder of its own with sample() saved for a song; the store's file for it.
struct SavedSong {
    fixtures::TempDir tmp;
    songs::SongStore store{tmp.file("data")};
    songs::SongKey key;
    fs::path stored;
    SavedSong() {
        const std::string song = tmp.file("song.wav");
        fixtures::writeWav(song, fixtures::sine(440, 2.0));
        key = songs::songKey(song);
        EXPECT_TRUE(store.save(key, sample()));
        stored = tmp.path() / "data" / "songs" / key.fileName();
    }
};

}  // namespace

// Kept under the song's contents: the same record comes back for a renamed and moved copy, not
// for a file that differs in its last megabyte only; an empty record leaves no file.
TEST(SongStore, KeepsTheRecordUnderTheSongsContents) {
    fixtures::TempDir tmp;
    const songs::SongStore store(tmp.file("data"));
    const fixtures::Pcm music = fixtures::drumTrack(100, 30.0);  // 5 MB: first and last MB apart
    const std::string song = tmp.file("song.wav");
    fixtures::writeWav(song, music);
    ASSERT_TRUE(store.save(songs::songKey(song), sample()));

    fs::create_directories(tmp.path() / "moved");
    const std::string moved = tmp.file("moved/renamed.wav");
    fs::rename(song, moved);
    const songs::SongStore::Loaded back = store.load(songs::songKey(moved));
    EXPECT_EQ(back.note, "");
    EXPECT_EQ(back.record, sample());

    fixtures::Pcm changed = music;
    changed.samples[changed.samples.size() - 1000] ^= 1;  // near the end only
    const std::string other = tmp.file("other.wav");
    fixtures::writeWav(other, changed);
    EXPECT_NE(songs::songKey(other).hash, songs::songKey(moved).hash);
    EXPECT_TRUE(store.load(songs::songKey(other)).record.empty());

    ASSERT_TRUE(store.save(songs::songKey(moved), {}));
    EXPECT_TRUE(fs::is_empty(tmp.path() / "data" / "songs"));
    EXPECT_FALSE(songs::songKey(tmp.file("missing.wav")).valid());
}

// Whatever lies in the song's file, the song loads empty with a note naming the file, the file
// is kept aside (never over one kept before), and the next save writes a good one.
TEST(SongStore, IgnoresADamagedOrForeignFileWithANote) {
    const SavedSong saved;
    const songs::SongStore& store = saved.store;
    const songs::SongKey& key = saved.key;
    const fs::path& stored = saved.stored;
    std::string good;
    std::getline(std::ifstream(stored), good, '\0');

    const std::vector<std::string> contents = {
        "",
        "{\"format\": \"quorvin-song\", \"version\": 1, \"loops\": [",  // cut short
        "\x89PNG\r\n\x1a\n binary",
        "{\"format\": \"someone-else\", \"version\": 1}",
        "{\"format\": \"quorvin-song\", \"version\": 0}",
        "[1, 2, 3]",
        "{\"format\": \"quorvin-song\", \"version\": 1, \"loops\": [{\"name\": \"x\", \"start\": "
        "5, \"end\": 2}]}",
        "{\"format\": \"quorvin-song\", \"version\": 1, \"markers\": [{\"at\": -3}]}",
        "{\"format\": \"quorvin-song\", \"version\": 1, \"markers\": [{\"at\": 1e300}]}",
        good.substr(0, good.size() / 2),
    };
    for (const std::string& text : contents) {
        writeText(stored, text);
        const songs::SongStore::Loaded loaded = store.load(key);
        EXPECT_TRUE(loaded.record.empty()) << text;
        EXPECT_NE(loaded.note.find(stored.filename().string()), std::string::npos) << text;
        ASSERT_TRUE(store.save(key, sample()));
        EXPECT_EQ(store.load(key).record, sample()) << text;
    }
    std::vector<std::string> aside;
    for (const auto& entry : fs::directory_iterator(stored.parent_path())) {
        if (entry.path().extension() != ".damaged") continue;
        aside.emplace_back();
        std::getline(std::ifstream(entry.path()), aside.back(), '\0');
    }
    std::vector<std::string> expected = contents;
    std::sort(aside.begin(), aside.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(aside, expected);
}

// A record written by a newer version of the program is left exactly as it is: the song loads
// empty with a note that says so, and neither a save nor an empty record replaces or removes it.
TEST(SongStore, LeavesANewerVersionsRecordAsItIs) {
    const SavedSong saved;
    const songs::SongStore& store = saved.store;
    const songs::SongKey& key = saved.key;
    const fs::path& stored = saved.stored;
    const std::string newer =
        "{\"format\": \"quorvin-song\", \"version\": 2, \"loops\": [{\"from\": 1}]}";
    writeText(stored, newer);

    const songs::SongStore::Loaded loaded = store.load(key);
    EXPECT_TRUE(loaded.record.empty());
    EXPECT_NE(loaded.note.find("newer version"), std::string::npos) << loaded.note;
    EXPECT_NE(loaded.note.find(stored.filename().string()), std::string::npos) << loaded.note;
    for (const songs::SongRecord& record : {sample(), songs::SongRecord{}}) {
        const files::Result result = store.save(key, record);
        EXPECT_FALSE(result);
        EXPECT_EQ(result.message, loaded.note);
    }
    std::string now;
    std::getline(std::ifstream(stored), now, '\0');
    EXPECT_EQ(now, newer);
    EXPECT_EQ(std::distance(fs::directory_iterator(stored.parent_path()), fs::directory_iterator()),
              1);  // nothing put aside
}

// Two running copies of the program on one song: what each adds, removes or changes since it last
// read or wrote the song goes in, and what the other made stays.
TEST(SongStore, ChangesMergeWithWhatAnotherCopyWroteMeanwhile) {
    using songs::Loop;
    using songs::Marker;
    songs::SongRecord base;  // what both copies read
    base.loops = {{"Intro", 1, 4}, {"Solo", 60, 75}};
    base.markers = {{"Verse", 12}};
    base.currentLoop = 0;
    songs::SongRecord stored = base;  // the other copy added a loop and a marker, set an octave
    stored.loops.push_back({"Other", 20, 30});
    stored.markers.push_back({"Other mark", 50});
    stored.bpmOctave = 1;
    songs::SongRecord mine = base;  // this copy removed "Intro", moved "Solo", chose it, added one
    mine.loops = {{"Solo", 61, 75}, {"Mine", 80, 90}};
    mine.currentLoop = 0;
    mine.lastPosition = 42;

    const songs::SongRecord merged = songs::mergeChanges(stored, base, mine);
    EXPECT_EQ(merged.loops,
              (std::vector<Loop>{{"Other", 20, 30}, {"Solo", 61, 75}, {"Mine", 80, 90}}));
    EXPECT_EQ(merged.currentLoop, 1);  // "Solo", as this copy chose
    EXPECT_EQ(merged.markers, (std::vector<Marker>{{"Verse", 12}, {"Other mark", 50}}));
    EXPECT_EQ(merged.lastPosition, 42);  // changed here
    EXPECT_EQ(merged.bpmOctave, 1);      // changed there only
}
