// WAV: the PCM bit for bit behind the program's header, through the file layer's writer.
#include "encode/format_support.h"
#include "files/wave_header.h"

namespace encode::detail {

namespace {

class WavEncoder : public FileEncoder {
  public:
    bool open(const std::string& path, int rate, int channels) {
        if (writer_.create(path, files::WaveHeader::forFormat(channels, rate, false))) return true;
        error_ = writer_.error();
        return false;
    }
    bool write(const uint8_t* pcm, size_t bytes) override {
        if (writer_.append(pcm, bytes)) return true;
        error_ = writer_.error();
        return false;
    }
    bool finish() override {
        if (writer_.finish()) return true;
        error_ = writer_.error();
        return false;
    }

  private:
    files::WaveWriter writer_;
};

}  // namespace

std::unique_ptr<FileEncoder> openWav(const OpenRequest& request, std::string& error) {
    auto e = std::make_unique<WavEncoder>();
    const bool ok = e->open(request.path, request.rate, request.channels);
    return opened(std::move(e), ok, error);
}

}  // namespace encode::detail
