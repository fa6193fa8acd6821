#include "files/open_error.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "engine/bass.h"
#include "engine/engine_ext.h"
#include "files/file_io.h"
#include "files/texts.h"

namespace files {

namespace {

// What kind of thing `path` is when it is not a regular file; empty for a regular file.
std::string whyNotAFile(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status st = fs::status(pathFromUtf8(path), ec);
    switch (st.type()) {
        case fs::file_type::regular:
            return {};
        case fs::file_type::not_found:
            return userText("files", "it does not exist");
        case fs::file_type::directory:
            return userText("files", "it is a folder");
        case fs::file_type::fifo:
            return userText("files", "it is a named pipe (FIFO), not a file");
        case fs::file_type::block:
        case fs::file_type::character:
            return userText("files", "it is a device, not a file");
        case fs::file_type::socket:
            return userText("files", "it is a socket, not a file");
        default:
            return ec ? ec.message() : userText("files", "it is not a file");
    }
}

// Seconds as the notes give them: two decimals.
std::string seconds(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

}  // namespace

std::string whyCannotOpen(const std::string& path) {
    if (std::string why = whyNotAFile(path); !why.empty()) return why;
    return engine::describeOpenFailure(path);  // a regular file: may it be read?
}

std::string describeOpenError(int code) {
    switch (code) {
        case BASS_ERROR_FILEOPEN:
            return userText("files",
                            "the file cannot be opened (it is missing, or you may not read it)");
        case BASS_ERROR_FORMAT:
        case BASS_ERROR_FILEFORM:
            return userText("files",
                            "it is not a sound file the program can decode (an unknown or "
                            "damaged format)");
        case BASS_ERROR_MEM:
            return userText("files", "there is not enough memory");
        default:
            return fillIn(userText("files", "the audio engine cannot read it (error %1)"),
                          {std::to_string(code)});
    }
}

std::string cannotOpenMessage(const std::string& path, int engineErrorCode) {
    std::string reason;
    if (engineErrorCode == BASS_ERROR_FILEOPEN) {
        if (const std::string why = whyCannotOpen(path); !why.empty())
            reason = fillIn(userText("files", "the file cannot be opened: %1"), {why});
    }
    if (engineErrorCode == BASS_ERROR_FORMAT) {
        const engine::FormatRefusal r = engine::whyFormatRefused(path);
        if (r.kind == engine::FormatRefusal::RateAbove)
            reason = fillIn(userText("files",
                                     "its sample rate, %1 Hz, is above the %2 Hz the "
                                     "program can play"),
                            {std::to_string(r.value), std::to_string(engine::kMaxRate)});
        else if (r.kind == engine::FormatRefusal::RateBelow)
            reason = fillIn(userText("files",
                                     "its sample rate, %1 Hz, is below the %2 Hz the "
                                     "program can play"),
                            {std::to_string(r.value), std::to_string(engine::kMinRate)});
        else if (r.kind == engine::FormatRefusal::ChannelsAbove)
            reason = fillIn(userText("files",
                                     "it has %1 channels, more than the %2 the program "
                                     "can play"),
                            {std::to_string(r.value), std::to_string(engine::kMaxChannels)});
        else if (r.kind == engine::FormatRefusal::NoAudio)
            reason = userText("files", "it holds no audio");
        std::error_code ec;
        if (std::filesystem::file_size(pathFromUtf8(path), ec) == 0 && !ec)
            reason = userText("files", "the file is empty");
    }
    if (reason.empty()) reason = describeOpenError(engineErrorCode);
    return fillIn(userText("files", "Cannot open \"%1\": %2."), {path, reason});
}

std::string damagedMessage(const std::string& path, double undecodedSeconds) {
    return fillIn(userText("files",
                           "\"%1\" is damaged: its audio ends %2 s before the length its header "
                           "gives"),
                  {path, seconds(undecodedSeconds)});
}

std::string silencedMessage(const std::string& path, double silencedSeconds) {
    return fillIn(userText("files",
                           "\"%1\" is damaged: %2 s of its audio could not be decoded and are "
                           "silence"),
                  {path, seconds(silencedSeconds)});
}

std::string mp3ChoiceMessage(int kbps, int rate, int askedKbps, int askedRate) {
    return fillIn(userText("files",
                           "The MP3 is written at %1 kbit/s and %2 Hz: the MP3 encoder's choice "
                           "for %3 kbit/s at %4 Hz"),
                  {std::to_string(kbps), std::to_string(rate), std::to_string(askedKbps),
                   std::to_string(askedRate)});
}

std::string cutShortMessage(const std::string& path, double missingSeconds) {
    return fillIn(userText("files",
                           "\"%1\" is cut short: its header gives %2 s more than the file "
                           "holds"),
                  {path, seconds(missingSeconds)});
}

std::string cutOffMessage(const std::string& path) {
    return fillIn(userText("files",
                           "\"%1\" is cut short: it ends inside a page of its audio, so what "
                           "came after is lost"),
                  {path});
}

std::string sourceNote(DWORD stream, const std::string& path, bool readToEnd) {
    BASS_CHANNELINFO info{};
    if (!stream || !BASS_ChannelGetInfo(stream, &info) || info.freq == 0) return {};
    if (const int64_t missing = engine::missingFrames(stream); missing > 0)
        return cutShortMessage(path, double(missing) / info.freq);
    if (const int64_t undecoded = engine::undecodedFrames(stream); undecoded > 0)
        return damagedMessage(path, double(undecoded) / info.freq);
    if (const int64_t silenced = engine::silencedFrames(stream); silenced > 0)
        return silencedMessage(path, double(silenced) / info.freq);
    if (readToEnd && engine::cutOff(stream)) return cutOffMessage(path);
    return {};
}

}  // namespace files
