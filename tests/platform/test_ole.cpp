// OLE Automation services: BSTR, VARIANT, SAFEARRAY, memory streams, error information.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32.h"

namespace {

using corvane::OleString;

// An IUnknown that counts its references and its destruction.
class CountedUnknown : public IErrorInfo {
public:
    explicit CountedUnknown(std::atomic<int>* destroyed = nullptr) : destroyed_(destroyed) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IErrorInfo)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG left = --refs;
        if (left == 0 && destroyed_) ++*destroyed_;
        return left;
    }
    STDMETHODIMP GetGUID(GUID*) override { return E_NOTIMPL; }
    STDMETHODIMP GetSource(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP GetDescription(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP GetHelpFile(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP GetHelpContext(DWORD*) override { return E_NOTIMPL; }

    std::atomic<ULONG> refs{1};

private:
    std::atomic<int>* destroyed_;
};

OleString Text(BSTR b) {
    return OleString(b ? b : OLESTR(""), SysStringLen(b));
}

// ------------------------------------------------------------------------------- BSTR
TEST(OleBstr, RoundTripsTextWithNonAsciiAndEmbeddedNuls) {
    const OleString cases[] = {
        OLESTR(""),
        OLESTR("ReadAudio"),
        OLESTR("Grüße aus Köln, Звук, 音声, \U0001F3B5"),
        OleString(OLESTR("a\0b\0\0c"), 6),
        OleString(3, OLESTR('\0')),
    };
    for (const auto& s : cases) {
        BSTR b = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(SysStringLen(b), s.size());
        EXPECT_EQ(SysStringByteLen(b), s.size() * 2);
        DWORD prefix;  // Windows' layout: the byte length sits right before the text
        std::memcpy(&prefix, reinterpret_cast<BYTE*>(b) - 4, 4);
        EXPECT_EQ(prefix, s.size() * 2);
        EXPECT_EQ(Text(b), s);
        EXPECT_EQ(b[s.size()], 0);  // terminated
        EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 8, 0u);
        // A copy through the byte-length form keeps the embedded NULs.
        BSTR copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(b), SysStringByteLen(b));
        EXPECT_EQ(Text(copy), s);
        SysFreeString(copy);
        // SysAllocString stops at the first NUL.
        BSTR shortened = SysAllocString(b);
        EXPECT_EQ(Text(shortened), s.substr(0, s.find(OLESTR('\0'))));
        SysFreeString(shortened);
        SysFreeString(b);
    }
}

TEST(OleBstr, EdgeCases) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);

    BSTR zeros = SysAllocStringLen(nullptr, 5);
    ASSERT_NE(zeros, nullptr);
    EXPECT_EQ(Text(zeros), OleString(5, OLESTR('\0')));
    SysFreeString(zeros);

    BSTR odd = SysAllocStringByteLen("abc", 3);
    EXPECT_EQ(SysStringByteLen(odd), 3u);
    EXPECT_EQ(SysStringLen(odd), 1u);
    EXPECT_EQ(std::memcmp(odd, "abc", 3), 0);
    EXPECT_EQ(reinterpret_cast<BYTE*>(odd)[3], 0);
    SysFreeString(odd);

    EXPECT_EQ(SysAllocStringLen(OLESTR("x"), 0x80000000u),
              nullptr);  // byte length beyond the prefix

    // Re-allocation from a pointer into the string itself.
    BSTR b = SysAllocString(OLESTR("effect filter"));
    ASSERT_TRUE(SysReAllocString(&b, b + 7));
    EXPECT_EQ(Text(b), OLESTR("filter"));
    ASSERT_TRUE(SysReAllocStringLen(&b, nullptr, 8));  // keeps the text, zero-fills the rest
    EXPECT_EQ(Text(b), OleString(OLESTR("filter\0\0"), 8));
    ASSERT_TRUE(SysReAllocStringLen(&b, OLESTR("ab"), 2));
    EXPECT_EQ(Text(b), OLESTR("ab"));
    EXPECT_FALSE(SysReAllocString(nullptr, OLESTR("x")));
    SysFreeString(b);
}

