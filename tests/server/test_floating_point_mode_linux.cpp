// The host's floating-point mode across loading the module, creating each class and running each
// over a few blocks: the SSE control bits and the x87 control word stay as the host set them,
// although SoundTouch, whose Linux build switches on flush-to-zero when it loads, is loaded
// meanwhile.
#include "tests/server/server_support.h"

#include "host/host.h"
#include "tests/framework/com_shell_support.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <ostream>

namespace corvane::testing {
namespace {

struct Mode {
    unsigned sse;        // the SSE control and status register without its sticky exception flags
    unsigned short x87;  // the x87 control word
    bool operator==(const Mode& o) const { return sse == o.sse && x87 == o.x87; }
};
void PrintTo(const Mode& m, std::ostream* os) {
    *os << std::hex << "{sse 0x" << m.sse << ", x87 0x" << m.x87 << "}";
}

Mode CurrentMode() {
    Mode m{_mm_getcsr() & ~0x3fu, 0};
    __asm__ volatile("fnstcw %0" : "=m"(m.x87));
    return m;
}
void SetMode(const Mode& m) {
    _mm_setcsr(m.sse);
    __asm__ volatile("fldcw %0" : : "m"(m.x87));
}

bool SoundTouchLoaded() {
    void* handle = dlopen(CORVANE_SOUNDTOUCH_FILE, RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) dlclose(handle);
    return handle != nullptr;
}

TEST(FloatingPointMode, TheHostsModeOutlivesLoadingCreatingAndRunning) {
    ASSERT_FALSE(SoundTouchLoaded()) << "the library must load while the test watches";
    // A host's own mode rather than the default, so that a load that puts back the default is
    // caught too: SSE rounding toward zero, x87 rounding to 53 bits.
    const Mode host{0x1f80u | 0x6000u, 0x27f};
    const Mode saved = CurrentMode();
    SetMode(host);
    const ModuleExports& module = MainModule();
    EXPECT_EQ(CurrentMode(), host) << "after loading the module";

    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    ASSERT_EQ(host::RegisterHostClasses(), S_OK);  // the buffering object and the like
    for (const ExpectedClass& c : ExpectedClasses()) {
        SCOPED_TRACE(c.name);
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(module.DllGetClassObject(*c.clsid, IID_IClassFactory, factory.Out()), S_OK);
        ComPtr<IMediaBaseFilter> effect;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IMediaBaseFilter, effect.Out()), S_OK);
        EXPECT_EQ(CurrentMode(), host) << "after creating";

        host::SignalSettings settings;
        settings.seconds = 1.0;
        ComPtr<IMediaSource> source, output;
        ASSERT_EQ(host::CreateSignalSource(settings, source.Put()), S_OK);
        ASSERT_EQ(effect->put_MediaSource(source.Get()), S_OK);
        ASSERT_EQ(effect->InitFilter(nullptr), S_OK);
        ASSERT_EQ(effect->QueryInterface(IID_IMediaSource, output.Out()), S_OK);
        for (int block = 0; block < 5; ++block) {
            ComPtr<IUnknown> audio;
            EXPECT_EQ(output->ReadAudio(0, 0, 100.0, audio.Put()), S_OK);
        }
        EXPECT_EQ(CurrentMode(), host) << "after running";
        effect->put_MediaSource(nullptr);
    }
    host::RevokeHostClasses();
    CoUninitialize();
    SetMode(saved);
    EXPECT_TRUE(SoundTouchLoaded()) << "the stretch and pitch-shift effects ran without it";
}

}  // namespace
}  // namespace corvane::testing
