// WMA through the BASS_WMA_ encoder, its tags in the ASF header.
#include "encode/basswma.h"
#include "encode/format_support.h"

namespace encode::detail {

namespace {

class WmaEncoder : public FileEncoder {
  public:
    ~WmaEncoder() override {
        if (enc_) BASS_WMA_EncodeClose(enc_);
    }
    bool open(const std::string& path, uint32_t bitrate, const Tags& tags) {
        path_ = path;
        enc_ = BASS_WMA_EncodeOpenFile(kRate, 2, 0, bitrate, path.c_str());
        if (!enc_) {
            error_ = failure("An error occured while opening output file.");
            return false;
        }
        const std::pair<const char*, std::string> named[] = {
            {"Title", tags.title},
            {"Author", tags.artist},
            {"WM/AlbumTitle", tags.album},
            {"WM/Year", tags.year},
            {"WM/AlbumArtist", tags.albumArtist},
            {"WM/Genre", tags.genre},
            {"WM/TrackNumber", tags.track > 0 ? std::to_string(tags.track) : ""},
            {"PRE_EMPHASIS", tags.preEmphasis ? "1" : ""}};
        for (const auto& [name, text] : named)
            if (!text.empty()) BASS_WMA_EncodeSetTag(enc_, name, text.c_str(), 0);
        return true;
    }
    bool write(const uint8_t* pcm, size_t bytes) override {
        if (BASS_WMA_EncodeWrite(enc_, pcm, DWORD(bytes))) return true;
        error_ = failure("An error occured while encoding WMA data.");
        return false;
    }
    bool finish() override {
        const BOOL closed = BASS_WMA_EncodeClose(enc_);
        enc_ = 0;
        if (closed) return true;
        error_ = failure("An error occured while encoding WMA data.");
        return false;
    }

  private:
    // The engine's words and code, and the system's reason where the file could not be written.
    std::string failure(const std::string& what) const {
        const std::string reason = wmaFileFailure();
        return what + " (Error Code : " + std::to_string(BASS_ErrorGetCode()) + ")" +
               (reason.empty() ? "" : ": cannot write \"" + path_ + "\": " + reason);
    }

    HWMENCODE enc_ = 0;
    std::string path_;
};

}  // namespace

std::unique_ptr<FileEncoder> openWma(const OpenRequest& request, std::string& error) {
    if (!takesCdAudioOnly(request, "WMA", error)) return nullptr;
    auto e = std::make_unique<WmaEncoder>();
    const bool ok = e->open(request.path, request.bitrate, request.tags);
    return opened(std::move(e), ok, error);
}

}  // namespace encode::detail
