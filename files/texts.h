// Texts a user reads that are made below the windows: why a file cannot be opened or saved, what a
// rip says. Each is written as userText(CONTEXT, "source"), which the translation template's
// script finds; the window program installs its translation, the command line keeps the source.
#pragma once

#include <initializer_list>
#include <string>

namespace files {

// Looks a source text up in the user's language; UTF-8 in and out.
using Translate = std::string (*)(const char* context, const char* source);
// Installs `translate` (nullptr: none). Called once at start, before other threads run.
void setTranslate(Translate translate);

// `source` in the user's language, as UTF-8.
std::string userText(const char* context, const char* source);
// `text` with %1..%9 replaced by `args`, in one pass: an argument's own "%2" stays as it is.
std::string fillIn(const std::string& text, std::initializer_list<std::string> args);

}  // namespace files
