// Reads, writes and flushes of the file layer, with a hook tests arm to make the Nth one fail
// ("fail the 3rd write with ENOSPC"). Every writer of the program that goes through the file
// layer (the WAV writer, temporaries, the safe copy) calls these, so a test reaches all of them
// the same way. Unarmed, they are plain stdio calls.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <functional>

namespace files {

enum class Fault { Write, Flush, Read };

// Makes the `nth` (1-based, counted from now) call of that kind fail with `errorNumber`. A
// failing write stores half of its bytes first, as a disk that fills does; a failing read
// returns half of what it was asked for. One fault per kind is armed at a time.
void armFault(Fault kind, int nth, int errorNumber = ENOSPC);
// Disarms every fault and resets the counts.
void disarmFaults();
// Calls `watch` on the writing thread before every write of the file layer (tests: to see where
// a write runs, or to act while it waits); empty: none.
void watchWrites(std::function<void()> watch);

struct IoResult {
    size_t bytes = 0;  // bytes written or read
    int error = 0;     // 0, or the error number of the failure
};

// std::fwrite of all `bytes`; error set when fewer went through.
IoResult writeFile(std::FILE* f, const void* data, size_t bytes);
// std::fread of up to `bytes`; error set on a read error (0 at the end of the file).
IoResult readFile(std::FILE* f, void* data, size_t bytes);
// std::fflush; 0 or the error number.
int flushFile(std::FILE* f);

}  // namespace files
