#include "tools/corvane-fx/chain.h"

#include "effects/common/SoundTouchGlue.h"
#include "host/host.h"
#include "platform/com_ptr.h"
#include "platform/oletext.h"
#include "tools/corvane-fx/platform.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <strings.h>

namespace corvane::fx {

namespace {

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

HRESULT ConfigureSignal(IMediaSource* source, const host::SignalSettings& settings) {
    static const OLECHAR* const kKinds[] = {OLESTR("tones"), OLESTR("sweep"), OLESTR("noise"),
                                            OLESTR("silence")};
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

// Fills *failure when hr failed; hands hr back.
HRESULT Check(HRESULT hr, const std::string& what, StepFailure* failure) {
    if (SUCCEEDED(hr)) return hr;
    failure->what = what;
    failure->hr = hr;
    failure->description = TakeErrorDescription(hr);
    return hr;
}

template <class Itf>
HRESULT Create(const CLSID& clsid, Itf** out) {
    *out = nullptr;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IidOf<Itf>(),
                                  reinterpret_cast<void**>(out));
    if (SUCCEEDED(hr) && !*out) hr = E_UNEXPECTED;
    return hr;
}

HRESULT SetParams(IMediaBaseFilter* filter, const EffectSetup& setup, const std::string& who,
                  std::shared_ptr<const host::ParamReads>* reads, StepFailure* failure) {
    IEffectParams* params = nullptr;
    HRESULT hr = Check(Create(CLSID_EffectParams, &params),
                       "cannot create the parameters of " + who, failure);
    if (FAILED(hr)) return hr;
    // The effect keeps a copy, which notes its reads in the same log.
    if (FAILED(host::GetParamReads(params, reads))) reads->reset();
    std::string key;
    ClearErrorInfo();
    hr = Check(ApplyParams(setup.params, params, &key),
               "cannot set parameter " + key + " of " + who, failure);
    if (SUCCEEDED(hr)) {
        ClearErrorInfo();
        hr = Check(filter->put_EffectParams(params), who + " refused its parameters", failure);
    }
    params->Release();
    return hr;
}

HRESULT SetZones(IMediaBaseFilter* filter, const EffectSetup& setup, const std::string& who,
                 StepFailure* failure) {
    IEffectZones* zones = nullptr;
    HRESULT hr =
        Check(Create(CLSID_EffectZones, &zones), "cannot create the zones of " + who, failure);
    if (FAILED(hr)) return hr;
    for (size_t i = 0; SUCCEEDED(hr) && i < setup.zones.size(); ++i) {
        char text[96];
        std::snprintf(text, sizeof text, "%g:%g", setup.zones[i].start, setup.zones[i].duration);
        LONG id = 0;
        ClearErrorInfo();
        hr = Check(zones->AddZone(setup.zones[i].start, setup.zones[i].duration, VARIANT_TRUE,
                                  nullptr, &id),
                   "cannot add zone " + std::string(text) + " of " + who, failure);
    }
    if (SUCCEEDED(hr)) {
        ClearErrorInfo();
        hr = Check(filter->put_EffectZones(zones), who + " refused its zones", failure);
    }
    zones->Release();
    return hr;
}

// The value of key (any case) for the whole stream; null when the set has none.
const ParamValue* Value(const ParamSet& set, const char* key) {
    for (const Param& p : set.Items()) {
        if (p.index == -1 && strcasecmp(p.name.c_str(), key) == 0) return &p.value;
    }
    return nullptr;
}

bool HasKey(const ParamSet& set, const char* key) {
    return Value(set, key) != nullptr;
}

std::string Plural(long n, const char* one) {
    return std::to_string(n) + " " + one + (n == 1 ? "" : "s");
}

// The rate and channels of the source's format; false when it has none.
bool RateAndChannels(IMediaSource* source, LONG* rate, LONG* channels) {
    ComPtr<IUnknown> object;
    if (FAILED(source->get_audioFormat(-1, object.Put()))) return false;
    ComPtr<IAudioFormat> format = object.As<IAudioFormat>();
    return format && SUCCEEDED(format->GetSampleRate(rate)) &&
           SUCCEEDED(format->GetChannels(channels));
}

// "R Hz, N channels" of the source's format; empty when it has none.
std::string FormatOf(IMediaSource* source) {
    LONG rate = 0, channels = 0;
    if (!RateAndChannels(source, &rate, &channels)) return {};
    return std::to_string(rate) + " Hz, " + Plural(channels, "channel");
}

// The folder of the reverse effect's temporary files, as the effect chooses it.
std::string TemporaryFolder(const ParamSet& params) {
    const ParamValue* v = Value(params, "TempPath");
    const std::string* given = v ? std::get_if<std::string>(v) : nullptr;
    if (given && !given->empty()) return *given;
    OLECHAR buffer[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    return n > 0 && n <= MAX_PATH ? OleToUtf8(OleString(buffer, n)) : "the temporary folder";
}

// The channels of a stretch effect's input; 0 for another effect or an input without a format.
LONG StretchChannels(const EffectSetup& e, IMediaSource* upstream) {
    LONG rate = 0, channels = 0;
    return IsEqualCLSID(e.clsid, CLSID_StretchFilter5) &&
                   RateAndChannels(upstream, &rate, &channels)
               ? channels
               : 0;
}

// Effect i of options as warnings name it: the class name alone, unless the chain holds the class
// more than once.
std::string WarningName(const Options& options, size_t i) {
    const EffectSetup& e = options.effects[i];
    size_t same = 0;
    for (const EffectSetup& other : options.effects) same += other.label == e.label;
    return same > 1 ? e.label + " (effect " + std::to_string(i + 1) + ")" : e.label;
}

// A number of any spelling as a double; false for other values.
bool NumberOf(const ParamValue& v, double* out) {
    if (const auto* d = std::get_if<double>(&v))
        *out = *d;
    else if (const auto* i = std::get_if<int32_t>(&v))
        *out = *i;
    else if (const auto* u = std::get_if<uint32_t>(&v))
        *out = *u;
    else
        return false;
    return true;
}

// The reverse effect asks its source for a format and must be told which: its input's, unless
// the user says otherwise. Each key the user left out comes from the input.
HRESULT WithInputFormat(const EffectSetup& setup, IMediaSource* upstream, EffectSetup* out) {
    *out = setup;
    if (!IsEqualCLSID(setup.clsid, CLSID_ReverseFilter5)) return S_OK;
    const bool rate = HasKey(setup.params, "nSamplesPerSec");
    const bool channels = HasKey(setup.params, "nChannels");
    if (rate && channels) return S_OK;
    IUnknown* object = nullptr;
    HRESULT hr = upstream->get_audioFormat(-1, &object);
    if (FAILED(hr)) return hr;
    if (!object) return E_UNEXPECTED;
    IAudioFormat* format = nullptr;
    hr = object->QueryInterface(IID_IAudioFormat, reinterpret_cast<void**>(&format));
    object->Release();
    if (FAILED(hr)) return hr;
    LONG value = 0;
    if (SUCCEEDED(hr) && !rate && SUCCEEDED(hr = format->GetSampleRate(&value)))
        out->params.Set({"nSamplesPerSec", -1, static_cast<int32_t>(value)});
    if (SUCCEEDED(hr) && !channels && SUCCEEDED(hr = format->GetChannels(&value)))
        out->params.Set({"nChannels", -1, static_cast<int32_t>(value)});
    format->Release();
    return hr;
}

}  // namespace

std::string FormatFailure(const StepFailure& failure) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(failure.hr));
    std::string s = failure.what + ": " + hex;
    if (!failure.description.empty()) s += " " + failure.description;
    return s;
}

