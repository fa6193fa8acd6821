#include "encode/formats.h"

#include <strings.h>

#include "encode/format_support.h"
#include "files/paths.h"

namespace encode {

namespace detail {

namespace {

TagLib::String utf8(const std::string& s) {
    return TagLib::String(s, TagLib::String::UTF8);
}

}  // namespace

TagLib::PropertyMap propertiesOf(const Tags& tags, bool slashTotal) {
    TagLib::PropertyMap p;
    if (!tags.title.empty()) p.replace("TITLE", utf8(tags.title));
    if (!tags.artist.empty()) p.replace("ARTIST", utf8(tags.artist));
    if (!tags.album.empty()) p.replace("ALBUM", utf8(tags.album));
    if (!tags.albumArtist.empty()) p.replace("ALBUMARTIST", utf8(tags.albumArtist));
    if (tags.preEmphasis) p.replace("PRE_EMPHASIS", utf8("1"));
    if (!tags.year.empty()) p.replace("DATE", utf8(tags.year));
    if (!tags.genre.empty()) p.replace("GENRE", utf8(tags.genre));
    if (tags.track > 0) {
        std::string n = std::to_string(tags.track);
        if (slashTotal && tags.totalTracks > 0) n += "/" + std::to_string(tags.totalTracks);
        p.replace("TRACKNUMBER", utf8(n));
        if (!slashTotal && tags.totalTracks > 0)
            p.replace("TRACKTOTAL", utf8(std::to_string(tags.totalTracks)));
    }
    return p;
}

}  // namespace detail

const std::vector<FormatInfo>& formatTable() {
    using namespace detail;
    static const std::vector<FormatInfo> table = {
        {Format::Wav, "WAV", ".wav", {"wav", nullptr}, 0, openWav},
        {Format::Flac, "FLAC", ".flac", {"flac", nullptr}, 0, openFlac},
        {Format::Mp3, "MP3", ".mp3", {"mp3", nullptr}, 256000, openMp3},
        {Format::Vorbis, "Ogg Vorbis", ".ogg", {"ogg", "vorbis"}, 0, openVorbis},
        {Format::Opus, "Opus", ".opus", {"opus", nullptr}, 0, openOpus},
        {Format::Wma, "WMA", ".wma", {"wma", nullptr}, 128000, openWma},
    };
    return table;
}

const FormatInfo& formatInfo(Format format) {
    for (const FormatInfo& row : formatTable())
        if (row.format == format) return row;
    return formatTable().front();  // every Format has its row
}

const std::vector<Format>& allFormats() {
    static const std::vector<Format> all = [] {
        std::vector<Format> formats;
        for (const FormatInfo& row : formatTable()) formats.push_back(row.format);
        return formats;
    }();
    return all;
}

std::optional<Format> parseFormat(const std::string& name) {
    for (const FormatInfo& row : formatTable())
        for (const char* keyword : row.keywords)
            if (keyword && strcasecmp(keyword, name.c_str()) == 0) return row.format;
    return std::nullopt;
}

std::optional<Format> formatOfName(const std::string& path) {
    for (const FormatInfo& row : formatTable())
        if (files::endsWithNoCase(path, row.extension)) return row.format;
    return std::nullopt;
}

std::unique_ptr<FileEncoder> openEncoder(Format format, const std::string& path, const Tags& tags,
                                         uint32_t bitrate, std::string& error, bool md5Given) {
    const FormatInfo& row = formatInfo(format);
    OpenRequest request{path, tags, bitrate ? bitrate : row.defaultBitrate, md5Given};
    return row.open(request, error);
}

std::string channelRefusal(Format format, int channels) {
    if (format == Format::Flac && channels > 8)
        return "FLAC holds at most 8 channels, not " + std::to_string(channels);
    return {};
}

std::string bitrateNote(Format format, uint32_t bitrate) {
    return format == Format::Mp3 ? detail::mp3BitrateNote(bitrate) : std::string();
}

std::unique_ptr<FileEncoder> openEncoder(Format format, OpenRequest request, std::string& error) {
    const FormatInfo& row = formatInfo(format);
    if (request.bitrate == 0) request.bitrate = row.defaultBitrate;
    if (request.rate <= 0 || request.channels <= 0) {
        error = "cannot write " + std::string(row.name) + " audio without a rate and channels";
        return nullptr;
    }
    return row.open(request, error);
}

}  // namespace encode
