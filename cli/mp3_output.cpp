#include "cli/mp3_output.h"

namespace cli {

bool mp3OutputAvailable() { return false; }

bool encodeMp3(const Mp3Job&, std::string& error) {
    error = "MP3 output is not available in this build; write a .wav file";
    return false;
}

}  // namespace cli