void ClearErrorInfo() {
    SetErrorInfo(0, nullptr);
    ClearRegistryFailure();
}

std::string TakeErrorDescription(HRESULT hr, GUID* guid) {
    IErrorInfo* info = nullptr;
    std::string text;
    if (guid) *guid = GUID_NULL;
    if (GetErrorInfo(0, &info) == S_OK && info) {
        if (guid && FAILED(info->GetGUID(guid))) *guid = GUID_NULL;
        BSTR d = nullptr;
        if (SUCCEEDED(info->GetDescription(&d)) && d) text = corvane::OleToUtf8(d);
        SysFreeString(d);
        info->Release();
    }
    if (!text.empty()) return text;
    // A registry file that cannot be read (a damaged hive) is named by the registry itself;
    // without it the class would only look unregistered.
    text = TakeRegistryFailure();
    if (!text.empty()) return text;
    if (hr == REGDB_E_CLASSNOTREG) {
        // Name the registry searched: the user may have given its folder, or not know the default.
        return "Class not registered in " + RegistryName() +
               " (register the module there: " + RegisterCommand() + ").";
    }
    static const struct {
        HRESULT hr;
        const char* text;
    } kKnown[] = {
        {CO_E_DLLNOTFOUND, "No module is registered for the class."},
        {HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), "The registered module file does not exist."},
        {CO_E_ERRORINDLL, "The registered module cannot be loaded."},
        {E_NOINTERFACE, "No such interface supported."},
        {E_OUTOFMEMORY, "Out of memory."},
        {E_INVALIDARG, "One or more arguments are invalid."},
        {E_ACCESSDENIED, "Access denied."},
        {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "The file does not exist."},
        {HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), "The folder does not exist."},
    };
    for (const auto& k : kKnown) {
        if (k.hr == hr) return k.text;
    }
    return text;
}

