#include "rip/stop_signals.h"

#include <csignal>

namespace cd {

namespace {

std::atomic<bool> g_stopped{false};
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void onStopSignal(int) {
    g_stopped.store(true);
}

}  // namespace

StopOnSignals::StopOnSignals() {
    g_stopped.store(false);
    for (int i = 0; i < 3; ++i) previous_[i] = std::signal(kSignals[i], onStopSignal);
}

StopOnSignals::~StopOnSignals() {
    for (int i = 0; i < 3; ++i)
        std::signal(kSignals[i], previous_[i] == SIG_ERR ? SIG_DFL : previous_[i]);
}

const std::atomic<bool>& StopOnSignals::stopped() {
    return g_stopped;
}

}  // namespace cd
