// A shared library opened when it is first needed rather than at the program's start, for the
// libraries that bring many others with them (FFmpeg's codecs for WMA, aubio's FFT with its own
// decoders): loading them at start-up would slow down every start of the program and the command
// line, though most runs never use them. For the analysers and the encoders (encode/).
//
//   static const SharedLibrary lib("libfoo.so.1");
//   auto* fn = lib.symbol<decltype(&::foo)>("foo");   // null when the library or `foo` is missing
//
// A library stays loaded until the program ends. Safe to use from any thread once constructed.
#pragma once

namespace platform {

class SharedLibrary {
  public:
    explicit SharedLibrary(const char* soname);
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    template <class Fn>
    Fn symbol(const char* name) const {
        return reinterpret_cast<Fn>(address(name));
    }

  private:
    void* address(const char* name) const;

    void* handle_ = nullptr;
};

}  // namespace platform
