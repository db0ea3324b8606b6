// corvane-fx: reads a sound file (or generates a test signal), runs it through a chain of effects
// created by COM from the registered module, and writes the result to a WAV file.
//
// Exit status: 0 success, 1 a step failed (the message names it, with its HRESULT and the COM
// error description), 2 a bad command line. A failed run leaves no output file, except a finished
// one whose target was taken by something that is not replaced meanwhile: the message names it.
#include "platform/win32.h"
#include "corvane/corvane.h"
#include "host/host.h"
#include "tools/corvane-fx/chain.h"
#include "tools/corvane-fx/classes.h"
#include "tools/corvane-fx/options.h"
#include "tools/corvane-fx/output_file.h"
#include "tools/corvane-fx/platform.h"

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using corvane::OleString;

using corvane::fx::StepFailure;

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int Report(const StepFailure& failure) {
    std::fprintf(stderr, "corvane-fx: %s\n", corvane::fx::FormatFailure(failure).c_str());
    return kExitFailed;
}

bool Registered(const CLSID& clsid) {
    const OleString key = OLESTR("CLSID\\") + corvane::Utf8ToOle(corvane::fx::ClsidText(clsid)) +
                          OLESTR("\\InprocServer32");
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}

int List() {
    const std::string root = corvane::fx::RegistryName();
    std::printf("Effect classes (registry: %s; -e takes either name, in any case):\n",
                root.c_str());
    bool any = false;
    corvane::fx::ClearErrorInfo();
    for (const corvane::fx::EffectClass& c : corvane::fx::EffectClasses()) {
        const bool registered = Registered(c.clsid);
        any = any || registered;
        std::printf("  %-11s %-18s %s  %s\n", c.shortName.c_str(), c.name,
                    corvane::fx::ClsidText(c.clsid).c_str(),
                    registered ? "registered" : "not registered");
    }
    // A hive that cannot be read hides what may be registered: say so instead of advising a
    // registration that would fail on the same file.
    const std::string damaged = corvane::fx::TakeRegistryFailure();
    if (!damaged.empty()) {
        std::fflush(stdout);
        std::fprintf(stderr, "corvane-fx: cannot read the registry: %s\n", damaged.c_str());
        return kExitFailed;
    }
    if (!any) {
        std::printf("None is registered: run %s first.\n", corvane::fx::RegisterCommand().c_str());
    }
    return 0;
}

// A property of the file source; VT_EMPTY when it gives none.
VARIANT Property(IMediaSource* source, const OLECHAR* name) {
    BSTR key = SysAllocString(name);
    VARIANT v;
    VariantInit(&v);
    if (!key || FAILED(source->GetParam(key, &v))) VariantInit(&v);
    SysFreeString(key);
    return v;
}

// A file shorter than its header says, or whose data cannot be decoded to its end, is read as
// far as it goes, as other audio tools do, but not in silence. A stream whose header declares no
// length ends where it ends: only data that cannot be decoded ends it early.
void WarnIfCutShort(IMediaSource* input, const std::string& path) {
    VARIANT frames = Property(input, OLESTR("FrameCount"));
    VARIANT declared = Property(input, OLESTR("DeclaredFrameCount"));
    VARIANT failure = Property(input, OLESTR("DecodeFailure"));
    const bool undecodable = failure.vt == VT_BSTR && SysStringLen(failure.bstrVal) > 0;
    const bool cut = frames.vt == VT_I8 && declared.vt == VT_I8 && declared.llVal > frames.llVal;
    std::string why = "the file is shorter than its header says";
    if (undecodable) why = "the rest cannot be decoded: " + corvane::OleToUtf8(failure.bstrVal);
    if (frames.vt == VT_I8 && (cut || undecodable)) {
        const std::string of = cut ? " of " + std::to_string(declared.llVal) : std::string();
        std::fprintf(stderr,
                     "corvane-fx: warning: %s ends after %lld%s frames (%s); the output keeps "
                     "what was read\n",
                     path.c_str(), static_cast<long long>(frames.llVal), of.c_str(), why.c_str());
    }
    VariantClear(&failure);
}

