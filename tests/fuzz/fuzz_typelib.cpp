// The type-library text reader: any bytes either build a type library or fail with an HRESULT;
// a library that builds answers every question about every type without fault.
#include "platform/win32.h"

#include <cstdint>

#include "tests/fuzz/fuzz_check.h"

namespace {

void Walk(ITypeInfo* info) {
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr))) return;
    BSTR name = nullptr, doc = nullptr;
    if (SUCCEEDED(info->GetDocumentation(MEMBERID_NIL, &name, &doc, nullptr, nullptr))) {
        SysFreeString(name);
        SysFreeString(doc);
    }
    // Member ids count up from 0x60000000 in order of first appearance; one past them is none.
    for (UINT i = 0; i <= attr->cFuncs; ++i) {
        BSTR names[4] = {};
        UINT got = 0;
        if (SUCCEEDED(info->GetNames(0x60000000 + static_cast<MEMBERID>(i), names, 4, &got))) {
            FUZZ_CHECK(got <= 4);
            for (UINT n = 0; n < got; ++n) SysFreeString(names[n]);
        }
    }
    for (UINT i = 0; i < attr->cImplTypes; ++i) {
        HREFTYPE ref = 0;
        INT flags = 0;
        info->GetImplTypeFlags(i, &flags);
        if (FAILED(info->GetRefTypeOfImplType(i, &ref))) continue;
        ITypeInfo* other = nullptr;
        if (SUCCEEDED(info->GetRefTypeInfo(ref, &other))) {
            TYPEATTR* otherAttr = nullptr;
            if (SUCCEEDED(other->GetTypeAttr(&otherAttr))) other->ReleaseTypeAttr(otherAttr);
            other->Release();
        }
    }
    info->ReleaseTypeAttr(attr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ITypeLib* lib = reinterpret_cast<ITypeLib*>(1);
    const HRESULT hr =
        CorvaneCreateTypeLibFromText(reinterpret_cast<const char*>(data), size, &lib);
    if (FAILED(hr)) {
        FUZZ_CHECK(lib == nullptr);
        return 0;
    }
    FUZZ_CHECK(lib != nullptr);
    TLIBATTR* libAttr = nullptr;
    FUZZ_CHECK(SUCCEEDED(lib->GetLibAttr(&libAttr)));
    lib->ReleaseTLibAttr(libAttr);
    const UINT count = lib->GetTypeInfoCount();
    for (UINT i = 0; i <= count; ++i) {
        ITypeInfo* info = nullptr;
        TYPEKIND kind;
        const HRESULT got = lib->GetTypeInfo(i, &info);
        FUZZ_CHECK((i < count) == SUCCEEDED(got));
        FUZZ_CHECK((i < count) == SUCCEEDED(lib->GetTypeInfoType(i, &kind)));
        if (info == nullptr) continue;
        Walk(info);
        TYPEATTR* attr = nullptr;
        if (SUCCEEDED(info->GetTypeAttr(&attr))) {
            ITypeInfo* byGuid = nullptr;
            FUZZ_CHECK(SUCCEEDED(lib->GetTypeInfoOfGuid(attr->guid, &byGuid)));
            byGuid->Release();
            info->ReleaseTypeAttr(attr);
        }
        info->Release();
    }
    FUZZ_CHECK(lib->Release() == 0);
    return 0;
}