EffectChain::~EffectChain() {
    for (auto it = effects_.rbegin(); it != effects_.rend(); ++it) (*it)->Release();
    if (input_) input_->Release();
}

IMediaSource* EffectChain::Output() const {
    return effects_.empty() ? input_ : effects_.back();
}

HRESULT EffectChain::OpenInput(const Options& options, StepFailure* failure) {
    if (input_) return E_UNEXPECTED;
    ClearErrorInfo();
    if (!options.input.empty()) {
        std::string why;
        HRESULT hr = host::OpenWavFileSource(options.input, &input_, &why);
        if (FAILED(hr)) {
            Check(hr, "cannot read " + options.input, failure);
            if (!why.empty()) failure->description = why;
        }
        return hr;
    }
    HRESULT hr =
        Check(Create(CLSID_SignalSource, &input_), "cannot create the signal source", failure);
    if (FAILED(hr)) return hr;
    ClearErrorInfo();
    return Check(ConfigureSignal(input_, options.signal), "the signal source refused the settings",
                 failure);
}

HRESULT EffectChain::AddEffect(const EffectSetup& setup, size_t position, StepFailure* failure) {
    IMediaSource* upstream = Output();
    if (!upstream) return E_UNEXPECTED;
    const std::string who = "effect " + std::to_string(position) + " (" + setup.label + ")";
    IMediaBaseFilter* filter = nullptr;
    ClearErrorInfo();
    HRESULT hr = Check(Create(setup.clsid, &filter), "cannot create " + who, failure);
    if (FAILED(hr)) return hr;
    IMediaSource* source = nullptr;
    hr = Check(filter->QueryInterface(IID_IMediaSource, reinterpret_cast<void**>(&source)),
               who + " is not a media source", failure);
    if (SUCCEEDED(hr)) {
        ClearErrorInfo();
        hr = Check(filter->put_EffectEnabled(setup.enabled ? VARIANT_TRUE : VARIANT_FALSE),
                   "cannot " + std::string(setup.enabled ? "enable " : "disable ") + who, failure);
    }
    EffectSetup completed;
    if (SUCCEEDED(hr)) {
        ClearErrorInfo();
        hr = Check(WithInputFormat(setup, upstream, &completed),
                   "cannot read the format of the input of " + who, failure);
    }
    // Parameters before zones: the engine scales the zone interval by the "Rate" they carry.
    std::shared_ptr<const host::ParamReads> reads;
    if (SUCCEEDED(hr)) hr = SetParams(filter, completed, who, &reads, failure);
    if (SUCCEEDED(hr) && !setup.zones.empty()) hr = SetZones(filter, setup, who, failure);
    if (SUCCEEDED(hr)) {
        ClearErrorInfo();
        hr = Check(filter->put_MediaSource(upstream), "cannot connect " + who + " to its input",
                   failure);
    }
    filter->Release();
    if (FAILED(hr)) {
        if (source) source->Release();
        return hr;
    }
    effects_.push_back(source);
    reads_.push_back(std::move(reads));
    names_.push_back(who);
    setups_.push_back(std::move(completed));
    return S_OK;
}

