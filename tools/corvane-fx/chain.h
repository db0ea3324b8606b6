// The chain of corvane-fx: its input (a sound file or the generated signal) and the effects,
// each created by COM and set up through IMediaBaseFilter, each reading from the one before.
#pragma once

#include "platform/win32.h"
#include "corvane/corvane.h"
#include "host/effect_params.h"
#include "tools/corvane-fx/options.h"

#include <memory>
#include <string>
#include <vector>

namespace corvane::fx {

// Why a step failed: the step in words, its HRESULT and the COM error description that the
// failing object left (or a short explanation of a well-known HRESULT; may be empty).
struct StepFailure {
    std::string what;
    HRESULT hr = S_OK;
    std::string description;
};

// "what: 0xXXXXXXXX description".
std::string FormatFailure(const StepFailure& failure);

// Clears the thread's COM error information and registry failure, so that what a failing call
// leaves is its own.
void ClearErrorInfo();
// The description of the thread's COM error information (taken and cleared), else the registry's
// failure, else a short text for hr when it is a well-known one, else empty. *guid, when given,
// receives the information's GUID (an effect's class interface; GUID_NULL without one).
std::string TakeErrorDescription(HRESULT hr, GUID* guid = nullptr);

// Holds one reference on the input and on every effect; releases them, the output end first.
// COM must be initialised and the host classes registered while it builds and lives.
class EffectChain {
public:
    EffectChain() = default;
    ~EffectChain();
    EffectChain(const EffectChain&) = delete;
    EffectChain& operator=(const EffectChain&) = delete;

    // The input: options.input through the host's sound-file source, else the generated signal
    // (a host class created by CoCreateInstance) shaped by options.signal.
    HRESULT OpenInput(const Options& options, StepFailure* failure);
    // Creates effect number `position` (from 1, for messages), sets enabling, parameters, zones
    // and, last, its upstream source: the current output end. The input must be open. The reverse
    // effect gets "nSamplesPerSec" and "nChannels" from its input where the user gave none.
    HRESULT AddEffect(const EffectSetup& setup, size_t position, StepFailure* failure);
    // Once every effect is connected: InitFilter on each, from the input towards the output. A
    // failure names the effect and, where its error cannot tell, why (see Why).
    HRESULT InitFilters(StepFailure* failure);
    // "effect N (name)" of the effect that reported a failure with the error information's GUID
    // iid: the first from the input on whose class interface it is (a read that fails upstream
    // fails every read after it, down to the last effect); the last effect when none is.
    std::string Culprit(const GUID& iid) const;
    // What the error of effect `name` (as Culprit gives it) cannot tell about a failure hr, as
    // " (...)", else empty: for a format it cannot take, the format of its input (and the one
    // the reverse effect asked for); for the reverse effect's file failure, its folder and
    // systemError's words (0: none).
    std::string Why(const std::string& name, HRESULT hr, DWORD systemError = 0) const;
    // The end to read from: the last effect, else the input. No reference added.
    IMediaSource* Output() const;
    // The start of the chain: the input source (null before OpenInput). No reference added.
    IMediaSource* Input() const { return input_; }
    // After a run: what to tell the user of the parameters that the effects of options never
    // read or read as another type (see UnreadParamWarnings), effect by effect. A disabled effect
    // reads nothing and is left out. The effects must have been added from options.effects.
    std::vector<std::string> ParamWarnings(const Options& options) const;
    // After a run: one warning for each enabled stretch effect whose stream follows another rate
    // than the "Rate" given to it (the effect works its rate out from its own keys), read from
    // the durations the effect and its source report over its interval; none for one that
    // ChannelWarnings names.
    std::vector<std::string> RateWarnings(const Options& options) const;
    // After a run: one warning for each enabled stretch effect whose input has more channels
    // than SoundTouch takes (MostStretchChannels), so that the audio passed through it unchanged.
    std::vector<std::string> ChannelWarnings(const Options& options) const;
    // Everything to tell after a run: the warnings above, or, where the input held no audio
    // and so no effect read anything, that alone.
    std::vector<std::string> Warnings(const Options& options) const;

private:
    // After a run: the most channels that the SoundTouch of stretch effect i took, as its keys
    // set it (16, or 15 through its anti-alias filter).
    LONG MostStretchChannels(size_t i) const;

    IMediaSource* input_ = nullptr;
    std::vector<IMediaSource*> effects_;
    // What each effect asked of its parameters (null when they were not of this host).
    std::vector<std::shared_ptr<const host::ParamReads>> reads_;
    std::vector<std::string> names_;  // "effect N (name)" of each effect, for messages
    // What each effect was given (the reverse effect's format filled in).
    std::vector<EffectSetup> setups_;
};

}  // namespace corvane::fx