// ------------------------------------------------------------------------------- VARIANT
TEST(OleVariant, LayoutAndValuesAreWindows) {
    EXPECT_EQ(sizeof(VARIANT), 2 * sizeof(void*) + 8);
    EXPECT_EQ(offsetof(VARIANT, lVal), 8u);
    EXPECT_EQ(offsetof(VARIANT, pRecInfo), 8u + sizeof(void*));
    EXPECT_EQ(sizeof(DECIMAL), 16u);
    const struct {
        int ours, windows;
    } values[] = {{VT_EMPTY, 0},
                  {VT_NULL, 1},
                  {VT_I2, 2},
                  {VT_I4, 3},
                  {VT_R4, 4},
                  {VT_R8, 5},
                  {VT_BSTR, 8},
                  {VT_BOOL, 11},
                  {VT_VARIANT, 12},
                  {VT_UNKNOWN, 13},
                  {VT_UI1, 17},
                  {VT_I8, 20},
                  {VT_RECORD, 36},
                  {VT_ARRAY, 0x2000},
                  {VT_BYREF, 0x4000},
                  {VARIANT_TRUE, -1},
                  {FADF_HAVEVARTYPE, 0x80},
                  {STGTY_STREAM, 2},
                  {STREAM_SEEK_END, 2}};
    for (const auto& v : values) EXPECT_EQ(v.ours, v.windows);
    EXPECT_EQ(static_cast<uint32_t>(DISP_E_ARRAYISLOCKED), 0x8002000Du);
    EXPECT_EQ(static_cast<uint32_t>(DISP_E_BADVARTYPE), 0x80020008u);
}

TEST(OleVariant, ClearReleasesWhatItOwns) {
    VARIANT v;
    VariantInit(&v);
    EXPECT_EQ(v.vt, VT_EMPTY);

    CountedUnknown unk;
    v.vt = VT_UNKNOWN;
    v.punkVal = &unk;
    unk.AddRef();
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(unk.refs.load(), 1u);

    // By reference: nothing is freed.
    BSTR owned = SysAllocString(OLESTR("kept"));
    v.vt = VT_BSTR | VT_BYREF;
    v.pbstrVal = &owned;
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(Text(owned), OLESTR("kept"));
    SysFreeString(owned);

    // A type a VARIANT cannot hold is refused and left alone.
    for (VARTYPE bad :
         {VARTYPE(VT_VARIANT), VARTYPE(VT_I4 | VT_VECTOR), VARTYPE(15), VARTYPE(VT_VOID)}) {
        v.vt = bad;
        EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE) << bad;
        EXPECT_EQ(v.vt, bad);
    }
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);

    // A locked array stays, with its variant.
    v.vt = VT_ARRAY | VT_R4;
    v.parray = SafeArrayCreateVector(VT_R4, 0, 4);
    ASSERT_EQ(SafeArrayLock(v.parray), S_OK);
    EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(v.vt, VT_ARRAY | VT_R4);
    ASSERT_EQ(SafeArrayUnlock(v.parray), S_OK);
    EXPECT_EQ(VariantClear(&v), S_OK);  // the leak checker sees the array go
}

TEST(OleVariant, CopyIsDeep) {
    VARIANT src, dst;
    VariantInit(&src);
    VariantInit(&dst);
    const OleString text(OLESTR("Temp\0Path"), 9);
    src.vt = VT_BSTR;
    src.bstrVal = SysAllocStringLen(text.data(), 9);
    ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
    EXPECT_EQ(dst.vt, VT_BSTR);
    EXPECT_NE(dst.bstrVal, src.bstrVal);
    EXPECT_EQ(Text(dst.bstrVal), text);

    // Copying over an owning variant frees its old value first.
    CountedUnknown unk;
    VARIANT u;
    u.vt = VT_UNKNOWN;
    u.punkVal = &unk;
    ASSERT_EQ(VariantCopy(&dst, &u), S_OK);
    EXPECT_EQ(unk.refs.load(), 2u);
    EXPECT_EQ(VariantClear(&dst), S_OK);
    EXPECT_EQ(unk.refs.load(), 1u);

    // Arrays are duplicated.
    VARIANT arr;
    arr.vt = VT_ARRAY | VT_R8;
    arr.parray = SafeArrayCreateVector(VT_R8, 0, 3);
    LONG i = 1;
    double x = 2.5;
    ASSERT_EQ(SafeArrayPutElement(arr.parray, &i, &x), S_OK);
    ASSERT_EQ(VariantCopy(&dst, &arr), S_OK);
    EXPECT_NE(dst.parray, arr.parray);
    x = -1.0;
    SafeArrayPutElement(arr.parray, &i, &x);
    double seen = 0;
    SafeArrayGetElement(dst.parray, &i, &seen);
    EXPECT_EQ(seen, 2.5);

    VARIANT bad;
    bad.vt = 0x0FFF;
    EXPECT_EQ(VariantCopy(&dst, &bad), DISP_E_BADVARTYPE);
    EXPECT_EQ(dst.vt, VT_ARRAY | VT_R8);  // untouched
    EXPECT_EQ(VariantCopy(&dst, &dst), S_OK);
    VariantClear(&dst);
    VariantClear(&arr);
    VariantClear(&src);
}

