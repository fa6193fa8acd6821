// The source's tags read back, and written into the files the render makes.
#include <sndfile.h>
#include <taglib/aifffile.h>
#include <taglib/fileref.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mpegfile.h>
#include <taglib/tag.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/tpropertymap.h>
#include <taglib/wavfile.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "encode/format_support.h"
#include "files/file_io.h"
#include "platform/windows1252.h"

namespace encode {

namespace {

// `count` bytes of the file at `offset`; false when it holds fewer.
bool readBytesAt(const std::string& path, std::streamoff offset, size_t count, std::string& out) {
    std::ifstream in(files::pathFromUtf8(path), std::ios::binary);
    out.assign(count, '\0');
    return in.seekg(offset) && in.read(out.data(), std::streamsize(count));
}

bool writeBytesAt(const std::string& path, std::streamoff offset, const std::string& bytes) {
    std::fstream io(files::pathFromUtf8(path), std::ios::binary | std::ios::in | std::ios::out);
    return io.seekp(offset) && io.write(bytes.data(), std::streamsize(bytes.size())) && io.flush();
}

uint32_t le32(const std::string& b, size_t at) {
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 |
           uint32_t(uint8_t(b[at + 2])) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}

// A RIFF file whose size field and chunks (each with its pad byte) end where the file ends.
bool riffHoldsTogether(const std::string& path) {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(files::pathFromUtf8(path), ec);
    std::ifstream in(files::pathFromUtf8(path), std::ios::binary);
    std::string head(12, '\0');
    if (ec || !in.read(head.data(), 12) || head.compare(0, 4, "RIFF") != 0 ||
        uintmax_t(le32(head, 4)) + 8 != size)
        return false;
    uintmax_t at = 12;
    while (at + 8 <= size) {
        if (!in.seekg(std::streamoff(at)) || !in.read(head.data(), 8)) return false;
        const uint32_t bytes = le32(head, 4);
        at += 8 + uintmax_t(bytes) + (bytes & 1);
    }
    return at == size;
}

// The bytes of the ID3v2 tag at the file's start (0 when it has none); nothing when unreadable.
std::optional<uintmax_t> id3v2Bytes(const std::string& path) {
    std::string h;
    if (!readBytesAt(path, 0, 10, h)) {
        std::error_code ec;
        if (std::filesystem::file_size(files::pathFromUtf8(path), ec) < 10 && !ec) return 0;
        return std::nullopt;
    }
    if (h.compare(0, 3, "ID3") != 0) return 0;
    uintmax_t bytes = 0;
    for (int i = 6; i < 10; ++i) bytes = bytes << 7 | (uint8_t(h[size_t(i)]) & 0x7f);
    const bool footer = (uint8_t(h[5]) & 0x10) != 0;
    return 10 + bytes + (footer ? 10 : 0);
}

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

// Eight-bit tag text as it is found: UTF-8 when it is valid UTF-8 (as some programs write it),
// otherwise the Windows-1252 text of the Windows programs that wrote most RIFF INFO lists and ID3v1
// tags ("Caf\xe9", "Don\x92t"), whose signs at 0x80-0x9F TagLib's Latin-1 would read as control
// characters. Up to the first NUL.
TagLib::String textAsFound(const TagLib::ByteVector& data) {
    const int nul = data.find('\0');
    const TagLib::ByteVector text = nul < 0 ? data : data.mid(0, unsigned(nul));
    const TagLib::String utf8(text, TagLib::String::UTF8);
    if (utf8.data(TagLib::String::UTF8) == text) return utf8;
    return TagLib::String(platform::windows1252ToUtf8(std::string_view(text.data(), text.size())),
                          TagLib::String::UTF8);
}

// RIFF INFO text as found, written as UTF-8, as TagLib writes it.
class InfoText : public TagLib::RIFF::Info::StringHandler {
  public:
    TagLib::String parse(const TagLib::ByteVector& data) const override {
        return textAsFound(data);
    }
    TagLib::ByteVector render(const TagLib::String& s) const override {
        return s.data(TagLib::String::UTF8);
    }
};

// ID3v1 text and ID3v2's eight-bit frames as found (their other encodings are Unicode's own).
class Id3v1Text : public TagLib::ID3v1::StringHandler {
  public:
    TagLib::String parse(const TagLib::ByteVector& data) const override {
        return textAsFound(data).stripWhiteSpace();
    }
};
class Id3v2Latin1Text : public TagLib::ID3v2::Latin1StringHandler {
  public:
    TagLib::String parse(const TagLib::ByteVector& data) const override {
        return textAsFound(data);
    }
};

void readInfoAsFound() {
    static const InfoText info;
    static const Id3v1Text id3v1;
    static const Id3v2Latin1Text id3v2;
    static const bool set = (TagLib::RIFF::Info::Tag::setStringHandler(&info),
                             TagLib::ID3v1::Tag::setStringHandler(&id3v1),
                             TagLib::ID3v2::Tag::setLatin1StringHandler(&id3v2), true);
    (void)set;
}

// The start of an MP3 whose ID3v2 tag TagLib misreads, with that tag mended, for TagLib to read
// from memory; empty for any other file. TagLib takes the size of a version 2.3 extended header
// to count itself (only 2.4's does), stops short of the end by the size of a 2.4 one, and takes
// a 2.4 footer to lie within the tag's size (it follows it): it loses frames of such tags. The
// extended header is left out, the footer flag cleared.
TagLib::ByteVector mendedId3v2(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
    unsigned char h[10];
    if (!f || std::fread(h, 1, 10, f.get()) != 10 || std::memcmp(h, "ID3", 3) != 0 ||
        (h[6] | h[7] | h[8] | h[9]) & 0x80)
        return {};
    const bool extended = (h[3] == 3 || h[3] == 4) && (h[5] & 0x40);
    const bool v24Footer = h[3] == 4 && (h[5] & 0x10);
    if (!extended && !v24Footer) return {};
    const size_t size = size_t(h[6]) << 21 | size_t(h[7]) << 14 | size_t(h[8]) << 7 | h[9];
    const size_t tagBytes = size + (v24Footer ? 10 : 0);
    std::vector<char> body(tagBytes + 16384);  // the first frames after it
    body.resize(std::fread(body.data(), 1, body.size(), f.get()));
    // A file cut inside its tag, or a FLAC or Ogg file behind it (read by its own reader).
    if (body.size() < tagBytes + 4 || std::memcmp(body.data() + tagBytes, "fLaC", 4) == 0 ||
        std::memcmp(body.data() + tagBytes, "OggS", 4) == 0)
        return {};
    size_t skip = 0;
    if (extended) {
        if (size < 4) return {};
        const auto* b = reinterpret_cast<const unsigned char*>(body.data());
        skip = h[3] == 3 ? 4 + (size_t(b[0]) << 24 | size_t(b[1]) << 16 | size_t(b[2]) << 8 | b[3])
                         : size_t(b[0]) << 21 | size_t(b[1]) << 14 | size_t(b[2]) << 7 | b[3];
        if (skip < 6 || skip > size) return {};
        h[5] &= ~0x40;
    }
    if (v24Footer) {
        body.erase(body.begin() + std::ptrdiff_t(size), body.begin() + std::ptrdiff_t(size + 10));
        h[5] &= ~0x10;
    }
    const size_t mended = size - skip;
    h[6] = (mended >> 21) & 0x7f;
    h[7] = (mended >> 14) & 0x7f;
    h[8] = (mended >> 7) & 0x7f;
    h[9] = mended & 0x7f;
    TagLib::ByteVector v(reinterpret_cast<const char*>(h), 10);
    v.append(TagLib::ByteVector(body.data() + skip, unsigned(body.size() - skip)));
    return v;
}

}  // namespace

Tags readTags(const std::string& path) {
    readInfoAsFound();
    Tags tags;
    // A field of several values (two artists) keeps them told apart: "First; Second".
    const auto take = [&tags](const TagLib::PropertyMap& p) {
        const auto field = [&p](std::string& to, const char* key) {
            if (to.empty() && p.contains(key)) to = p[key].toString("; ").to8Bit(true);
        };
        field(tags.title, "TITLE");
        field(tags.artist, "ARTIST");
        field(tags.album, "ALBUM");
    };
    if (TagLib::ByteVector mended = mendedId3v2(path); !mended.isEmpty()) {
        TagLib::ByteVectorStream stream(mended);
        TagLib::MPEG::File f(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
        if (f.isValid() && f.ID3v2Tag()) take(f.ID3v2Tag()->properties());
    }
    // What the mended tag lacks, from the file's main tag, then its others (ID3v1, APE): the
    // file's properties first, as tag() joins a field's values with a space.
    const TagLib::FileRef f(path.c_str(), false);
    if (f.isNull()) return tags;
    take(f.file()->properties());
    if (f.tag()) take(f.tag()->properties());
    // A WAV file's properties are its ID3v2 chunk's: the RIFF INFO list fills what that lacks.
    if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(f.file()); wav && wav->hasInfoTag())
        take(wav->InfoTag()->properties());
    // An AIFF file's NAME and AUTH chunks, which TagLib does not read (it reads the ID3 chunk).
    if (dynamic_cast<TagLib::RIFF::AIFF::File*>(f.file()) &&
        (tags.title.empty() || tags.artist.empty())) {
        SF_INFO info{};
        if (SNDFILE* s = sf_open(path.c_str(), SFM_READ, &info)) {
            const auto fill = [s](std::string& to, int which) {
                const char* text = sf_get_string(s, which);
                if (to.empty() && text) to = textAsFound(TagLib::ByteVector(text)).to8Bit(true);
            };
            fill(tags.title, SF_STR_TITLE);
            fill(tags.artist, SF_STR_ARTIST);
            sf_close(s);
        }
    }
    return tags;
}

bool tagWav(const std::string& path, const Tags& tags) {
    if (empty(tags)) return true;
    // TagLib does not check its writes: on a full disk its save "succeeds" with the chunks cut
    // short. The file is checked after it, and put back as it was (the tags appended after the
    // audio, the RIFF size at its start) when it does not hold together.
    std::error_code ec;
    const std::filesystem::path at = files::pathFromUtf8(path);
    const uintmax_t before = std::filesystem::file_size(at, ec);
    std::string head;
    if (ec || !readBytesAt(path, 0, 12, head)) return false;
    bool saved = false;
    {
        TagLib::RIFF::WAV::File f(path.c_str(), false);
        if (!f.isValid()) return false;
        f.InfoTag()->setProperties(keptProperties(tags));
        f.ID3v2Tag()->setProperties(keptProperties(tags));
        saved = f.save();
    }
    if (saved && riffHoldsTogether(path)) return true;
    std::filesystem::resize_file(at, before, ec);
    if (!ec) writeBytesAt(path, 0, head);
    return false;
}

bool tagMp3(const std::string& path, const Tags& tags) {
    if (empty(tags)) return true;
    // The tag goes in before the audio, which TagLib moves along in place without checking its
    // writes: the file must have grown by the tag exactly (a full disk cuts the audio's end).
    std::error_code ec;
    const std::filesystem::path at = files::pathFromUtf8(path);
    const uintmax_t before = std::filesystem::file_size(at, ec);
    if (ec) return false;
    const std::optional<uintmax_t> tagBefore = id3v2Bytes(path);
    if (!tagBefore) return false;
    bool saved = false;
    {
        TagLib::MPEG::File f(path.c_str(), false);
        if (!f.isValid()) return false;
        f.ID3v2Tag(true)->setProperties(keptProperties(tags));
        saved = f.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone);
    }
    const std::optional<uintmax_t> tagAfter = id3v2Bytes(path);
    const uintmax_t after = std::filesystem::file_size(at, ec);
    return saved && tagAfter && !ec && after == before - *tagBefore + *tagAfter;
}

}  // namespace encode
