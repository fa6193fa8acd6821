// Ogg Vorbis at the input's rate.
#include <taglib/vorbisfile.h>

#include "encode/ogg_encoder.h"

namespace encode::detail {

std::unique_ptr<FileEncoder> openVorbis(const OpenRequest& request, std::string& error) {
    const OggEncoder::Codec codec{SF_FORMAT_OGG | SF_FORMAT_VORBIS, 0,
                                  tagOggFile<TagLib::Ogg::Vorbis::File>};
    auto e = std::make_unique<OggEncoder>(codec, request);
    const bool ok = e->open(request.path);
    return opened(std::move(e), ok, error);
}

}  // namespace encode::detail
