// The type library that the module carries: its attributes and its 36 type descriptions in order,
// checked against the interfaces and GUIDs of the public header.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "corvane/corvane.h"
#include "tests/server/server_support.h"
#include "platform/com_ptr.h"

namespace corvane::testing {
namespace {

// The names of an interface's methods in vtable order, from the header's method lists.
#define CORVANE_TEST_WIDE(text) OLESTR(text)
#define CORVANE_TEST_METHOD_NAME(name, params, args) CORVANE_TEST_WIDE(#name),
const std::vector<OleString> kMediaSourceMethods = {
    CORVANE_IMEDIASOURCE_METHODS(CORVANE_TEST_METHOD_NAME)};
const std::vector<OleString> kBaseFilterMethods = {
    CORVANE_IMEDIABASEFILTER_METHODS(CORVANE_TEST_METHOD_NAME)};
const std::vector<OleString> kVolumeMethods = {
    CORVANE_IVOLUMEFILTER5_METHODS(CORVANE_TEST_METHOD_NAME)};
#undef CORVANE_TEST_METHOD_NAME
#undef CORVANE_TEST_WIDE
const std::vector<OleString> kNoMethods;

struct Entry {
    const OLECHAR* name;
    TYPEKIND kind;
    const GUID* guid;
    const OLECHAR* help;                    // NULL: none
    const std::vector<OleString>* methods;  // interfaces only
    const GUID* classInterface;             // coclasses only
};

#define NAME(n) OLESTR(n)
#define COCLASS(n) \
    { NAME(#n), TKIND_COCLASS, &CLSID_##n, nullptr, nullptr, &IID_I##n }
#define ITF(n, methods) \
    { NAME(#n), TKIND_INTERFACE, &IID_##n, nullptr, &methods, nullptr }

// The order of the library: each class followed by its class interface, with the two shared
// interfaces right after the first class.
const Entry kEntries[] = {
    COCLASS(BandFilter5),
    {OLESTR("IMediaSource"), TKIND_INTERFACE, &IID_IMediaSource, OLESTR("IMediaSource Interface"),
     &kMediaSourceMethods, nullptr},
    {OLESTR("IMediaBaseFilter"), TKIND_INTERFACE, &IID_IMediaBaseFilter,
     OLESTR("IMediaBaseFilter Interface"), &kBaseFilterMethods, nullptr},
    ITF(IBandFilter5, kNoMethods),
    COCLASS(DelayFilter5),
    ITF(IDelayFilter5, kNoMethods),
    COCLASS(EchoFilter5),
    ITF(IEchoFilter5, kNoMethods),
    COCLASS(EqualizeFilter5),
    ITF(IEqualizeFilter5, kNoMethods),
    COCLASS(FlangerFilter5),
    ITF(IFlangerFilter5, kNoMethods),
    COCLASS(InvertFilter5),
    ITF(IInvertFilter5, kNoMethods),
    COCLASS(PitchShiftFilter5),
    ITF(IPitchShiftFilter5, kNoMethods),
    COCLASS(ReverbFilter5),
    ITF(IReverbFilter5, kNoMethods),
    COCLASS(ReverseFilter5),
    ITF(IReverseFilter5, kNoMethods),
    COCLASS(SilenceFilter5),
    ITF(ISilenceFilter5, kNoMethods),
    COCLASS(StretchFilter5),
    ITF(IStretchFilter5, kNoMethods),
    COCLASS(VibratoFilter5),
    ITF(IVibratoFilter5, kNoMethods),
    COCLASS(VolumeFilter5),
    ITF(IVolumeFilter5, kVolumeMethods),
    COCLASS(WahWahFilter5),
    ITF(IWahWahFilter5, kNoMethods),
    COCLASS(AudioFilter5),
    ITF(IAudioFilter5, kNoMethods),
    COCLASS(MedianFilter5),
    ITF(IMedianFilter5, kNoMethods),
    COCLASS(AudioFilterNB5),
    ITF(IAudioFilterNB5, kNoMethods),
};
#undef COCLASS
#undef ITF
#undef NAME

OleString PropertyName(const OleString& method) {
    for (const OLECHAR* prefix : {OLESTR("get_"), OLESTR("put_"), OLESTR("putref_")}) {
        OleString p(prefix);
        if (method.compare(0, p.size(), p) == 0) return method.substr(p.size());
    }
    return method;
}

OleString FromBstr(BSTR b) {
    OleString s = b ? OleString(b, SysStringLen(b)) : OleString();
    SysFreeString(b);
    return s;
}

GUID GuidOf(ITypeInfo* info) {
    TYPEATTR* attr = nullptr;
    EXPECT_EQ(info->GetTypeAttr(&attr), S_OK);
    GUID g = attr ? attr->guid : GUID_NULL;
    if (attr) info->ReleaseTypeAttr(attr);
    return g;
}

// The type description that implementation j of info refers to.
ComPtr<ITypeInfo> Implemented(ITypeInfo* info, UINT j) {
    HREFTYPE ref = 0;
    ComPtr<ITypeInfo> out;
    EXPECT_EQ(info->GetRefTypeOfImplType(j, &ref), S_OK);
    EXPECT_EQ(info->GetRefTypeInfo(ref, &out), S_OK);
    return out;
}

class TypeLibTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        ASSERT_EQ(LoadTypeLibEx(ModulePathWide().c_str(), REGKIND_NONE, &lib_), S_OK);
    }
    void TearDown() override {
        lib_.Reset();
        CoUninitialize();
    }

    TempRegistry registry_;
    ComPtr<ITypeLib> lib_;
};

TEST_F(TypeLibTest, LibraryAttributes) {
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(lib_->GetLibAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, LIBID_corvaneLib));
    EXPECT_EQ(attr->lcid, 0u);
    EXPECT_EQ(attr->syskind, SYS_WIN32);
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    // No flags of its own (the system marks a library that it loaded from a file as such).
    EXPECT_EQ(attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, 0);
    lib_->ReleaseTLibAttr(attr);
    BSTR name = nullptr, doc = nullptr, helpFile = nullptr;
    ASSERT_EQ(lib_->GetDocumentation(-1, &name, &doc, nullptr, &helpFile), S_OK);
    EXPECT_EQ(FromBstr(name), OLESTR("corvaneLib"));
    EXPECT_EQ(FromBstr(doc), OLESTR("")) << "no help string of its own";
    EXPECT_EQ(FromBstr(helpFile), OLESTR("")) << "no help file";
    // Loading it registers nothing.
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, OLESTR("TypeLib\\") + GuidText(LIBID_corvaneLib)));
}

TEST_F(TypeLibTest, ThirtySixTypesInTheirOrder) {
    ASSERT_EQ(lib_->GetTypeInfoCount(), 36u);
    ASSERT_EQ(std::size(kEntries), 36u);
    for (UINT i = 0; i < 36; ++i) {
        const Entry& e = kEntries[i];
        SCOPED_TRACE(Narrow(e.name));
        TYPEKIND kind;
        ASSERT_EQ(lib_->GetTypeInfoType(i, &kind), S_OK);
        EXPECT_EQ(kind, e.kind);
        BSTR name = nullptr, doc = nullptr;
        ASSERT_EQ(lib_->GetDocumentation(static_cast<INT>(i), &name, &doc, nullptr, nullptr), S_OK);
        EXPECT_EQ(FromBstr(name), e.name);
        EXPECT_EQ(FromBstr(doc), e.help ? e.help : OLESTR(""));

        ComPtr<ITypeInfo> info;
        ASSERT_EQ(lib_->GetTypeInfo(i, &info), S_OK);
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
        EXPECT_TRUE(IsEqualGUID(attr->guid, *e.guid)) << Narrow(GuidText(attr->guid));
        EXPECT_EQ(attr->typekind, e.kind);
        const WORD flags = attr->wTypeFlags, funcs = attr->cFuncs, impls = attr->cImplTypes;
        info->ReleaseTypeAttr(attr);

        if (e.kind == TKIND_COCLASS) {
            EXPECT_EQ(flags, TYPEFLAG_FCANCREATE);
            EXPECT_EQ(funcs, 0);
            ASSERT_EQ(impls, 3);
            const GUID* expected[] = {&IID_IMediaSource, &IID_IMediaBaseFilter, e.classInterface};
            for (UINT j = 0; j < 3; ++j) {
                ComPtr<ITypeInfo> itf = Implemented(info.Get(), j);
                ASSERT_TRUE(itf);
                EXPECT_TRUE(IsEqualGUID(GuidOf(itf.Get()), *expected[j])) << "implementation " << j;
                INT implFlags = -1;
                EXPECT_EQ(info->GetImplTypeFlags(j, &implFlags), S_OK);
                EXPECT_EQ(implFlags, j == 2 ? IMPLTYPEFLAG_FDEFAULT : 0) << "implementation " << j;
            }
            continue;
        }
        // Interfaces: neither dual nor automation-compatible, derived from IUnknown.
        EXPECT_EQ(flags, 0);
        ASSERT_EQ(impls, 1);
        ComPtr<ITypeInfo> base = Implemented(info.Get(), 0);
        ASSERT_TRUE(base);
        EXPECT_TRUE(IsEqualGUID(GuidOf(base.Get()), IID_IUnknown));

        // Methods in vtable order. A property's accessors share one member id; the ids are the
        // type-library compiler's defaults, which rise in the order the properties first come.
        // Where the library describes each function (a compiled one), its description must say
        // the same.
        ASSERT_EQ(funcs, e.methods->size());
        std::vector<OleString> properties;
        std::vector<MEMBERID> ids;
        for (size_t f = 0; f < e.methods->size(); ++f) {
            const OleString& method = (*e.methods)[f];
            OleString prop = PropertyName(method);
            auto at = std::find(properties.begin(), properties.end(), prop);
            if (at == properties.end()) {
                properties.push_back(prop);
                LPOLESTR names[1] = {&prop[0]};
                MEMBERID id = MEMBERID_NIL;
                EXPECT_EQ(info->GetIDsOfNames(names, 1, &id), S_OK) << Narrow(method);
                if (!ids.empty()) {
                    EXPECT_GT(id, ids.back()) << Narrow(method);
                }
                ids.push_back(id);
                at = properties.end() - 1;
            }
            const MEMBERID id = ids[static_cast<size_t>(at - properties.begin())];
            BSTR found = nullptr;
            UINT count = 0;
            EXPECT_EQ(info->GetNames(id, &found, 1, &count), S_OK);
            EXPECT_EQ(FromBstr(found), prop);
            ExpectFunctionDescribed(info.Get(), static_cast<UINT>(f), id, method);
        }
    }
}

TEST_F(TypeLibTest, MethodCountsMatchTheVtables) {
    // Independent of the lists: the counts every caller relies on.
    EXPECT_EQ(kMediaSourceMethods.size(), 44u);
    EXPECT_EQ(kBaseFilterMethods.size(), 12u);
    EXPECT_EQ(kVolumeMethods,
              (std::vector<OleString>{OLESTR("get_MediaSource"), OLESTR("put_MediaSource")}));
    EXPECT_EQ(kMediaSourceMethods.front(), OLESTR("SendCommandEx"));
    EXPECT_EQ(kMediaSourceMethods.back(), OLESTR("GetParam"));
    EXPECT_EQ(kBaseFilterMethods.front(), OLESTR("InitFilter"));
}

}  // namespace
}  // namespace corvane::testing
