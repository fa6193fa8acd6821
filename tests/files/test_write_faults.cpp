// Every writer of the program against a disk that fills or fails: the render, the normaliser,
// CD extraction, the MP3 encoder and the safe copy all write through the file layer, whose fault
// hook makes the Nth write, flush or read fail. Each must end with a message naming the reason
// and leave no file claiming to be complete: the ones writing through a temporary keep the
// user's earlier file and leave nothing else; the ones writing in place leave a WAV whose header
// describes exactly what is on disk.
#include <cerrno>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "components/mp3_encoder.h"
#include "components/normaliser_component.h"
#include "disc/basscd.h"
#include "files/fault_injection.h"
#include "files/safe_copy.h"
#include "render/render_pipeline.h"
#include "rip/extract.h"
#include "tests/cd/cd_image.h"
#include "tests/support/audio_fixtures.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
    bool ok = false;
    std::string message;
};

struct Sources {
    fixtures::TempDir dir;
    std::string wav = dir.file("source.wav");
    std::string raw = dir.file("source.raw");
    std::string cue;
    int drive = -1;
};

struct Writer {
    const char* name;
    bool inPlace;  // writes its file in place (a WAV that must stay consistent)
    const char* output;
    std::function<Outcome(const Sources&, const std::string& out)> run;
};

const Writer kWriters[] = {
    {"render", true, "render.wav",
     [](const Sources& s, const std::string& out) {
         render::RenderPipeline p;
         if (!p.open(s.wav, out, {})) return Outcome{false, p.error()};
         while (p.step() == render::RenderPipeline::Step::More) {
         }
         // As "Process" decides between "Done!" (and offering the file) and a message.
         const bool finished = p.finish();
         p.close();
         return Outcome{finished, p.error()};
     }},
    {"normaliser", false, "normalised.wav",
     [](const Sources& s, const std::string& out) {
         const std::string e = NormaliserComponent::normalizeFile(s.wav, out, 90, {});
         return Outcome{e.empty(), e};
     }},
    {"cd extraction", true, "track.wav",
     [](const Sources& s, const std::string& out) {
         const cd::ExtractResult r = cd::extractTrackToWav(s.drive, 0, out);
         return Outcome{r.ok(), r.message};
     }},
    {"mp3 encoder", false, "encoded.mp3",
     [](const Sources& s, const std::string& out) {
         const std::string e = components::encodeMp3File({s.raw, out, 128000, 0});
         return Outcome{e.empty(), e};
     }},
    {"safe copy", false, "copy.wav",
     [](const Sources& s, const std::string& out) {
         const files::Result r = files::copyFileSafely(s.wav, out);
         return Outcome{r.ok, r.message};
     }},
};

struct FaultCase {
    files::Fault kind;
    int nth;
    int error;
    const char* says;
};
void PrintTo(const FaultCase& f, std::ostream* os) {
    *os << "fault " << int(f.kind) << " at " << f.nth << ", errno " << f.error;
}

class WriteFaults : public ::testing::TestWithParam<std::tuple<int, FaultCase>> {
  protected:
    void SetUp() override {
        const auto pcm = fixtures::sine(440, 20.0);
        fixtures::writeWav(s.wav, pcm);
        const auto wavBytes = fixtures::readBytes(s.wav);
        fixtures::writeBytes(s.raw, std::vector<uint8_t>(wavBytes.begin() + 44, wavBytes.end()));
        engine::cdUseDeviceDrives(false);
        engine::cdRemoveImages();
        cdimage::Disc disc;
        disc.tracks = cdimage::audioTracks(1, 600);
        s.cue = cdimage::write(s.dir.file("disc"), disc);
        s.drive = engine::cdAddImage(s.cue);
        ASSERT_GE(s.drive, 0);
    }
    void TearDown() override {
        files::disarmFaults();
        engine::cdRemoveImages();
    }
    Sources s;
};

std::set<std::string> filesIn(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

TEST_P(WriteFaults, EndWithTheReasonAndNoFileClaimingToBeComplete) {
    const auto& [index, fault] = GetParam();
    const Writer& w = kWriters[index];
    SCOPED_TRACE(w.name);
    const std::string out = s.dir.file(w.output);
    const std::vector<uint8_t> earlier = {'o', 'l', 'd'};
    if (!w.inPlace) fixtures::writeBytes(out, earlier);
    const auto before = filesIn(s.dir.path());

    // Without a fault the writer succeeds: the fault is what makes it fail.
    ASSERT_TRUE(w.run(s, s.dir.file(std::string("clean-") + w.output)).ok);
    fs::remove(s.dir.file(std::string("clean-") + w.output));

    files::armFault(fault.kind, fault.nth, fault.error);
    const Outcome o = w.run(s, out);
    files::disarmFaults();
    EXPECT_FALSE(o.ok);
    EXPECT_NE(o.message.find(fault.says), std::string::npos) << o.message;

    if (w.inPlace) {
        // Whatever is on disk, the header describes exactly that.
        const auto b = fixtures::readBytes(out);
        if (b.size() >= 44) {
            EXPECT_EQ(fixtures::le32(b, 4), b.size() - 8);
            EXPECT_EQ(fixtures::le32(b, 40), b.size() - 44);
        }
    } else {
        EXPECT_EQ(fixtures::readBytes(out), earlier);
        EXPECT_EQ(filesIn(s.dir.path()), before);
    }
}

std::string caseName(const ::testing::TestParamInfo<std::tuple<int, FaultCase>>& info) {
    const auto& [index, fault] = info.param;
    std::string name = kWriters[index].name;
    for (char& c : name)
        if (c == ' ') c = '_';
    const char* kinds[] = {"write", "flush", "read"};
    return name + "_" + kinds[int(fault.kind)] + std::to_string(fault.nth) + "_errno" +
           std::to_string(fault.error);
}

const FaultCase kWriteFaults[] = {
    {files::Fault::Write, 2, ENOSPC, "No space left on device"},
    {files::Fault::Write, 3, EIO, "Input/output error"},
    {files::Fault::Flush, 1, ENOSPC, "No space left on device"},
};

INSTANTIATE_TEST_SUITE_P(EveryWriter, WriteFaults,
                         ::testing::Combine(::testing::Range(0, int(std::size(kWriters))),
                                            ::testing::ValuesIn(kWriteFaults)),
                         caseName);

// Short reads: the readers that go through the file layer (the copy's source, the encoder's raw
// input) say so instead of writing a shorter file as if it were whole.
INSTANTIATE_TEST_SUITE_P(Readers, WriteFaults,
                         ::testing::Combine(::testing::Values(3, 4),
                                            ::testing::Values(FaultCase{files::Fault::Read, 2, EIO,
                                                                        "source"})),
                         caseName);

}  // namespace
