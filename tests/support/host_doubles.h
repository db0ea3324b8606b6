// The recording doubles published in the class table for one test: while a HostDoubles lives,
// CoCreateInstance of any host CLSID (by the module or by the test) creates a recording double of
// the shared state, or fails as the state's FailurePlan says.
#pragma once

#include "tests/support/call_log.h"
#include "platform/com_ptr.h"
#include "tests/support/recording.h"

#include <memory>

namespace corvane::testing {

class HostDoubles {
public:
    // Initialises COM on this thread (multithreaded) and registers the doubles' class objects;
    // Registered() says whether that worked (a CLSID may be taken by RegisterHostClasses).
    HostDoubles();
    ~HostDoubles();
    HostDoubles(const HostDoubles&) = delete;
    HostDoubles& operator=(const HostDoubles&) = delete;

    HRESULT Registration() const { return registration_; }
    bool Registered() const { return SUCCEEDED(registration_); }

    const std::shared_ptr<DoublesState>& State() const { return state_; }
    CallLog& Log() { return state_->log; }
    FailurePlan& Failures() { return state_->failures; }

    // Doubles made directly (one reference each, owned by the returned pointer).
    ComPtr<RecordingEffectParams> NewParams(host::ParamStore store = host::ParamStore());
    ComPtr<RecordingEffectZones> NewZones();
    ComPtr<RecordingAudioHelper> NewHelper();
    ComPtr<RecordingAudioBlock> NewBlock(const AudioFormatValues& format = AudioFormatValues(),
                                         LONG bytes = 0);
    ComPtr<RecordingSignalSource> NewSignalSource(
        const host::SignalSettings& settings = host::SignalSettings());
    ComPtr<RecordingWavSource> NewWavSource(const std::string& path);

private:
    std::shared_ptr<DoublesState> state_;
    host::ClassRegistration classes_;
    HRESULT registration_ = E_UNEXPECTED;
    bool comInitialised_ = false;
};

}  // namespace corvane::testing
