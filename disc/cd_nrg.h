// Checking a Nero image (.nrg) before libcdio reads it. libcdio's reader trusts the footer at the
// end of the file: an offset outside the file or a footer over 4096 bytes makes it abort, and its
// chunks are read without bounds (a track table past the chunk, more than 99 tracks, a chunk
// running past the footer). An image is handed to it only when every chunk it reads is inside the
// footer, of a kind and size it handles (CD-Text its text reader takes), and every track lies
// inside the audio before the footer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace engine::cd {

// The most bytes at the end of the file the check needs: the largest footer libcdio reads (4096
// bytes) and the 12-byte signature after it.
constexpr size_t kNrgTailBytes = 4096 + 12;

// Empty when an image of `fileBytes` bytes whose last min(fileBytes, kNrgTailBytes) bytes are
// `tail` can be read; otherwise why it is refused, for the user, e.g. "the footer's offset is
// outside the file".
std::string checkNrgImage(std::string_view tail, int64_t fileBytes);

}  // namespace engine::cd
