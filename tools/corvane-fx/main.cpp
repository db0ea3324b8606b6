// corvane-fx: generates a test signal through the host runtime's signal source, created by COM
// like any class a host uses, and writes what the source delivers to a WAV file.
#include "platform/win32.h"
#include "corvane/corvane.h"
#include "host/host.h"
#include "tools/corvane-fx/options.h"

#include <cstdio>
#include <string>

namespace {

using corvane::host::ExportResult;

// A property of the source by name; the BSTR lives for the call only.
HRESULT SetProperty(IMediaSource* source, const OLECHAR* name, VARIANT value) {
    BSTR n = SysAllocString(name);
    if (!n) return E_OUTOFMEMORY;
    HRESULT hr = source->SetParam(n, value);
    SysFreeString(n);
    return hr;
}

VARIANT Number(double d) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_R8;
    v.dblVal = d;
    return v;
}

HRESULT ConfigureSignal(IMediaSource* source, const corvane::host::SignalSettings& settings) {
    static const OLECHAR* const kKinds[] = {OLESTR("tones"), OLESTR("sweep"), OLESTR("noise"), OLESTR("silence")};
    VARIANT kind;
    VariantInit(&kind);
    kind.vt = VT_BSTR;
    kind.bstrVal = SysAllocString(kKinds[static_cast<int>(settings.kind)]);
    if (!kind.bstrVal) return E_OUTOFMEMORY;
    HRESULT hr = SetProperty(source, OLESTR("Signal"), kind);
    VariantClear(&kind);
    // Frequency before rate would be refused against the old rate, so the rate goes first.
    if (SUCCEEDED(hr)) hr = SetProperty(source, OLESTR("SampleRate"), Number(settings.rate));
    if (SUCCEEDED(hr)) hr = SetProperty(source, OLESTR("Channels"), Number(settings.channels));
    if (SUCCEEDED(hr)) hr = SetProperty(source, OLESTR("Frequency"), Number(settings.frequency));
    if (SUCCEEDED(hr)) hr = SetProperty(source, OLESTR("Amplitude"), Number(settings.amplitude));
    if (SUCCEEDED(hr)) hr = SetProperty(source, OLESTR("Seconds"), Number(settings.seconds));
    return hr;
}

int Run(const corvane::fx::Options& options) {
    HRESULT hr = corvane::host::RegisterHostClasses();
    if (FAILED(hr)) {
        std::fprintf(stderr, "corvane-fx: cannot register the host classes (0x%08X)\n", static_cast<unsigned>(hr));
        return 1;
    }
    IMediaSource* source = nullptr;
    hr = CoCreateInstance(CLSID_SignalSource, nullptr, CLSCTX_INPROC_SERVER, IID_IMediaSource,
                          reinterpret_cast<void**>(&source));
    if (SUCCEEDED(hr)) {
        hr = ConfigureSignal(source, options.signal);
        if (FAILED(hr)) std::fprintf(stderr, "corvane-fx: the signal source refused the settings (0x%08X)\n", static_cast<unsigned>(hr));
    } else {
        std::fprintf(stderr, "corvane-fx: cannot create the signal source (0x%08X)\n", static_cast<unsigned>(hr));
    }
    ExportResult result;
    if (SUCCEEDED(hr)) {
        hr = corvane::host::ExportToWav(source, options.output, options.blockMs, &result);
        if (FAILED(hr)) std::fprintf(stderr, "corvane-fx: %s\n", result.error.c_str());
    }
    if (source) source->Release();
    corvane::host::RevokeHostClasses();
    if (FAILED(hr)) return 1;
    std::printf("corvane-fx: wrote %lld frames (%.3f s, %u Hz, %u channels) to %s\n",
                static_cast<long long>(result.frames), static_cast<double>(result.frames) / result.rate,
                static_cast<unsigned>(result.rate), static_cast<unsigned>(result.channels), options.output.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    corvane::fx::Options options;
    std::string error;
    switch (corvane::fx::ParseOptions(argc, argv, &options, &error)) {
    case corvane::fx::ParseResult::Help:
        std::fputs(corvane::fx::Usage(argv[0]).c_str(), stdout);
        return 0;
    case corvane::fx::ParseResult::Error:
        std::fprintf(stderr, "corvane-fx: %s\n%s", error.c_str(), corvane::fx::Usage(argv[0]).c_str());
        return 2;
    case corvane::fx::ParseResult::Ok:
        break;
    }
    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(hr)) {
        std::fprintf(stderr, "corvane-fx: cannot initialise COM (0x%08X)\n", static_cast<unsigned>(hr));
        return 1;
    }
    int rc = Run(options);
    CoUninitialize();
    return rc;
}
