// Ctrl-C, a SIGTERM (a service manager, `timeout`) or a closed terminal asking a cd-rip command to
// stop: while a StopOnSignals lives, they set its flag instead of ending the program, so that the
// command ends its read, removes what it had not finished and returns 130. One at a time.
#pragma once

#include <atomic>

namespace cd {

class StopOnSignals {
  public:
    StopOnSignals();
    ~StopOnSignals();  // the handlers before it again
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;

    // Set once one of the signals came.
    static const std::atomic<bool>& stopped();

  private:
    void (*previous_[3])(int) = {};
};

}  // namespace cd
