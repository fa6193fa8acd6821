// Saving a render as MP3, the parts without a window: which save step a source file takes, the
// bit rate (from the source's own header, else the "&Mp3 Setup" list's choice), and the report
// of the header reader's record for `quorvin mp3-info`.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mp3/mp3routines.h"

namespace mp3 {

// The MP3 bit rate the program starts with, in bits per second.
inline constexpr int32_t kDefaultMp3BitRate = 128000;

// True when the render of `sourceFileName` is saved as MP3: its last three characters are "MP3"
// or "mp3" (any other mix of cases, "Mp3", is saved as WAV).
bool SavesAsMp3(const std::string& sourceFileName);

// The source's bit rate in bits per second, at least 128000.
int32_t TakeSourceBitRate(const Mp3FileInfo& info);

// The bit rate to encode a render of `sourceFileName` at: the source's own (TakeSourceBitRate)
// when its header is found, else `setting`. A header the reader cannot make sense of (an overflow,
// a division by zero, a read error) counts as not found, so the save goes on. `info` is the
// caller's record, kept between saves.
int32_t ChooseMp3BitRate(const std::string& sourceFileName, int32_t setting, Mp3FileInfo& info,
                         const EventPump& pump = {});

// The items of the bit-rate list: "320", "312", ... "8" (40 items), "192" with a trailing space.
std::vector<std::string> Mp3SetupItems();
// The bit rate an item of that list stands for: its text read as a number (a trailing space
// allowed) x 1000. Nothing for a text that is not a number or gives no valid rate.
std::optional<int32_t> Mp3SetupBitRate(const std::string& itemText);

// The reader's record for `path`, one "Field: value" line per field in the record's order, then
// "Result: 1" or "Result: 0" (or "Error: <number> <description>" when the read failed). `result`
// (when given) receives 1, 0, or -1 for an error.
std::string mp3InfoReport(const std::string& path, int* result = nullptr);

}  // namespace mp3
