// Version and the last error code.
#include <atomic>

#include "engine/core_internal.h"

namespace {
// One error code for the whole program (not per thread): the last failure of any engine call.
std::atomic<int> lastError{BASS_OK};
}  // namespace

namespace engine {
void setError(int code) {
    lastError.store(code);
}
}  // namespace engine

DWORD BASS_GetVersion() {
    return (BASSVERSION << 16) | 0x0000;
}
int BASS_ErrorGetCode() {
    return lastError.load();
}
