#include "effects/chain.h"

#include "effects/stereo_remover.h"
#include "effects/vocal_remover.h"

namespace effects {

namespace {

// The gain effect runs first, then the remover, then the equalizer, whatever order they were
// switched on in (a higher priority runs earlier; equal ones in the order they were set).
constexpr int kGainPriority = 1;
// The sides heard: after the equalizer (whose priority is kEqPriority).
constexpr int kPickPriority = kEqPriority - 1;

}  // namespace

ChainApplier::ChainApplier() = default;

ChainApplier::~ChainApplier() {
    detach();
}

void ChainApplier::bind(DWORD effectsStream, DWORD tempoChannel) {
    detach();  // harmless on channels already freed
    effects_ = effectsStream;
    tempo_ = tempoChannel;
    applied_.reset();
    removerDsp_ = 0;
    pickDsp_ = 0;
    removedClipped_ = 0;
}

int64_t ChainApplier::removerClippedSamples() const {
    return removedClipped_ + (keepBass_ ? keepBass_->clipped() : 0) +
           (stereo_ ? stereo_->clipped() : 0);
}

void ChainApplier::detach() {
    if (effects_) {
        if (removerDsp_) BASS_ChannelRemoveDSP(effects_, removerDsp_);
        if (pickDsp_) BASS_ChannelRemoveDSP(effects_, pickDsp_);
        BASS_FX_DSP_Remove(effects_, BASS_FX_GAIN);
        equalizerOff(effects_);
    }
    removerDsp_ = pickDsp_ = 0;
    removedClipped_ = removerClippedSamples();
    keepBass_.reset();  // after the removal, which waits for a block in progress
    stereo_.reset();
    effects_ = tempo_ = 0;
    applied_.reset();
}

void ChainApplier::setRemover(Remover mode) {
    if (removerDsp_) BASS_ChannelRemoveDSP(effects_, removerDsp_);
    removerDsp_ = 0;
    removedClipped_ = removerClippedSamples();
    keepBass_.reset();
    stereo_.reset();
    // A source the remover leaves alone keeps its level too: the remover's gain is not applied.
    BASS_CHANNELINFO info{};
    if (mode == Remover::Off || !BASS_ChannelGetInfo(effects_, &info) ||
        !removerApplies(mode, int(info.chans))) {
        BASS_FX_DSP_Remove(effects_, BASS_FX_GAIN);
        return;
    }
    BASS_FX_DSP_Set(effects_, BASS_FX_GAIN, kGainPriority);
    if (mode == Remover::Full) {
        removerDsp_ = attachVocalRemover(effects_);
        return;
    }
    const double rate = info.freq ? info.freq : 44100;
    if (mode == Remover::Stereo) {
        stereo_ = std::make_unique<StereoRemover>(rate, int(info.chans));
        removerDsp_ = stereo_->attach(effects_);
        return;
    }
    keepBass_ = std::make_unique<KeepBassRemover>(rate);
    removerDsp_ = keepBass_->attach(effects_);
}

void ChainApplier::apply(const Chain& chain) {
    if (!tempo_) return;  // nothing bound: the next bind and apply take the chain as it is then
    const bool fresh = !applied_;
    const Chain was = applied_.value_or(Chain{});

    // Each only when it changed: a pitch change leaves the tempo where the speed trainer stepped
    // it meanwhile (-100: unchanged).
    const bool tempoChanged = fresh || chain.tempoPercent != was.tempoPercent;
    const bool pitchChanged = fresh || chain.pitchShift() != was.pitchShift();
    if (tempoChanged || pitchChanged)
        BASS_FX_TempoSet(tempo_, tempoChanged ? chain.tempoPercent : -100.0f, 0,
                         pitchChanged ? chain.pitchShift() : -100.0f);

    if (fresh ? chain.remover != Remover::Off : chain.remover != was.remover)
        setRemover(chain.remover);
    if (stereo_) {
        stereo_->setStrength(chain.stereoStrength);
        stereo_->setRange(chain.stereoLowHz, chain.stereoHighHz);
    }
    if (chain.remover != Remover::Off &&
        (chain.removerGainSlider != was.removerGainSlider || chain.remover != was.remover || fresh))
        setVocalRemoverGain(effects_, chain.removerGainSlider);

    if (!chain.equalizer) {
        if (was.equalizer) equalizerOff(effects_);
    } else if (fresh || !was.equalizer) {
        equalizerOn(effects_, eqParams_, chain.eqSliders);
    } else {
        for (int band = 0; band < kEqBands; ++band)
            if (chain.eqSliders[size_t(band)] != was.eqSliders[size_t(band)])
                equalizerSetBand(effects_, eqParams_, band, chain.eqSliders[size_t(band)]);
    }
    if (fresh ? chain.channels != Channels::Stereo : chain.channels != was.channels) {
        if (pickDsp_) BASS_ChannelRemoveDSP(effects_, pickDsp_);
        pickDsp_ = chain.channels == Channels::Stereo
                       ? 0
                       : attachChannelPick(effects_, chain.channels, kPickPriority);
    }
    applied_ = chain;
}

}  // namespace effects
