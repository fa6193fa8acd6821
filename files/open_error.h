// Why a file cannot be opened, in the user's words: the one text every window and the command
// line give for a path that could not be opened. Any thread.
#pragma once

#include <string>

#include "engine/bass.h"

namespace files {

// Why `path` cannot be opened as a file to read, in words that follow its name ("no such file",
// "it is a folder", "it is a named pipe (FIFO), not a file", "it is a device, not a file",
// "permission denied"); empty when it can be. Asks only the file system, so it never waits on a
// pipe or a device.
std::string whyCannotOpen(const std::string& path);

// The reason for the engine's error code after a failed open ("the file cannot be opened (...)").
std::string describeOpenError(int engineErrorCode);

// The whole message: Cannot open "PATH": REASON. For an open the engine refused as a file
// (BASS_ERROR_FILEOPEN) the reason names what is wrong with the path when it can; for one it
// refused as a format (BASS_ERROR_FORMAT), the limit a sound file is out of (its rate, its
// channels, no audio) when that is why; otherwise it is the error code's.
std::string cannotOpenMessage(const std::string& path, int engineErrorCode);

// What a command says of a source cut short (Source::missingFrames): "PATH" is cut short: its
// header gives SECONDS more than the file holds.
std::string cutShortMessage(const std::string& path, double missingSeconds);

// What a command says of a source that ends inside a page of its audio (Source::cutOff): "PATH"
// is cut short: it ends inside a page of its audio, so what came after is lost.
std::string cutOffMessage(const std::string& path);

// What a command says when the MP3 encoder writes another bit rate or sample rate than it was
// asked for: The MP3 is written at KBPS kbit/s and RATE Hz: the MP3 encoder's choice for ASKED
// kbit/s at ASKEDRATE Hz.
std::string mp3ChoiceMessage(int kbps, int rate, int askedKbps, int askedRate);

// What a command says of a source whose audio ends early (Source::undecodedFrames): "PATH" is
// damaged: its audio ends SECONDS before the length its header gives.
std::string damagedMessage(const std::string& path, double undecodedSeconds);
// And of one with damage inside it, given as silence (Source::silencedFrames): "PATH" is damaged:
// SECONDS s of its audio could not be decoded and are silence.
std::string silencedMessage(const std::string& path, double silencedSeconds);

// What a command says of the source it decoded from `stream`, opened from `path`: cut short,
// damaged, or, when `readToEnd` (it was decoded to its end), cut off inside a page; empty for a
// whole one. The stream may be a tempo channel over the source.
std::string sourceNote(DWORD stream, const std::string& path, bool readToEnd);

}  // namespace files
