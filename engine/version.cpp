#include "engine/bass.h"

DWORD BASS_GetVersion() { return (BASSVERSION << 16) | 0x0000; }