// ------------------------------------------------------------------------------- SAFEARRAY
TEST(OleSafeArray, VectorOfFloats) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_R4, 0, 5);
    ASSERT_NE(psa, nullptr);
    EXPECT_EQ(SafeArrayGetDim(psa), 1u);
    EXPECT_EQ(SafeArrayGetElemsize(psa), 4u);
    LONG lo = 99, hi = 99;
    EXPECT_EQ(SafeArrayGetLBound(psa, 1, &lo), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(psa, 1, &hi), S_OK);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 4);
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(SafeArrayGetVartype(psa, &vt), S_OK);
    EXPECT_EQ(vt, VT_R4);

    const float values[5] = {0.5f, -1.25f, 3e-8f, 1e30f, -0.0f};
    for (LONG i = 0; i < 5; ++i) {
        float v = values[i];
        ASSERT_EQ(SafeArrayPutElement(psa, &i, &v), S_OK);
    }
    float* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(psa, reinterpret_cast<void**>(&data)), S_OK);
    EXPECT_EQ(std::memcmp(data, values, sizeof values), 0);
    EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);  // still accessed
    EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(psa), E_UNEXPECTED);  // not locked any more

    for (LONG bad : {-1, 5, 1 << 30}) {
        float v = 7;
        EXPECT_EQ(SafeArrayGetElement(psa, &bad, &v), DISP_E_BADINDEX) << bad;
        EXPECT_EQ(SafeArrayPutElement(psa, &bad, &v), DISP_E_BADINDEX) << bad;
    }
    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(psa, &copy), S_OK);
    float* copied = nullptr;
    ASSERT_EQ(SafeArrayAccessData(copy, reinterpret_cast<void**>(&copied)), S_OK);
    EXPECT_NE(copied, data);
    EXPECT_EQ(std::memcmp(copied, values, sizeof values), 0);
    SafeArrayUnaccessData(copy);
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
    EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
}

TEST(OleSafeArray, ElementTypesAndSizes) {
    const struct {
        VARTYPE vt;
        UINT size;  // 0: not an array element type
    } types[] = {
        {VT_I1, 1},
        {VT_UI1, 1},
        {VT_I2, 2},
        {VT_BOOL, 2},
        {VT_I4, 4},
        {VT_R4, 4},
        {VT_ERROR, 4},
        {VT_R8, 8},
        {VT_CY, 8},
        {VT_DATE, 8},
        {VT_I8, 8},
        {VT_DECIMAL, 16},
        {VT_BSTR, sizeof(void*)},
        {VT_UNKNOWN, sizeof(void*)},
        {VT_VARIANT, sizeof(VARIANT)},
        {VT_EMPTY, 0},
        {VT_NULL, 0},
        {VT_VOID, 0},
        {VT_RECORD, 0},
        {VT_LPWSTR, 0},
    };
    for (const auto& t : types) {
        SAFEARRAY* psa = SafeArrayCreateVector(t.vt, -3, 4);
        if (t.size == 0) {
            EXPECT_EQ(psa, nullptr) << t.vt;
            continue;
        }
        ASSERT_NE(psa, nullptr) << t.vt;
        EXPECT_EQ(SafeArrayGetElemsize(psa), t.size) << t.vt;
        VARTYPE vt;
        EXPECT_EQ(SafeArrayGetVartype(psa, &vt), S_OK);
        EXPECT_EQ(vt, t.vt);
        // Elements start zeroed; the bounds are -3 .. 0.
        std::vector<BYTE> cell(t.size, 0xEE);
        LONG first = -3, past = 1;
        if (t.vt != VT_BSTR && t.vt != VT_UNKNOWN && t.vt != VT_VARIANT) {
            EXPECT_EQ(SafeArrayGetElement(psa, &first, cell.data()), S_OK);
            EXPECT_EQ(cell, std::vector<BYTE>(t.size, 0)) << t.vt;
        }
        EXPECT_EQ(SafeArrayGetElement(psa, &past, cell.data()), DISP_E_BADINDEX);
        EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
    }
    SAFEARRAYBOUND huge[2] = {{0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0}};
    EXPECT_EQ(SafeArrayCreate(VT_R8, 2, huge), nullptr);  // size overflows
    EXPECT_EQ(SafeArrayCreate(VT_R8, 0, huge), nullptr);
    SAFEARRAY* empty = SafeArrayCreateVector(VT_R4, 0, 0);
    ASSERT_NE(empty, nullptr);
    LONG ub = 0;
    EXPECT_EQ(SafeArrayGetUBound(empty, 1, &ub), S_OK);
    EXPECT_EQ(ub, -1);
    EXPECT_EQ(SafeArrayDestroy(empty), S_OK);
}

