#include "files/open_error.h"

#include "engine/bass.h"

namespace files {

std::string describeOpenError(int code) {
    switch (code) {
        case BASS_ERROR_FILEOPEN:
            return "the file cannot be opened (it is missing, or you may not read it)";
        case BASS_ERROR_FORMAT:
        case BASS_ERROR_FILEFORM:
            return "it is not an MP3 or WAV file the program can decode (unknown or damaged "
                   "format)";
        case BASS_ERROR_MEM:
            return "there is not enough memory";
        default:
            return "the audio engine cannot read it (error " + std::to_string(code) + ")";
    }
}

std::string cannotOpenMessage(const std::string& path, int engineErrorCode) {
    return "Cannot open \"" + path + "\": " + describeOpenError(engineErrorCode) + ".";
}

}  // namespace files
