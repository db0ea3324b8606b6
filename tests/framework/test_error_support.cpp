// Internal error codes become HRESULTs with the calling thread's COM error information.
#include "framework/error_support.h"

#include "platform/win32.h"
#include "tests/support/temp_registry.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <climits>
#include <cstdio>
#include <string>
#include <thread>

namespace {
using corvane::testing::SystemComReadsTheTestRegistry;
using corvane::testing::TempRegistry;

using corvane::OleString;

// A COM class as the error support sees it: its CLSID comes from the class.
struct FakeVolumeClass {
    static const CLSID& GetObjectCLSID() { return CLSID_VolumeFilter5; }
};
using VolumeErrors = CTamrixErrorSupport<FakeVolumeClass, IVolumeFilter5>;

struct FakeBandClass {
    static const CLSID& GetObjectCLSID() { return CLSID_BandFilter5; }
};
using BandErrors = CTamrixErrorSupport<FakeBandClass, IBandFilter5>;

OleString Take(BSTR s) {
    OleString r = s != nullptr ? OleString(s) : OleString();
    SysFreeString(s);
    return r;
}

// What GetErrorInfo hands over on this thread; present false when there is none.
struct Info {
    bool present = false;
    GUID guid{};
    OleString source, description;
};

Info TakeErrorInfo() {
    Info r;
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || info == nullptr) return r;
    r.present = true;
    BSTR s = nullptr;
    info->GetGUID(&r.guid);
    info->GetSource(&s);
    r.source = Take(s);
    s = nullptr;
    info->GetDescription(&s);
    r.description = Take(s);
    info->Release();
    return r;
}

// Each test reads its ProgIDs from an empty registry of its own.
class ErrorSupport : public ::testing::Test {
protected:
    void SetUp() override { SetErrorInfo(0, nullptr); }
    void TearDown() override { SetErrorInfo(0, nullptr); }
    TempRegistry registry_;
};

TEST_F(ErrorSupport, EveryCodeOfTheTable) {
    const struct {
        int code;
        uint32_t hr;
        const OLECHAR* message;
    } table[] = {
        {1, 0x80040301, OLESTR("Busy error.")},
        {2, 0x80040302, OLESTR("Memory error.")},
        {3, 0x80040303, OLESTR("File access error.")},
        {4, 0x80040304, OLESTR("File format error.")},
        {5, 0x80040305, OLESTR("Video format unsupported.")},
        {6, 0x80040306, OLESTR("Audio format unsupported.")},
        {7, 0x80040307, OLESTR("Invalid operation.")},
        {8, 0x80040308, OLESTR("Invalid argument.")},
        {9, 0x80040309, OLESTR("Control not installed.")},
        {10, 0x8004030A, OLESTR("Index out of range.")},
        {11, 0x80040401, OLESTR("QuickTime container not correct.")},
        {12, 0x80040402, OLESTR("QuickTime video description not correct.")},
        {13, 0x80040403, OLESTR("QuickTime audio description not correct.")},
        {14, 0x80040404, OLESTR("QuickTime audio codec not installed.")},
        {15, 0x80040405, OLESTR("QuickTime video codec is not installed.")},
        {16, 0x80040501, OLESTR("AVI container not correct.")},
        {17, 0x80040502, OLESTR("ACM audio codec is not installed.")},
        {18, 0x80040503, OLESTR("ACM video codec is not installed.")},
        {19, 0x80040601, OLESTR("DVD content protected data.")},
        {20, 0x80040701, OLESTR("Output Driver error.")},
        {21, 0x80040702, OLESTR("Input Driver error.")},
        {22, 0x80040703, OLESTR("Mixer Driver error.")},
        {23, 0x80040704, OLESTR("Aspi Driver error.")},
        {24, 0x80040705, OLESTR("The stream is closed or unavailable.")},
        {37, 0x8004030C, OLESTR("Memory allocation error.")},
        // Every other positive code.
        {25, 0x80040300, OLESTR("Unexpected error.")},
        {36, 0x80040300, OLESTR("Unexpected error.")},
        {38, 0x80040300, OLESTR("Unexpected error.")},
        {1000, 0x80040300, OLESTR("Unexpected error.")},
        {INT_MAX, 0x80040300, OLESTR("Unexpected error.")},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.code);
        EXPECT_EQ(VolumeErrors::Error(row.code), static_cast<HRESULT>(row.hr));
        Info info = TakeErrorInfo();
        ASSERT_TRUE(info.present);
        EXPECT_EQ(info.description, row.message);
        EXPECT_EQ(info.guid, IID_IVolumeFilter5);
        EXPECT_EQ(info.source, OLESTR(""));  // no ProgID is registered
        EXPECT_FALSE(TakeErrorInfo().present) << "GetErrorInfo hands the object over";
    }
}