TEST(OleSafeArray, OwningElementsAreCopiedAndFreed) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 0, 2);
    ASSERT_NE(psa, nullptr);
    BSTR name = SysAllocString(OLESTR("LSmoothTime"));
    LONG i = 0;
    ASSERT_EQ(SafeArrayPutElement(psa, &i, name), S_OK);  // stores a copy
    SysFreeString(name);
    ASSERT_EQ(SafeArrayPutElement(psa, &i, nullptr), S_OK);  // frees that copy
    BSTR again = SysAllocString(OLESTR("RSmoothTime"));
    ASSERT_EQ(SafeArrayPutElement(psa, &i, again), S_OK);
    SysFreeString(again);
    BSTR out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(psa, &i, &out), S_OK);
    EXPECT_EQ(Text(out), OLESTR("RSmoothTime"));
    SysFreeString(out);
    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(psa, &copy), S_OK);
    ASSERT_EQ(SafeArrayGetElement(copy, &i, &out), S_OK);
    EXPECT_EQ(Text(out), OLESTR("RSmoothTime"));
    SysFreeString(out);
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);  // the leak checker sees every string go

    std::atomic<int> destroyed{0};
    CountedUnknown unk(&destroyed);
    SAFEARRAY* unks = SafeArrayCreateVector(VT_UNKNOWN, 0, 3);
    for (LONG k = 0; k < 3; ++k) SafeArrayPutElement(unks, &k, static_cast<IUnknown*>(&unk));
    EXPECT_EQ(unk.refs.load(), 4u);
    SAFEARRAY* unkCopy = nullptr;
    SafeArrayCopy(unks, &unkCopy);
    EXPECT_EQ(unk.refs.load(), 7u);
    SafeArrayDestroy(unkCopy);
    SafeArrayDestroy(unks);
    EXPECT_EQ(unk.refs.load(), 1u);
    EXPECT_EQ(destroyed.load(), 0);
}

TEST(OleSafeArray, TwoDimensions) {
    // Created from the first dimension to the last; indices list the last dimension first.
    SAFEARRAYBOUND bounds[2] = {{2, 1}, {3, 0}};  // rows 1..2, columns 0..2
    SAFEARRAY* psa = SafeArrayCreate(VT_I4, 2, bounds);
    ASSERT_NE(psa, nullptr);
    const struct {
        UINT dim;
        LONG lo, hi;
    } dims[] = {{1, 1, 2}, {2, 0, 2}};
    for (const auto& d : dims) {
        LONG lo, hi;
        EXPECT_EQ(SafeArrayGetLBound(psa, d.dim, &lo), S_OK);
        EXPECT_EQ(SafeArrayGetUBound(psa, d.dim, &hi), S_OK);
        EXPECT_EQ(lo, d.lo);
        EXPECT_EQ(hi, d.hi);
    }
    LONG unused;
    EXPECT_EQ(SafeArrayGetLBound(psa, 3, &unused), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetLBound(psa, 0, &unused), DISP_E_BADINDEX);
    for (LONG row = 1; row <= 2; ++row) {
        for (LONG col = 0; col <= 2; ++col) {
            LONG idx[2] = {col, row};
            LONG v = row * 10 + col;
            ASSERT_EQ(SafeArrayPutElement(psa, idx, &v), S_OK);
        }
    }
    // Six distinct cells, all within the data block.
    LONG* data = nullptr;
    SafeArrayAccessData(psa, reinterpret_cast<void**>(&data));
    std::vector<LONG> all(data, data + 6);
    SafeArrayUnaccessData(psa);
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all, (std::vector<LONG>{10, 11, 12, 20, 21, 22}));
    LONG outside[2] = {0, 3};
    LONG v;
    EXPECT_EQ(SafeArrayGetElement(psa, outside, &v), DISP_E_BADINDEX);
    LONG outsideCol[2] = {3, 1};
    EXPECT_EQ(SafeArrayGetElement(psa, outsideCol, &v), DISP_E_BADINDEX);
    SafeArrayDestroy(psa);
}

