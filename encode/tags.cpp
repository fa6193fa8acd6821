// The source's tags read back, and written into the files the render makes.
#include <taglib/fileref.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mpegfile.h>
#include <taglib/tag.h>
#include <taglib/wavfile.h>

#include "encode/format_support.h"

namespace encode {

namespace {

bool empty(const Tags& tags) {
    return tags.title.empty() && tags.artist.empty() && tags.album.empty();
}

// The three fields the render keeps, as properties.
TagLib::PropertyMap keptProperties(const Tags& tags) {
    Tags kept;
    kept.title = tags.title;
    kept.artist = tags.artist;
    kept.album = tags.album;
    return detail::propertiesOf(kept, false);
}

// RIFF INFO text as it is found: UTF-8 when it is valid UTF-8, otherwise the 8-bit text of the
// Windows programs that wrote most INFO lists ("Caf\xe9"), which TagLib's default would drop;
// written as UTF-8, as TagLib writes it. Up to the first NUL.
class InfoText : public TagLib::RIFF::Info::StringHandler {
  public:
    TagLib::String parse(const TagLib::ByteVector& data) const override {
        const int nul = data.find('\0');
        const TagLib::ByteVector text = nul < 0 ? data : data.mid(0, unsigned(nul));
        const TagLib::String utf8(text, TagLib::String::UTF8);
        if (utf8.data(TagLib::String::UTF8) == text) return utf8;
        return TagLib::String(text, TagLib::String::Latin1);
    }
    TagLib::ByteVector render(const TagLib::String& s) const override {
        return s.data(TagLib::String::UTF8);
    }
};

void readInfoAsFound() {
    static const InfoText handler;
    static const bool set = (TagLib::RIFF::Info::Tag::setStringHandler(&handler), true);
    (void)set;
}

}  // namespace

Tags readTags(const std::string& path) {
    readInfoAsFound();
    Tags tags;
    const TagLib::FileRef f(path.c_str(), false);
    if (f.isNull()) return tags;
    const auto take = [&tags](const TagLib::Tag* tag) {
        if (!tag) return;
        if (tags.title.empty()) tags.title = tag->title().to8Bit(true);
        if (tags.artist.empty()) tags.artist = tag->artist().to8Bit(true);
        if (tags.album.empty()) tags.album = tag->album().to8Bit(true);
    };
    take(f.tag());
    // A WAV file's tag() is its ID3v2 chunk only: the RIFF INFO list fills what that lacks.
    if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(f.file()); wav && wav->hasInfoTag())
        take(wav->InfoTag());
    return tags;
}

bool tagWav(const std::string& path, const Tags& tags) {
    if (empty(tags)) return true;
    TagLib::RIFF::WAV::File f(path.c_str(), false);
    if (!f.isValid()) return false;
    f.InfoTag()->setProperties(keptProperties(tags));
    f.ID3v2Tag()->setProperties(keptProperties(tags));
    return f.save();
}

bool tagMp3(const std::string& path, const Tags& tags) {
    if (empty(tags)) return true;
    TagLib::MPEG::File f(path.c_str(), false);
    if (!f.isValid()) return false;
    f.ID3v2Tag(true)->setProperties(keptProperties(tags));
    return f.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone);
}

}  // namespace encode