TEST_F(ErrorSupport, BothReportingPathsGiveOneIdentity) {
    EXPECT_EQ(corvane::ReportError(8, CLSID_VolumeFilter5, IID_IVolumeFilter5),
              static_cast<HRESULT>(0x80040308));
    Info engine = TakeErrorInfo();
    EXPECT_EQ(VolumeErrors::Error(8), static_cast<HRESULT>(0x80040308));
    Info shell = TakeErrorInfo();
    ASSERT_TRUE(engine.present && shell.present);
    EXPECT_EQ(engine.guid, shell.guid);
    EXPECT_EQ(engine.description, shell.description);
    EXPECT_EQ(BandErrors::Error(8), static_cast<HRESULT>(0x80040308));
    EXPECT_EQ(TakeErrorInfo().guid, IID_IBandFilter5);
}

TEST_F(ErrorSupport, SourceIsTheRegisteredProgId) {
    if (!SystemComReadsTheTestRegistry())
        GTEST_SKIP() << "the system's ProgIDFromCLSID reads the system's registry";
    OLECHAR clsid[40];
    ASSERT_GT(StringFromGUID2(CLSID_VolumeFilter5, clsid, 40), 0);
    const OleString key =
        OLESTR("Software\\Classes\\CLSID\\") + OleString(clsid) + OLESTR("\\ProgID");
    const OleString progId = OLESTR("Corvane.VolumeFilter5.1");
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k,
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(progId.c_str()),
                             static_cast<DWORD>((progId.size() + 1) * sizeof(OLECHAR))),
              ERROR_SUCCESS);
    RegCloseKey(k);

    EXPECT_EQ(VolumeErrors::Error(8), static_cast<HRESULT>(0x80040308));
    Info info = TakeErrorInfo();
    ASSERT_TRUE(info.present);
    EXPECT_EQ(info.source, progId);
    EXPECT_EQ(info.description, OLESTR("Invalid argument."));
    // Another class has no ProgID: its source stays empty.
    EXPECT_EQ(BandErrors::Error(8), static_cast<HRESULT>(0x80040308));
    EXPECT_EQ(TakeErrorInfo().source, OLESTR(""));
}

// An error object placed by somebody else, to see whether a report touches it.
IErrorInfo* PlaceEarlierError() {
    ICreateErrorInfo* create = nullptr;
    if (FAILED(CreateErrorInfo(&create))) return nullptr;
    create->SetDescription(const_cast<LPOLESTR>(OLESTR("earlier")));
    IErrorInfo* info = nullptr;
    create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
    create->Release();
    SetErrorInfo(0, info);
    return info;  // the caller's reference, for identity checks
}

TEST_F(ErrorSupport, ZeroAndNegativeCodesLeaveErrorInformationAlone) {
    const struct {
        int code;
        HRESULT hr;
    } cases[] = {
        {0, S_OK},
        {-2147024882, static_cast<HRESULT>(0x8007000E)},
        {-2147467259, static_cast<HRESULT>(0x80004005)},
        {-1, static_cast<HRESULT>(-1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        // With no error object, none appears.
        EXPECT_EQ(VolumeErrors::Error(c.code), c.hr);
        EXPECT_FALSE(TakeErrorInfo().present);
        // An earlier error object stays in place, the very same object.
        IErrorInfo* earlier = PlaceEarlierError();
        ASSERT_NE(earlier, nullptr);
        EXPECT_EQ(VolumeErrors::Error(c.code), c.hr);
        IErrorInfo* now = nullptr;
        EXPECT_EQ(GetErrorInfo(0, &now), S_OK);
        EXPECT_EQ(now, earlier);
        if (now != nullptr) now->Release();
        earlier->Release();
    }
}

TEST_F(ErrorSupport, ErrorInformationBelongsToItsThread) {
    EXPECT_EQ(VolumeErrors::Error(3), static_cast<HRESULT>(0x80040303));
    Info seenElsewhere;
    Info setElsewhere;
    std::thread other([&] {
        seenElsewhere = TakeErrorInfo();
        EXPECT_EQ(VolumeErrors::Error(7), static_cast<HRESULT>(0x80040307));
        setElsewhere = TakeErrorInfo();
    });
    other.join();
    EXPECT_FALSE(seenElsewhere.present);
    EXPECT_TRUE(setElsewhere.present);
    EXPECT_EQ(setElsewhere.description, OLESTR("Invalid operation."));
    Info mine = TakeErrorInfo();
    ASSERT_TRUE(mine.present);
    EXPECT_EQ(mine.description, OLESTR("File access error."));
}

TEST(ErrorTable, LookupFallsBackToUnexpectedError) {
    EXPECT_EQ(corvane::LookupError(37).hr, static_cast<HRESULT>(0x8004030C));
    EXPECT_EQ(&corvane::LookupError(26), &corvane::kUnexpectedError);
    EXPECT_EQ(&corvane::LookupError(0), &corvane::kUnexpectedError);
    EXPECT_EQ(&corvane::LookupError(-5), &corvane::kUnexpectedError);
    // Every HRESULT of the table is a failure of FACILITY_ITF.
    for (const auto& row : corvane::ErrorTable) {
        EXPECT_TRUE(FAILED(row.hr)) << row.code;
        EXPECT_EQ(HRESULT_FACILITY(row.hr), FACILITY_ITF) << row.code;
    }
}

}  // namespace