HRESULT EffectChain::InitFilters(StepFailure* failure) {
    // From the input on: an effect that reads its source here (the reverse effect) reads what
    // the effects before it give.
    for (size_t i = 0; i < effects_.size(); ++i) {
        IMediaBaseFilter* filter = nullptr;
        HRESULT hr = Check(
            effects_[i]->QueryInterface(IID_IMediaBaseFilter, reinterpret_cast<void**>(&filter)),
            names_[i] + " is not an effect", failure);
        if (FAILED(hr)) return hr;
        ClearErrorInfo();
        SetLastError(ERROR_SUCCESS);
        hr = filter->InitFilter(nullptr);
        const DWORD systemError = FAILED(hr) ? GetLastError() : ERROR_SUCCESS;
        filter->Release();
        if (FAILED(Check(hr, "cannot prepare " + names_[i], failure))) {
            failure->description += Why(names_[i], hr, systemError);
            return hr;
        }
    }
    return S_OK;
}

std::string EffectChain::Culprit(const GUID& iid) const {
    if (effects_.empty()) return {};
    // Every effect answers for these: they name no class.
    const bool generic = IsEqualGUID(iid, GUID_NULL) || IsEqualIID(iid, IID_IUnknown) ||
                         IsEqualIID(iid, IID_IMediaSource) || IsEqualIID(iid, IID_IMediaBaseFilter);
    for (size_t i = 0; !generic && i < effects_.size(); ++i) {
        ComPtr<IUnknown> itf;
        if (SUCCEEDED(effects_[i]->QueryInterface(iid, reinterpret_cast<void**>(itf.Put()))))
            return names_[i];
    }
    return names_.back();
}

std::string EffectChain::Why(const std::string& name, HRESULT hr, DWORD systemError) const {
    size_t i = 0;
    while (i < names_.size() && names_[i] != name) ++i;
    if (i == names_.size()) return {};
    const bool reverse = IsEqualCLSID(setups_[i].clsid, CLSID_ReverseFilter5);
    const ParamSet& params = setups_[i].params;
    if (hr == kHrAudioFormatUnsupported) {
        const std::string input = FormatOf(i == 0 ? input_ : effects_[i - 1]);
        std::string why = input.empty() ? "" : "its input: " + input;
        const ParamValue* rate = Value(params, "nSamplesPerSec");
        const ParamValue* channels = Value(params, "nChannels");
        if (reverse && rate && channels && std::holds_alternative<int32_t>(*rate) &&
            std::holds_alternative<int32_t>(*channels)) {
            why += (why.empty() ? "" : "; ") + std::string("asked for ") +
                   std::to_string(std::get<int32_t>(*rate)) + " Hz, " +
                   Plural(std::get<int32_t>(*channels), "channel");
        }
        return why.empty() ? why : " (" + why + ")";
    }
    if (hr == kHrFileAccessError && reverse) {
        const std::string folder = TemporaryFolder(params);
        std::string why = " (temporary files in " + folder;
        if (systemError != ERROR_SUCCESS) why += ": " + SystemWords(systemError, folder);
        return why + ")";
    }
    return {};
}

std::vector<std::string> EffectChain::ParamWarnings(const Options& options) const {
    std::vector<std::string> warnings;
    for (size_t i = 0; i < options.effects.size() && i < reads_.size(); ++i) {
        const EffectSetup& e = options.effects[i];
        if (!e.enabled || !reads_[i]) continue;
        for (std::string& w : UnreadParamWarnings(WarningName(options, i), e.params, *reads_[i]))
            warnings.push_back(std::move(w));
    }
    return warnings;
}

LONG EffectChain::MostStretchChannels(size_t i) const {
    // The anti-alias filter is on unless the effect read "Antialiasing" as 0.
    const ParamValue* given = Value(setups_[i].params, "Antialiasing");
    double antialiasing = 1.0;
    const bool off = given && reads_[i] && reads_[i]->Find(OLESTR("Antialiasing"), -1).read &&
                     NumberOf(*given, &antialiasing) && antialiasing == 0.0;
    return off ? kStretchMostChannels : kStretchMostAntiAliasedChannels;
}