// ------------------------------------------------------------------------------- streams
IStream* NewStream() {
    IStream* s = nullptr;
    EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &s), S_OK);
    return s;
}

ULONGLONG Position(IStream* s) {
    LARGE_INTEGER zero{};
    ULARGE_INTEGER pos{};
    EXPECT_EQ(s->Seek(zero, STREAM_SEEK_CUR, &pos), S_OK);
    return pos.QuadPart;
}

TEST(OleStream, StatSeekRead) {
    IStream* s = NewStream();
    ASSERT_NE(s, nullptr);
    std::vector<BYTE> bytes(100);
    for (int i = 0; i < 100; ++i) bytes[i] = static_cast<BYTE>(i + 1);
    ULONG done = 0;
    ASSERT_EQ(s->Write(bytes.data(), 100, &done), S_OK);
    EXPECT_EQ(done, 100u);

    STATSTG st;
    std::memset(&st, 0xCC, sizeof st);
    ASSERT_EQ(s->Stat(&st, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(st.type, static_cast<DWORD>(STGTY_STREAM));
    EXPECT_EQ(st.cbSize.QuadPart, 100u);
    EXPECT_EQ(st.pwcsName, nullptr);
    EXPECT_EQ(s->Stat(&st, 0x10), STG_E_INVALIDFLAG);

    const struct {
        LONGLONG move;
        DWORD origin;
        ULONGLONG at;
        ULONG want, got;
    } steps[] = {
        {10, STREAM_SEEK_SET, 10, 20, 20},
        {-5, STREAM_SEEK_CUR, 25, 10, 10},
        {-1, STREAM_SEEK_END, 99, 10, 1},   // short read at the end is still S_OK
        {50, STREAM_SEEK_END, 150, 10, 0},  // past the end: nothing to read
    };
    for (const auto& step : steps) {
        LARGE_INTEGER move;
        move.QuadPart = step.move;
        ULARGE_INTEGER pos{};
        ASSERT_EQ(s->Seek(move, step.origin, &pos), S_OK);
        EXPECT_EQ(pos.QuadPart, step.at);
        BYTE got[32] = {};
        ASSERT_EQ(s->Read(got, step.want, &done), S_OK);
        EXPECT_EQ(done, step.got);
        for (ULONG k = 0; k < done; ++k) EXPECT_EQ(got[k], bytes[step.at + k]);
    }
    // Bad seeks fail without moving.
    LARGE_INTEGER move;
    move.QuadPart = -1;
    EXPECT_EQ(s->Seek(move, STREAM_SEEK_SET, nullptr), STG_E_INVALIDFUNCTION);
    move.QuadPart = 0;
    EXPECT_EQ(s->Seek(move, 3, nullptr), STG_E_INVALIDFUNCTION);
    EXPECT_EQ(Position(s), 150u);
    EXPECT_EQ(s->Read(nullptr, 4, &done), STG_E_INVALIDPOINTER);
    EXPECT_EQ(s->Release(), 0u);
}

TEST(OleStream, WriteBeyondEndSetSizeAndClone) {
    IStream* s = NewStream();
    LARGE_INTEGER move;
    move.QuadPart = 8;
    s->Seek(move, STREAM_SEEK_SET, nullptr);
    ASSERT_EQ(s->Write("xyz", 3, nullptr), S_OK);  // the gap reads as zeros
    BYTE all[11];
    move.QuadPart = 0;
    s->Seek(move, STREAM_SEEK_SET, nullptr);
    ULONG done = 0;
    s->Read(all, 11, &done);
    ASSERT_EQ(done, 11u);
    EXPECT_EQ(std::memcmp(all, "\0\0\0\0\0\0\0\0xyz", 11), 0);

    ULARGE_INTEGER size;
    size.QuadPart = 4;
    ASSERT_EQ(s->SetSize(size), S_OK);
    EXPECT_EQ(Position(s), 11u);  // unchanged by SetSize
    size.QuadPart = 6;
    ASSERT_EQ(s->SetSize(size), S_OK);  // regrown bytes are zero, not the old "\0\0"
    STATSTG st;
    s->Stat(&st, STATFLAG_NONAME);
    EXPECT_EQ(st.cbSize.QuadPart, 6u);
    size.QuadPart = 0x100000000ull;
    EXPECT_EQ(s->SetSize(size), STG_E_INVALIDFUNCTION);

    // A clone shares the bytes, not the position.
    IStream* clone = nullptr;
    ASSERT_EQ(s->Clone(&clone), S_OK);
    EXPECT_EQ(Position(clone), 11u);
    move.QuadPart = 0;
    clone->Seek(move, STREAM_SEEK_SET, nullptr);
    clone->Write("AB", 2, nullptr);
    s->Seek(move, STREAM_SEEK_SET, nullptr);
    BYTE head[6];
    s->Read(head, 6, &done);
    EXPECT_EQ(done, 6u);
    EXPECT_EQ(std::memcmp(head, "AB\0\0\0\0", 6), 0);

    HGLOBAL global = nullptr;
    ASSERT_EQ(GetHGlobalFromStream(clone, &global), S_OK);
    HGLOBAL same = nullptr;
    GetHGlobalFromStream(s, &same);
    EXPECT_EQ(global, same);
    EXPECT_GE(GlobalSize(global), 6u);

    EXPECT_EQ(s->LockRegion(ULARGE_INTEGER{}, size, 1), STG_E_INVALIDFUNCTION);
    EXPECT_EQ(s->Commit(0), S_OK);
    EXPECT_EQ(s->Revert(), S_OK);
    void* other = nullptr;
    EXPECT_EQ(s->QueryInterface(IID_IErrorInfo, &other), E_NOINTERFACE);
    ASSERT_EQ(s->QueryInterface(IID_ISequentialStream, &other), S_OK);
    static_cast<IUnknown*>(other)->Release();
    EXPECT_EQ(s->Release(), 0u);
    EXPECT_GE(GlobalSize(global), 6u);  // the clone keeps the block alive
    EXPECT_EQ(clone->Release(), 0u);
    EXPECT_EQ(GlobalLock(global), nullptr);  // freed with the last stream
}

TEST(OleStream, CopyToAndExistingBlocks) {
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, 5000);
    auto* p = static_cast<BYTE*>(GlobalLock(mem));
    for (int i = 0; i < 5000; ++i) p[i] = static_cast<BYTE>(i % 251);
    GlobalUnlock(mem);
    IStream* source = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(mem, FALSE, &source), S_OK);
    IStream* target = NewStream();
    LARGE_INTEGER move;
    move.QuadPart = 1000;
    source->Seek(move, STREAM_SEEK_SET, nullptr);
    ULARGE_INTEGER want, read, written;
    want.QuadPart = 1u << 20;  // more than there is
    ASSERT_EQ(source->CopyTo(target, want, &read, &written), S_OK);
    EXPECT_EQ(read.QuadPart, 4000u);
    EXPECT_EQ(written.QuadPart, 4000u);
    std::vector<BYTE> got(4000);
    move.QuadPart = 0;
    target->Seek(move, STREAM_SEEK_SET, nullptr);
    ULONG done = 0;
    target->Read(got.data(), 4000, &done);
    ASSERT_EQ(done, 4000u);
    for (int i = 0; i < 4000; ++i) ASSERT_EQ(got[i], static_cast<BYTE>((i + 1000) % 251)) << i;
    EXPECT_EQ(source->CopyTo(nullptr, want, nullptr, nullptr), STG_E_INVALIDPOINTER);
    EXPECT_EQ(source->Release(), 0u);
    EXPECT_EQ(target->Release(), 0u);
    EXPECT_EQ(GlobalSize(mem), 5000u);  // not ours to free
    EXPECT_EQ(GlobalFree(mem), nullptr);

    IStream* s = nullptr;
    EXPECT_EQ(CreateStreamOnHGlobal(reinterpret_cast<HGLOBAL>(&done), TRUE, &s), E_INVALIDARG);
    EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, nullptr), E_INVALIDARG);
    EXPECT_EQ(GetHGlobalFromStream(nullptr, &mem), E_INVALIDARG);
}

