// Ogg Vorbis and Opus through libsndfile, tags through TagLib once the file is closed (internal
// to this folder: vorbis.cpp and opus.cpp say which codec, which rate, which tagger).
#pragma once

#include <sndfile.h>
#include <soxr.h>

#include <string>
#include <vector>

#include "encode/format_support.h"

namespace encode::detail {

class OggEncoder : public FileEncoder {
  public:
    struct Codec {
        int sfFormat;  // SF_FORMAT_OGG | ...
        int rate;      // the file's rate (0: the input's); another than the input's resamples
        // Writes `tags` into the closed file at `path`; false when it cannot.
        bool (*tag)(const std::string& path, const Tags& tags);
    };
    OggEncoder(const Codec& codec, const OpenRequest& request)
        : codec_(codec),
          tags_(request.tags),
          inRate_(request.rate),
          channels_(request.channels),
          frames_(request.channels) {
        if (codec_.rate == 0) codec_.rate = inRate_;
    }
    ~OggEncoder() override;

    bool open(const std::string& path);
    bool write(const uint8_t* pcm, size_t bytes) override;
    bool finish() override;

  private:
    bool checked(sf_count_t written, size_t wanted);
    bool resample(const int16_t* in, size_t frames);

    Codec codec_;
    Tags tags_;
    int inRate_, channels_;
    std::string path_;
    SNDFILE* sf_ = nullptr;
    soxr_t resampler_ = nullptr;
    std::vector<float> out_;
    std::vector<int16_t> ordered_;  // a block put into Vorbis's channel order
    FrameAssembler frames_;
    int64_t written_ = 0;  // frames in the file
};

// The tags into an Ogg file's Vorbis comment.
template <class OggFile>
bool tagOggFile(const std::string& path, const Tags& tags) {
    OggFile f(path.c_str(), false);
    if (!f.isValid() || !f.tag()) return false;
    f.tag()->setProperties(propertiesOf(tags, false));
    return f.save();
}

}  // namespace encode::detail
