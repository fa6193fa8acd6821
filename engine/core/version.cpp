// Version and the last error code. Threads: any; each thread has its own last error code.
#include "engine/core/core_internal.h"

namespace {
// The last engine call's result on each thread: a worker's failure does not overwrite the code the
// window thread is about to read.
thread_local int lastError = BASS_OK;
}  // namespace

namespace engine {
void setError(int code) {
    lastError = code;
}
}  // namespace engine

DWORD BASS_GetVersion() {
    return (BASSVERSION << 16) | 0x0000;
}
int BASS_ErrorGetCode() {
    return lastError;
}
