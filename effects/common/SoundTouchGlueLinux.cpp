// SoundTouch bound when it is first used. The module does not name the library as a dependency:
// Debian's build of it is a fast-math build whose start-up routine switches on flush-to-zero and
// denormals-are-zero in the thread that loads it, and a host's floating-point mode must not change
// because it loaded an effect module. The class's out-of-line functions are defined here instead;
// each forwards to the library's own, which the first call (in practice the first construction)
// loads with dlopen between a save and a restore of the thread's SSE and x87 control words. The
// names looked up are made from the header's declarations of the forwarders, so that none can
// bind to a function of another signature.
#include "effects/common/SoundTouchGlue.h"

#include "framework/error_support.h"
#include "platform/exceptions.h"
#include "platform/oletext.h"

#include <soundtouch/SoundTouch.h>

#include <cxxabi.h>
#include <dlfcn.h>
#include <xmmintrin.h>

#include <cstring>
#include <string>
#include <typeinfo>

namespace corvane {

namespace {

using soundtouch::SoundTouch;

// The C++ ABI's code of each parameter type the class's functions take.
template <class T>
struct TypeCode;
template <>
struct TypeCode<int> {
    static constexpr const char* text = "i";
};
template <>
struct TypeCode<unsigned> {
    static constexpr const char* text = "j";
};
template <>
struct TypeCode<double> {
    static constexpr const char* text = "d";
};
template <>
struct TypeCode<float*> {
    static constexpr const char* text = "Pf";
};
template <>
struct TypeCode<const float*> {
    static constexpr const char* text = "PKf";
};

template <class... A>
std::string MemberName(const char* name, bool constant) {
    std::string s = constant ? "_ZNK" : "_ZN";
    s += "10soundtouch10SoundTouch" + std::to_string(std::strlen(name)) + name + "E";
    if constexpr (sizeof...(A) == 0) {
        return s + "v";
    } else {
        return (s + ... + TypeCode<A>::text);
    }
}

// A member function as the library exports it: its name, and its type as a plain function of
// the object pointer and the parameters (how the ABI passes them).
template <class M>
struct Member;
template <class R, class... A>
struct Member<R (SoundTouch::*)(A...)> {
    using Function = R (*)(SoundTouch*, A...);
    static std::string Name(const char* name) { return MemberName<A...>(name, false); }
};
template <class R, class... A>
struct Member<R (SoundTouch::*)(A...) const> {
    using Function = R (*)(const SoundTouch*, A...);
    static std::string Name(const char* name) { return MemberName<A...>(name, true); }
};

// (field, return type, name, parameters, arguments with the object first, qualifier) of every
// out-of-line member function of the class.
#define CORVANE_SOUNDTOUCH_MEMBERS(X)                                                             \
    X(setRate, void, setRate, (double v), (this, v), )                                            \
    X(setTempo, void, setTempo, (double v), (this, v), )                                          \
    X(setRateChange, void, setRateChange, (double v), (this, v), )                                \
    X(setTempoChange, void, setTempoChange, (double v), (this, v), )                              \
    X(setPitch, void, setPitch, (double v), (this, v), )                                          \
    X(setPitchOctaves, void, setPitchOctaves, (double v), (this, v), )                            \
    X(setPitchSemiTonesInt, void, setPitchSemiTones, (int v), (this, v), )                        \
    X(setPitchSemiTones, void, setPitchSemiTones, (double v), (this, v), )                        \
    X(setChannels, void, setChannels, (uint n), (this, n), )                                      \
    X(setSampleRate, void, setSampleRate, (uint rate), (this, rate), )                            \
    X(getInputOutputSampleRatio, double, getInputOutputSampleRatio, (), (this), )                 \
    X(flush, void, flush, (), (this), )                                                           \
    X(putSamples, void, putSamples, (const soundtouch::SAMPLETYPE* s, uint n), (this, s, n), )    \
    X(receiveSamples, uint, receiveSamples, (soundtouch::SAMPLETYPE * s, uint n), (this, s, n), ) \
    X(receiveSamplesDropped, uint, receiveSamples, (uint n), (this, n), )                         \
    X(clear, void, clear, (), (this), )                                                           \
    X(setSetting, bool, setSetting, (int id, int value), (this, id, value), )                     \
    X(getSetting, int, getSetting, (int id), (this, id), const)                                   \
    X(numUnprocessedSamples, uint, numUnprocessedSamples, (), (this), const)

#define CORVANE_SOUNDTOUCH_TYPE(ret, name, params, quals) \
    Member<decltype(static_cast<ret(SoundTouch::*) params quals>(&SoundTouch::name))>

// The library's functions once it is loaded.
struct Library {
    HRESULT status = E_UNEXPECTED;
    std::string failure;  // the loader's words when status is a failure
    void (*construct)(SoundTouch*) = nullptr;
    void (*destroy)(SoundTouch*) = nullptr;
    void (*destroyAndFree)(SoundTouch*) = nullptr;
#define CORVANE_SOUNDTOUCH_FIELD(field, ret, name, params, args, quals) \
    CORVANE_SOUNDTOUCH_TYPE(ret, name, params, quals)::Function field = nullptr;
    CORVANE_SOUNDTOUCH_MEMBERS(CORVANE_SOUNDTOUCH_FIELD)
#undef CORVANE_SOUNDTOUCH_FIELD
};

// The thread's floating-point mode: the SSE control and status register's control bits and the
// x87 control word.
struct FloatingPointMode {
    unsigned sse = 0;
    unsigned short x87 = 0;

