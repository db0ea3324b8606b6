// corvane.dll as a Windows host meets it: registered by the system's regsvr32 in the prefix's own
// registry, its seventeen classes created by the system's COM from that registration, audio read
// through a chain of its objects, and unregistered again. One test: it changes the registry that
// every program of the prefix sees.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "corvane/corvane.h"
#include "host/host.h"
#include "platform/com_ptr.h"
#include "tests/server/registration_checks.h"
#include "tests/server/server_support.h"

namespace corvane::testing {
namespace {

// Runs the system's regsvr32 (silent) with the options given and the module; its exit code.
DWORD Regsvr32(const OleString& options) {
    OLECHAR system[MAX_PATH];
    const UINT n = GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_GT(n, 0u);
    const OleString program = OleString(system, n) + OLESTR("\\regsvr32.exe");
    OleString line = OLESTR("\"") + program + OLESTR("\" /s ") + options + OLESTR(" \"") +
                     ModulePathWide() + OLESTR("\"");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        ADD_FAILURE() << "cannot start regsvr32: " << GetLastError();
        return ~DWORD{0};
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = ~DWORD{0};
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

// Everything a source gives from its start, as 16-bit samples.
std::vector<int16_t> ReadAll(IMediaSource* source) {
    std::vector<int16_t> samples;
    for (int block = 0; block < 1000; ++block) {
        ComPtr<IUnknown> data;
        if (FAILED(source->ReadAudio(0, 0, 100.0, data.Put())) || !data) break;
        ComPtr<IAudioData> audio;
        EXPECT_EQ(data->QueryInterface(IID_IAudioData, audio.Out()), S_OK);
        BYTE* bytes = nullptr;
        LONG length = 0;
        EXPECT_EQ(audio->GetBufferAndLength(kBufferRead, 0, &bytes, &length), S_OK);
        if (length <= 0) break;
        const int16_t* s = reinterpret_cast<const int16_t*>(bytes);
        samples.insert(samples.end(), s, s + length / 2);
    }
    return samples;
}

TEST(Regsvr32, RegistersCreatesEveryClassReadsAChainAndUnregisters) {
    const OleString module = ModulePathWide();
    ASSERT_EQ(Regsvr32(OLESTR("")), 0u);
    ExpectClassKeysIn(HKEY_LOCAL_MACHINE, module);

    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    {
        ASSERT_EQ(host::RegisterHostClasses(), S_OK);  // the buffering object and the like
        ExpectEveryClassCreatedByCom();

        // Signal -> volume (at its default level) -> invert: a read travels through both objects
        // and comes out negated.
        host::SignalSettings settings;
        settings.seconds = 0.5;
        ComPtr<IMediaSource> reference, last;
        ASSERT_EQ(host::CreateSignalSource(settings, reference.Put()), S_OK);
        ASSERT_EQ(host::CreateSignalSource(settings, last.Put()), S_OK);
        for (const CLSID* clsid : {&CLSID_VolumeFilter5, &CLSID_InvertFilter5}) {
            ComPtr<IMediaBaseFilter> effect;
            ASSERT_EQ(CoCreateInstance(*clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IMediaBaseFilter,
                                       effect.Out()),
                      S_OK);
            ASSERT_EQ(effect->put_MediaSource(last.Get()), S_OK);
            ASSERT_EQ(effect->InitFilter(nullptr), S_OK);
            ASSERT_EQ(effect->QueryInterface(IID_IMediaSource, last.Out()), S_OK);
        }
        const std::vector<int16_t> want = ReadAll(reference.Get()), got = ReadAll(last.Get());
        ASSERT_EQ(want.size(), 2u * 22050u);
        ASSERT_EQ(got.size(), want.size());
        size_t differing = 0;
        for (size_t i = 0; i < want.size(); ++i)
            differing += got[i] != (want[i] == -32768 ? 32767 : -want[i]);
        EXPECT_EQ(differing, 0u) << "samples not negated on the way through the chain";
        host::RevokeHostClasses();
    }
    CoFreeUnusedLibraries();
    CoUninitialize();

    ASSERT_EQ(Regsvr32(OLESTR("/u")), 0u);
    for (const ClassRegistrationKeys& c : kRegisteredClasses) {
        EXPECT_FALSE(
            KeyExists(HKEY_LOCAL_MACHINE, kClasses_ + OLESTR("\\CLSID\\") + ClassKeyName(c)))
            << Narrow(c.description);
    }
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE,
                           kClasses_ + OLESTR("\\TypeLib\\") + GuidText(LIBID_corvaneLib)));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, OLESTR("CLSID"))) << "the CLSID key stays";
}

}  // namespace
}  // namespace corvane::testing
