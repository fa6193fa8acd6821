// Opening an audio file for reading through libsndfile, with the WAV variants it does not know by
// name: a BW64 file (the broadcast form of RF64, the same layout under another magic) is read as
// the RF64 file it is, and a WAV file whose recorder stopped before it wrote the sizes (both still
// "empty", audio after them) is read to its end; of a WAV file with several data chunks, the first
// is read (as other players do); a Wave64 file of floats under an extensible header is read as
// floats; an ID3v2 tag before the audio (a FLAC or Ogg file a tagger wrote one into) is passed
// over. Any thread; a SoundFile then belongs to one thread at a time.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace engine {

struct PatchedFile;

// The bytes of the ID3v2 tags at the start of the file `f` (header, body and footer of each, tags
// one after another counted together); 0 when it starts with none. Some taggers put one before a
// FLAC or Ogg file. Reads from the file's start and leaves its position anywhere.
int64_t id3v2Bytes(std::FILE* f);

class SoundFile {
  public:
    explicit SoundFile(const std::string& utf8Path);
    ~SoundFile();
    SoundFile(const SoundFile&) = delete;
    SoundFile& operator=(const SoundFile&) = delete;

    SNDFILE* get() const { return sf_; }  // null when the file could not be opened
    const SF_INFO& info() const { return info_; }

    // The bytes a WAV file may start with: RIFF, RF64 or BW64.
    static bool isWaveMagic(const char* first4);

    // Samples of a float file that are not numbers (infinite or NaN): faults in the file, which
    // the program reads as silence. 0 for integer formats, which cannot hold them. Reads the whole
    // file from where it is.
    int64_t countNonFinite();

    // Where each channel goes, as WAVE's speaker bit (0 front left, 1 front right, 2 front
    // centre, 3 LFE, 4 back left, 5 back right, 6 and 7 front left and right of centre, 8 back
    // centre, 9 side left, 10 side right, 11 to 17 the top speakers): one per channel, -1 for a
    // channel placed nowhere WAVE names (past the bits of an extensible header's mask, or a
    // position of another format's). Empty when the file does not say where its channels go (a
    // WAV without an extensible header, or with a mask of 0). A FLAC file says it in its
    // WAVEFORMATEXTENSIBLE_CHANNEL_MASK comment, where one is written.
    std::vector<int> speakerBits() const;

    // For a WAV file (RIFF, RF64 or BW64): the frames its data chunk declares beyond the end of
    // the file. 0 for a whole file, one whose sizes are left open (0 or all ones, as a writer
    // streaming to a pipe leaves them) and other formats.
    int64_t missingFrames() const { return missing_; }
    // For a WAV file: the channels its format chunk gives, whether or not libsndfile opened it
    // (it opens none of more than 1024). 0 for other formats.
    int wavChannels() const { return wavChannels_; }

  private:
    // An Opus stream whose header gives no input rate decodes at 48 kHz.
    void decodeOpusAtItsRate();

    std::string path_;
    SNDFILE* sf_ = nullptr;
    SF_INFO info_{};
    std::unique_ptr<PatchedFile> patched_;  // behind a file read with bytes replaced
    int64_t missing_ = 0;
    int wavChannels_ = 0;
};

}  // namespace engine