// Everything after COM is up and the host classes are registered.
int Process(const corvane::fx::Options& options) {
    // An output that cannot be written is refused before anything is read: an effect may read
    // its whole input as it is prepared (the reverse effect does).
    corvane::fx::TemporaryOutput out;
    std::string why;
    HRESULT hr = out.Create(options.output, &why);
    if (FAILED(hr)) return Report({"cannot write " + options.output, hr, why});
    corvane::fx::EffectChain chain;
    StepFailure failure;
    if (FAILED(chain.OpenInput(options, &failure))) return Report(failure);
    for (size_t i = 0; i < options.effects.size(); ++i) {
        if (FAILED(chain.AddEffect(options.effects[i], i + 1, &failure))) return Report(failure);
    }
    if (FAILED(chain.InitFilters(&failure))) return Report(failure);

    corvane::host::ExportResult result;
    corvane::fx::ClearErrorInfo();
    hr = corvane::host::ExportToWav(
        chain.Output(), options.output, options.blockMs, &result, chain.Input(),
        [&out](DWORD rate, WORD channels, corvane::host::WavContainer container,
               std::unique_ptr<corvane::host::WavWriter>* writer,
               std::string* error) { return out.Open(rate, channels, container, writer, error); });
    // Taken before anything else can replace it: the failing effect's identity.
    GUID culprit = GUID_NULL;
    const std::string described =
        FAILED(hr) ? corvane::fx::TakeErrorDescription(hr, &culprit) : std::string();
    if (!options.input.empty()) WarnIfCutShort(chain.Input(), options.input);
    if (FAILED(hr)) {
        // The user knows the file by its final name, not by the temporary one.
        auto finalName = [&](std::string text) {
            for (size_t at = text.find(out.Path()); at != std::string::npos;
                 at = text.find(out.Path(), at)) {
                text.replace(at, out.Path().size(), options.output);
                at += options.output.size();
            }
            return text;
        };
        std::string what = finalName(result.error);
        std::string reason = finalName(result.reason);
        if (reason.empty()) reason = described;
        if (result.readFailed) {
            // Named by the effect whose error it is (the reads of the effects after it fail
            // with it), else the input.
            const std::string effect = chain.Culprit(culprit);
            what = effect.empty() ? "reading " +
                                        (options.input.empty() ? std::string("the generated signal")
                                                               : options.input) +
                                        " failed"
                                  : "reading from " + effect + " failed";
            if (!effect.empty()) reason += chain.Why(effect, hr);
        }
        if (what.empty()) what = "processing failed";
        return Report({what, hr, reason});
    }
    hr = out.Commit(&why);
    if (FAILED(hr)) return Report({"cannot write " + options.output, hr, why});
    // Values that no effect used: a misspelt key or a value of the wrong type would otherwise
    // pass in silence.
    for (const std::string& w : chain.Warnings(options))
        std::fprintf(stderr, "corvane-fx: warning: %s\n", w.c_str());
    // Without their libraries the graph effects pass the audio through: not in silence either.
    const std::string graphFailure = corvane::host::FilterGraphLoadFailure();
    if (!graphFailure.empty()) {
        std::fprintf(stderr,
                     "corvane-fx: warning: the filter-graph libraries could not be loaded (%s): "
                     "the graph effects passed the audio through unchanged\n",
                     graphFailure.c_str());
    }
    // After the audio on the same stream, the line would read as more samples.
    std::fprintf(
        corvane::fx::IsStandardOutput(options.output) ? stderr : stdout,
        "corvane-fx: wrote %lld frames (%.3f s, %u Hz, %u channels) through %zu effect%s to %s\n",
        static_cast<long long>(result.frames),
        result.rate ? static_cast<double>(result.frames) / result.rate : 0.0,
        static_cast<unsigned>(result.rate), static_cast<unsigned>(result.channels),
        options.effects.size(), options.effects.size() == 1 ? "" : "s", options.output.c_str());
    return 0;
}

int Run(const corvane::fx::Options& options) {
    if (!options.registryRoot.empty()) {
        LSTATUS st = corvane::fx::UseRegistryFolder(options.registryRoot);
        if (st != ERROR_SUCCESS) {
            return Report({"cannot use the registry folder " + options.registryRoot,
                           HRESULT_FROM_WIN32(static_cast<unsigned long>(st)), ""});
        }
    }
    if (options.list) return List();
    HRESULT hr = CoInitialize(nullptr);
    if (FAILED(hr))
        return Report({"cannot initialise COM", hr, corvane::fx::TakeErrorDescription(hr)});
    int rc = kExitFailed;
    hr = corvane::host::RegisterHostClasses();
    if (FAILED(hr)) {
        Report({"cannot register the host classes", hr, corvane::fx::TakeErrorDescription(hr)});
    } else {
        rc = Process(options);
        corvane::host::RevokeHostClasses();
    }
    CoUninitialize();
    return rc;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef SIGXFSZ
    // Past a file-size limit a write then fails and is reported, and the partial output is
    // removed, instead of the signal ending the process in the middle of the file.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
#ifdef SIGPIPE
    // The same for an output FIFO or pipe whose reader went away.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    const std::vector<std::string> args = corvane::fx::Utf8Arguments(argc, argv);
    std::vector<const char*> pointers;
    for (const std::string& a : args) pointers.push_back(a.c_str());
    corvane::fx::Options options;
    std::string error;
    switch (corvane::fx::ParseOptions(static_cast<int>(pointers.size()), pointers.data(), &options,
                                      &error)) {
        case corvane::fx::ParseResult::Help:
            std::fputs(corvane::fx::Usage(pointers.empty() ? "corvane-fx" : pointers[0]).c_str(),
                       stdout);
            return 0;
        case corvane::fx::ParseResult::Error:
            std::fprintf(stderr, "corvane-fx: %s\n(corvane-fx --help describes the options)\n",
                         error.c_str());
            return kExitUsage;
        case corvane::fx::ParseResult::Ok:
            break;
    }
    return Run(options);
}
