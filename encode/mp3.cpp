// MP3 through the LAME encoder, its ID3v2 tag before the audio.
#include <taglib/id3v2tag.h>

#include <cerrno>
#include <cstdio>

#include "encode/format_support.h"
#include "encode/lame_encoder.h"
#include "files/fault_injection.h"
#include "files/file_io.h"
#include "files/open_error.h"

namespace encode::detail {

namespace {

// How every MP3 of CD audio is encoded.
LameEncoder::Settings cdAudioSettings(uint32_t bitrate) {
    return {kRate, 2, int(bitrate / 1000), LameEncoder::Mode::Default};
}

class Mp3Encoder : public FileEncoder {
  public:
    explicit Mp3Encoder(Tags tags) : tags_(std::move(tags)) {}
    ~Mp3Encoder() override {
        if (file_) std::fclose(file_);
    }

    bool open(const std::string& path, uint32_t bitrate) {
        path_ = path;
        file_ = files::openFile(path, "wb");
        if (!file_) {
            error_ = "cannot write \"" + path + "\": " + files::describeError(errno);
            return false;
        }
        switch (lame_.open(cdAudioSettings(bitrate))) {
            case LameEncoder::Start::Ok:
                break;
            case LameEncoder::Start::CannotStart:
                error_ = "the MP3 encoder cannot start";
                return false;
            case LameEncoder::Start::Refused:
                error_ =
                    "the MP3 encoder does not take " + std::to_string(bitrate / 1000) + " kbit/s";
                return false;
        }
        // The ID3v2 tag goes first, so the file is written once; the audio follows it.
        TagLib::ID3v2::Tag id3;
        id3.setProperties(propertiesOf(tags_, true));
        if (!id3.isEmpty()) {
            const TagLib::ByteVector head = id3.render();
            if (std::fwrite(head.data(), 1, head.size(), file_) != head.size()) return failed();
            audioStart_ = head.size();
        }
        return true;
    }

    bool write(const uint8_t* pcm, size_t bytes) override {
        return frames_.feed(pcm, bytes,
                            [this](const int16_t* f, size_t n) { return put(lame_.encode(f, n)); });
    }

    bool finish() override {
        if (!file_) return false;
        if (!put(lame_.flush())) return false;
        // The LAME/Xing frame over the first frame, so that players know the exact length.
        const std::span<const uint8_t> tag = lame_.lameTagFrame();
        if (!tag.empty() && (std::fseek(file_, long(audioStart_), SEEK_SET) != 0 ||
                             std::fwrite(tag.data(), 1, tag.size(), file_) != tag.size()))
            return failed();
        const int closed = std::fclose(file_);
        file_ = nullptr;
        if (closed != 0) return failed();
        return true;
    }

  private:
    bool put(std::optional<std::span<const uint8_t>> made) {
        if (!made) {
            error_ = "the MP3 encoder failed (" + std::to_string(lame_.failure()) + ")";
            return false;
        }
        if (!made->empty() && std::fwrite(made->data(), 1, made->size(), file_) != made->size())
            return failed();
        return true;
    }
    bool failed() {
        error_ = "cannot write \"" + path_ + "\": " + files::describeError(errno);
        return false;
    }

    Tags tags_;
    std::string path_;
    std::FILE* file_ = nullptr;
    size_t audioStart_ = 0;  // bytes of the ID3v2 tag before the first frame
    LameEncoder lame_;
    FrameAssembler frames_;
};

}  // namespace

std::unique_ptr<FileEncoder> openMp3(const OpenRequest& request, std::string& error) {
    if (!takesCdAudioOnly(request, "MP3", error)) return nullptr;
    auto e = std::make_unique<Mp3Encoder>(request.tags);
    const bool ok = e->open(request.path, request.bitrate);
    return opened(std::move(e), ok, error);
}

std::string mp3BitrateNote(uint32_t bitrate) {
    LameEncoder lame;
    const LameEncoder::Settings settings = cdAudioSettings(bitrate);
    if (lame.open(settings) != LameEncoder::Start::Ok ||
        (lame.kbps() == settings.kbps && lame.outRate() == settings.rate))
        return {};
    return files::mp3ChoiceMessage(lame.kbps(), lame.outRate(), settings.kbps, settings.rate);
}

}  // namespace encode::detail
