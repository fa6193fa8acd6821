// Ogg files of chained streams: one stream after another in one file, as a recorded internet radio
// stream or files joined end to end make them. libsndfile reads only the first of them; these are
// read whole, Vorbis through libvorbisfile and Opus through libopusfile (a chain of both, each run
// of streams by its own library). Streams that differ from
// the first in rate or channel count are delivered in the first one's format (FormatConformer), the
// length then measured by decoding the file once at the open.
// Threads: any; a Source then belongs to one thread at a time.
#pragma once

#include <memory>
#include <string>

#include "engine/engine_ext.h"

namespace engine {

// What libsndfile needs to be told of an Ogg file it reads.
struct OggFirstStream {
    // What the streams after the first held, in seconds, when they cannot be read.
    double unreadableSeconds = 0;
    // Of a Vorbis stream: the frame where its last page starts (0 when unknown). libsndfile's
    // seeks past it land late by the samples trimmed from the stream's end.
    int64_t lastPageFrom = 0;
    // The file ends inside an Ogg page (Source::cutOff).
    bool cutOff = false;
    // Pages of audio at the stream's start were lost to damage (a wrong checksum): the seconds its
    // last page gives, of which what decodes falls short by what was lost. 0: none lost there.
    double startLostUpTo = 0;
    // At most this much was lost there (the damaged pages' count times a page's span); 0: not
    // known.
    double startLostAtMost = 0;
};

// The file's chained streams as one Source; null when the file is no chain of Vorbis or Opus
// streams (for libsndfile to read, `*first` then filled in), or with *error set when it is one
// that cannot be decoded. A chain the codec's library refuses (a later stream's headers damaged)
// is left to libsndfile too, which reads its first stream. A single Opus stream that does not
// begin at 0 (recorded from the middle of a broadcast) is read by opusfile too. A chain refused
// for a stream beyond the program's limits says which in `*refusal` (when given).
std::unique_ptr<Source> openOggChain(const std::string& utf8Path, int* error, FileOpen mode,
                                     OggFirstStream* first, FormatRefusal* refusal = nullptr);

}  // namespace engine
