// The engine's WMA encoding: Windows Media Audio (version 2) in an ASF file, through FFmpeg.
//
// An encoder takes 16-bit interleaved PCM at the rate and channel count it was opened with.
// Tags are set after opening and before the first write. Any thread, one thread per encoder at a
// time. After a failure BASS_ErrorGetCode() tells why (BASS_ERROR_WMA: no encoder or encoding
// failed; BASS_ERROR_CREATE: the file could not be created or written).
#pragma once

#include <string>

#include "engine/bass.h"

using HWMENCODE = DWORD;

// The bit rates (bits per second) the encoder accepts for `freq` Hz and `chans` channels,
// highest first, ended by 0; null (BASS_ERROR_WMA) when there is no encoder or it accepts none.
// flags: 0. Valid for the program's life.
const DWORD* BASS_WMA_EncodeGetRates(DWORD freq, DWORD chans, DWORD flags);
// Creates `file` (UTF-8 path) and an encoder writing into it. 0 on failure.
HWMENCODE BASS_WMA_EncodeOpenFile(DWORD freq, DWORD chans, DWORD flags, DWORD bitrate,
                                  const char* file);
// A text tag (type 0) such as "Title", "Author", "WM/AlbumTitle", "Description", "Rating",
// "Copyright", "WM/Genre", "WM/Year"; UTF-8. Only before the first write.
BOOL BASS_WMA_EncodeSetTag(HWMENCODE handle, const char* tag, const char* text, DWORD type);
// Encodes `length` bytes of 16-bit interleaved PCM. FALSE when encoding or writing failed.
BOOL BASS_WMA_EncodeWrite(HWMENCODE handle, const void* buffer, DWORD length);
// Encodes what is left, completes the file and frees the encoder. FALSE when the file could not
// be completed.
BOOL BASS_WMA_EncodeClose(HWMENCODE handle);

// Beside BASS_ERROR_CREATE: the system's words for why the file could not be created or written
// by the last call on this thread that failed so ("No space left on device"); empty when it did
// not say.
std::string wmaFileFailure();
