// Opus, which takes 48 kHz: the input is resampled.
#include <taglib/opusfile.h>

#include "encode/ogg_encoder.h"

namespace encode::detail {

std::unique_ptr<FileEncoder> openOpus(const OpenRequest& request, std::string& error) {
    const OggEncoder::Codec codec{SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000,
                                  tagOggFile<TagLib::Ogg::Opus::File>};
    auto e = std::make_unique<OggEncoder>(codec, request);
    const bool ok = e->open(request.path);
    return opened(std::move(e), ok, error);
}

}  // namespace encode::detail