// ------------------------------------------------------------------------------- error info
constexpr GUID kSomeInterface = {0x12345678, 0x9abc, 0xdef0, {1, 2, 3, 4, 5, 6, 7, 8}};

TEST(OleErrorInfo, FieldsAndHandOver) {
    ICreateErrorInfo* create = nullptr;
    ASSERT_EQ(CreateErrorInfo(&create), S_OK);
    EXPECT_EQ(create->SetGUID(kSomeInterface), S_OK);
    EXPECT_EQ(create->SetDescription(const_cast<LPOLESTR>(OLESTR("Invalid argument."))), S_OK);
    EXPECT_EQ(create->SetSource(nullptr), S_OK);
    EXPECT_EQ(create->SetHelpFile(const_cast<LPOLESTR>(OLESTR("help.chm"))), S_OK);
    EXPECT_EQ(create->SetHelpContext(42), S_OK);
    IErrorInfo* info = nullptr;
    ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
    EXPECT_EQ(create->Release(), 1u);
    EXPECT_EQ(SetErrorInfo(0, info), S_OK);
    EXPECT_EQ(info->Release(), 1u);  // the thread's slot holds the last reference

    IErrorInfo* got = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &got), S_OK);
    EXPECT_EQ(got, info);
    GUID guid{};
    EXPECT_EQ(got->GetGUID(&guid), S_OK);
    EXPECT_EQ(guid, kSomeInterface);
    BSTR text = nullptr;
    EXPECT_EQ(got->GetDescription(&text), S_OK);
    EXPECT_EQ(Text(text), OLESTR("Invalid argument."));
    BSTR second = nullptr;
    got->GetDescription(&second);
    EXPECT_NE(second, text);  // every call hands out a fresh copy
    SysFreeString(second);
    SysFreeString(text);
    EXPECT_EQ(got->GetSource(&text), S_OK);
    EXPECT_EQ(SysStringLen(text), 0u);
    SysFreeString(text);
    DWORD context = 0;
    EXPECT_EQ(got->GetHelpContext(&context), S_OK);
    EXPECT_EQ(context, 42u);
    EXPECT_EQ(got->GetHelpFile(nullptr), E_INVALIDARG);

    // The slot was cleared by the hand-over.
    IErrorInfo* none = reinterpret_cast<IErrorInfo*>(&context);
    EXPECT_EQ(GetErrorInfo(0, &none), S_FALSE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(got->Release(), 0u);  // ownership moved to us: this was the last reference

    EXPECT_EQ(GetErrorInfo(1, &none), E_INVALIDARG);
    EXPECT_EQ(SetErrorInfo(1, nullptr), E_INVALIDARG);
    EXPECT_EQ(GetErrorInfo(0, nullptr), E_INVALIDARG);
    EXPECT_EQ(CreateErrorInfo(nullptr), E_INVALIDARG);
}

TEST(OleErrorInfo, SlotIsPerThreadAndReleasesWhatItDrops) {
    std::atomic<int> destroyed{0};
    CountedUnknown first(&destroyed), second(&destroyed);
    ASSERT_EQ(SetErrorInfo(0, &first), S_OK);
    EXPECT_EQ(first.refs.load(), 2u);

    HRESULT otherThread = E_FAIL;
    std::thread([&] {
        IErrorInfo* seen = nullptr;
        otherThread = GetErrorInfo(0, &seen);
        SetErrorInfo(0, &second);  // dropped when this thread ends
    }).join();
    EXPECT_EQ(otherThread, S_FALSE);
    EXPECT_EQ(second.refs.load(), 1u);

    ASSERT_EQ(SetErrorInfo(0, &second), S_OK);  // replaces and releases the first
    EXPECT_EQ(first.refs.load(), 1u);
    ASSERT_EQ(SetErrorInfo(0, nullptr), S_OK);
    EXPECT_EQ(second.refs.load(), 1u);
    IErrorInfo* none = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &none), S_FALSE);
    EXPECT_EQ(destroyed.load(), 0);
}

}  // namespace