    static constexpr unsigned kSseStatusBits = 0x3f;  // sticky exception flags, not the mode

    static FloatingPointMode Current() {
        FloatingPointMode mode;
        mode.sse = _mm_getcsr();
        __asm__ volatile("fnstcw %0" : "=m"(mode.x87));
        return mode;
    }
    void Restore() const {
        _mm_setcsr((sse & ~kSseStatusBits) | (_mm_getcsr() & kSseStatusBits));
        __asm__ volatile("fldcw %0" : : "m"(x87));
    }
};

template <class F>
void Find(void* handle, const std::string& name, F* function, Library* library) {
    void* found = dlsym(handle, name.c_str());
    if (found == nullptr && SUCCEEDED(library->status)) {
        library->status = HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
        library->failure = CORVANE_SOUNDTOUCH_FILE " has no " + name;
    }
    *function = reinterpret_cast<F>(found);
}

Library Load() {
    Library library;
    const FloatingPointMode mode = FloatingPointMode::Current();
    // Kept open for the rest of the process: objects of the class may live as long.
    void* handle = dlopen(CORVANE_SOUNDTOUCH_FILE, RTLD_NOW | RTLD_LOCAL);
    mode.Restore();
    if (handle == nullptr) {
        library.status = HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
        const char* why = dlerror();
        library.failure = why != nullptr ? why : CORVANE_SOUNDTOUCH_FILE;
        return library;
    }
    library.status = S_OK;
    Find(handle, "_ZN10soundtouch10SoundTouchC1Ev", &library.construct, &library);
    Find(handle, "_ZN10soundtouch10SoundTouchD1Ev", &library.destroy, &library);
    Find(handle, "_ZN10soundtouch10SoundTouchD0Ev", &library.destroyAndFree, &library);
#define CORVANE_SOUNDTOUCH_FIND(field, ret, name, params, args, quals)                           \
    Find(handle, CORVANE_SOUNDTOUCH_TYPE(ret, name, params, quals)::Name(#name), &library.field, \
         &library);
    CORVANE_SOUNDTOUCH_MEMBERS(CORVANE_SOUNDTOUCH_FIND)
#undef CORVANE_SOUNDTOUCH_FIND
    return library;
}

// Makes the thread's error information say why SoundTouch is missing, as the host shows it.
void SetLoadFailure(const std::string& failure) {
    ICreateErrorInfo* create = nullptr;
    if (FAILED(CreateErrorInfo(&create)) || create == nullptr) return;
    const OleString text = Utf8ToOle("SoundTouch cannot be loaded: " + failure);
    create->SetDescription(const_cast<LPOLESTR>(text.c_str()));
    PublishErrorInfo(create);
    create->Release();
}

// The loaded library. When it could not be loaded whole, throws its load status (an HRESULT,
// which the COM shell answers) with the loader's words in the thread's error information.
const Library& Bound() {
    static const Library library = Load();
    if (FAILED(library.status)) {
        SetLoadFailure(library.failure);
        ThrowHr(library.status);
    }
    return library;
}

}  // namespace

}  // namespace corvane

// The constructor and destructors, which C++ cannot define without running its own member and
// base initialisation, under the names the compiler calls them by.
extern "C" void CorvaneSoundTouchConstruct(soundtouch::SoundTouch* self) __asm__(
    "_ZN10soundtouch10SoundTouchC1Ev");
extern "C" void CorvaneSoundTouchDestroy(soundtouch::SoundTouch* self) __asm__(
    "_ZN10soundtouch10SoundTouchD1Ev");
extern "C" void CorvaneSoundTouchDestroyAndFree(soundtouch::SoundTouch* self) __asm__(
    "_ZN10soundtouch10SoundTouchD0Ev");

extern "C" void CorvaneSoundTouchConstruct(soundtouch::SoundTouch* self) {
    corvane::Bound().construct(self);
}
extern "C" void CorvaneSoundTouchDestroy(soundtouch::SoundTouch* self) {
    corvane::Bound().destroy(self);
}
extern "C" void CorvaneSoundTouchDestroyAndFree(soundtouch::SoundTouch* self) {
    corvane::Bound().destroyAndFree(self);
}

// The class's type information, which the sanitizer's dynamic-type checks name wherever a member
// function is called. The library's copy is out of reach until it is loaded; this one describes
// the same class under the same name, which is how type information compares across modules.
extern "C" const __cxxabiv1::__si_class_type_info CorvaneSoundTouchTypeInfo __asm__(
    "_ZTIN10soundtouch10SoundTouchE");
extern "C" const __cxxabiv1::__si_class_type_info CorvaneSoundTouchTypeInfo(
    "N10soundtouch10SoundTouchE",
    static_cast<const __cxxabiv1::__class_type_info*>(&typeid(soundtouch::FIFOProcessor)));

#define CORVANE_SOUNDTOUCH_FORWARD(field, ret, name, params, args, quals) \
    ret soundtouch::SoundTouch::name params quals {                       \
        return corvane::Bound().field args;                               \
    }
CORVANE_SOUNDTOUCH_MEMBERS(CORVANE_SOUNDTOUCH_FORWARD)