std::vector<std::string> EffectChain::RateWarnings(const Options& options) const {
    std::vector<std::string> warnings;
    for (size_t i = 0; i < options.effects.size() && i < effects_.size(); ++i) {
        const EffectSetup& e = options.effects[i];
        const ParamValue* given = Value(e.params, "Rate");
        double rate = 0.0;
        IMediaSource* upstream = i == 0 ? input_ : effects_[i - 1];
        // One that passes the audio through gets the warning that says so instead.
        if (!e.enabled || !IsEqualCLSID(e.clsid, CLSID_StretchFilter5) || !given ||
            !NumberOf(*given, &rate) || StretchChannels(e, upstream) > MostStretchChannels(i)) {
            continue;
        }
        double in = 0.0, out = 0.0;
        if (FAILED(upstream->get_audioDuration(-1, &in)) ||
            FAILED(effects_[i]->get_audioDuration(-1, &out))) {
            continue;
        }
        // The interval as the effect takes it: the zones' span, cut at the end of the stream.
        double start = 0.0, span = in;
        if (!e.zones.empty()) {
            double end = 0.0;
            start = e.zones[0].start;
            for (const ZoneRange& z : e.zones) {
                start = std::min(start, z.start);
                end = std::max(end, z.start + z.duration);
            }
            span = std::min(end, in) - start;
        }
        if (!(span > 0.0)) continue;  // nothing to stretch
        const double used = 1.0 + (out - in) / span;
        // The effect delivers whole frames: its duration may differ from span x rate by the
        // frame the input's milliseconds leave over and by the half frame of its rounding.
        LONG sampleRate = 0, channels = 0;
        const double frameMs = RateAndChannels(upstream, &sampleRate, &channels) && sampleRate > 0
                                   ? 1000.0 / sampleRate
                                   : 0.0;
        if (std::fabs(used - rate) * span <= 1.5 * frameMs + 1e-6 * std::max(rate, used) * span)
            continue;
        char text[96];
        std::snprintf(text, sizeof text, " runs at Rate %.9g, not at the Rate %.9g given", used,
                      rate);
        warnings.push_back(WarningName(options, i) + text +
                           " (1 / (TempoRate x RateRate), or 1 where it passes the audio through)");
    }
    return warnings;
}

std::vector<std::string> EffectChain::ChannelWarnings(const Options& options) const {
    std::vector<std::string> warnings;
    for (size_t i = 0; i < options.effects.size() && i < effects_.size(); ++i) {
        const EffectSetup& e = options.effects[i];
        const LONG channels = StretchChannels(e, i == 0 ? input_ : effects_[i - 1]);
        if (!e.enabled || channels <= MostStretchChannels(i)) continue;
        // Its anti-alias filter is what refuses the input only where SoundTouch would take it.
        const std::string limit =
            channels > kStretchMostChannels
                ? std::to_string(kStretchMostChannels) + " channels"
                : std::to_string(kStretchMostAntiAliasedChannels) +
                      " channels through its anti-alias filter (Antialiasing=0 turns it off)";
        warnings.push_back(WarningName(options, i) +
                           " passed the audio through unchanged: SoundTouch takes at most " +
                           limit + ", and its input has " + std::to_string(channels));
    }
    return warnings;
}

std::vector<std::string> EffectChain::Warnings(const Options& options) const {
    double duration = 0.0;
    if (input_ && SUCCEEDED(input_->get_audioDuration(-1, &duration)) && duration <= 0.0) {
        // Every key would look misspelt: the effects read them at their first block.
        return {"no audio was read: " +
                (options.input.empty() ? std::string("the generated signal") : options.input) +
                " holds no frames, so the effects read none of their parameters"};
    }
    std::vector<std::string> warnings = ParamWarnings(options);
    for (const std::vector<std::string>& more : {RateWarnings(options), ChannelWarnings(options)})
        warnings.insert(warnings.end(), more.begin(), more.end());
    return warnings;
}

}  // namespace corvane::fx
