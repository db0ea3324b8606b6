// The parameter object: typed getters over every stored type, failing getters keep their target,
// index fall-back, lists, raw array streams and the deep Duplicate; and the zone list.
#include "host/host.h"
#include "platform/com_ptr.h"
#include "tests/support/live_objects.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace corvane::host {
namespace {

using corvane::Bstr;
using corvane::ComPtr;

ComPtr<IEffectParams> NewParams() {
    ComPtr<IEffectParams> p;
    EXPECT_EQ(S_OK, CreateEffectParams(ParamStore(), &p));
    return p;
}

// One of each type under its own key.
ComPtr<IEffectParams> ParamsOfEveryType() {
    ComPtr<IEffectParams> p = NewParams();
    const float floats[] = {1.5f, -2.25f};
    EXPECT_EQ(S_OK, p->SetBool(Bstr(OLESTR("b")), -1, VARIANT_TRUE));
    EXPECT_EQ(S_OK, p->SetLong(Bstr(OLESTR("l")), -1, -7));
    EXPECT_EQ(S_OK, p->SetULong(Bstr(OLESTR("u")), -1, 3000000000u));
    EXPECT_EQ(S_OK, p->SetULong(Bstr(OLESTR("us")), -1, 5));
    EXPECT_EQ(S_OK, p->SetDouble(Bstr(OLESTR("d")), -1, 2.5));
    EXPECT_EQ(S_OK, p->SetString(Bstr(OLESTR("s")), -1, Bstr(OLESTR("h\u00e9"))));
    EXPECT_EQ(S_OK, p->SetStream(Bstr(OLESTR("f")), -1, reinterpret_cast<const BYTE*>(floats),
                                 sizeof(floats)));
    ComPtr<IEffectParams> entry = NewParams();
    EXPECT_EQ(S_OK, p->AddZone(Bstr(OLESTR("z")), entry.Get()));
    return p;
}

// What each getter answers for each stored key: the value as text, or the failure.
struct GetterCase {
    const OLECHAR* key;
    HRESULT bool_, long_, ulong_, double_, string_;
    VARIANT_BOOL b;
    LONG l;
    ULONG u;
    double d;
};

constexpr HRESULT kNo = kParamTypeMismatch;

TEST(EffectParams, GettersConvertOnlyWhatFitsAndOtherwiseKeepTheTarget) {
    const GetterCase cases[] = {
        {OLESTR("b"), S_OK, kNo, kNo, kNo, kNo, VARIANT_TRUE, 0, 0, 0},
        {OLESTR("l"), kNo, S_OK, kNo, S_OK, kNo, 0, -7, 0, -7.0},
        {OLESTR("u"), kNo, kNo, S_OK, S_OK, kNo, 0, 0, 3000000000u, 3e9},
        {OLESTR("us"), kNo, S_OK, S_OK, S_OK, kNo, 0, 5, 5, 5.0},
        {OLESTR("d"), kNo, kNo, kNo, S_OK, kNo, 0, 0, 0, 2.5},
        {OLESTR("s"), kNo, kNo, kNo, kNo, S_OK, 0, 0, 0, 0},
        {OLESTR("f"), kNo, kNo, kNo, kNo, kNo, 0, 0, 0, 0},
        {OLESTR("z"), kNo, kNo, kNo, kNo, kNo, 0, 0, 0, 0},
        {OLESTR("missing"), kParamNotFound, kParamNotFound, kParamNotFound, kParamNotFound,
         kParamNotFound, 0, 0, 0, 0},
    };
    ComPtr<IEffectParams> p = ParamsOfEveryType();
    for (const GetterCase& c : cases) {
        SCOPED_TRACE(corvane::OleToUtf8(c.key));
        Bstr key(c.key);
        VARIANT_BOOL b = 77;
        LONG l = 12345;
        ULONG u = 54321;
        double d = -99.5;
        BSTR s = reinterpret_cast<BSTR>(0x10);
        EXPECT_EQ(c.bool_, p->GetBool(key, -1, &b));
        EXPECT_EQ(c.long_, p->GetLong(key, -1, &l));
        EXPECT_EQ(c.ulong_, p->GetULong(key, -1, &u));
        EXPECT_EQ(c.double_, p->GetDouble(key, -1, &d));
        EXPECT_EQ(c.string_, p->GetString(key, -1, &s));
        EXPECT_EQ(c.bool_ == S_OK ? c.b : 77, b);
        EXPECT_EQ(c.long_ == S_OK ? c.l : 12345, l);
        EXPECT_EQ(c.ulong_ == S_OK ? c.u : 54321u, u);
        EXPECT_EQ(c.double_ == S_OK ? c.d : -99.5, d);
        if (c.string_ == S_OK) {
            EXPECT_EQ(OleString(OLESTR("h\u00e9")), OleString(s, SysStringLen(s)));
            SysFreeString(s);
        } else {
            EXPECT_EQ(reinterpret_cast<BSTR>(0x10), s);
        }
        // The ...Def getters: the default for a missing key only; a mismatch still fails.
        LONG ld = 12345;
        double dd = -99.5;
        HRESULT longDef = c.long_ == kParamNotFound ? S_OK : c.long_;
        HRESULT doubleDef = c.double_ == kParamNotFound ? S_OK : c.double_;
        EXPECT_EQ(longDef, p->GetLongDef(key, -1, 42, &ld));
        EXPECT_EQ(doubleDef, p->GetDoubleDef(key, -1, 4.5, &dd));
        EXPECT_EQ(c.long_ == S_OK ? c.l : c.long_ == kParamNotFound ? 42 : 12345, ld);
        EXPECT_EQ(c.double_ == S_OK ? c.d : c.double_ == kParamNotFound ? 4.5 : -99.5, dd);
    }
}

TEST(EffectParams, BadNamesAndIndicesFailAndKeepTheTarget) {
    ComPtr<IEffectParams> p = ParamsOfEveryType();
    LONG l = 3;
    EXPECT_EQ(E_INVALIDARG, p->GetLong(Bstr(OLESTR("l")), -2, &l));
    EXPECT_EQ(E_INVALIDARG, p->GetLong(nullptr, -1, &l));
    EXPECT_EQ(E_INVALIDARG, p->GetLong(Bstr(OLESTR("")), -1, &l));
    EXPECT_EQ(E_POINTER, p->GetLong(Bstr(OLESTR("l")), -1, nullptr));
    EXPECT_EQ(3, l);
    EXPECT_EQ(E_INVALIDARG, p->SetLong(Bstr(OLESTR("x")), -5, 1));
    EXPECT_EQ(E_POINTER, p->SetStream(Bstr(OLESTR("x")), -1, nullptr, 4));
}

// A per-index value wins at its index; elsewhere the global value (-1) answers.
TEST(EffectParams, IndexFallsBackToTheGlobalValue) {
    ComPtr<IEffectParams> p = NewParams();
    ASSERT_EQ(S_OK, p->SetDouble(Bstr(OLESTR("Gain")), -1, 1.0));
    ASSERT_EQ(S_OK, p->SetDouble(Bstr(OLESTR("Gain")), 1, 2.0));
    ASSERT_EQ(S_OK, p->SetLong(Bstr(OLESTR("OnlyAtTwo")), 2, 9));
    const struct {
        const OLECHAR* key;
        LONG index;
        HRESULT hr;
        double value;
    } cases[] = {
        {OLESTR("Gain"), -1, S_OK, 1.0},
        {OLESTR("Gain"), 0, S_OK, 1.0},
        {OLESTR("Gain"), 1, S_OK, 2.0},
        {OLESTR("Gain"), 7, S_OK, 1.0},
        {OLESTR("OnlyAtTwo"), 2, S_OK, 9.0},
        {OLESTR("OnlyAtTwo"), 0, kParamNotFound, -1.0},
        {OLESTR("OnlyAtTwo"), 1, kParamNotFound, -1.0},
        {OLESTR("OnlyAtTwo"), -1, kParamNotFound, -1.0},
        {OLESTR("Missing"), -1, kParamNotFound, -1.0},
    };
    for (const auto& c : cases) {
        double d = -1.0;
        EXPECT_EQ(c.hr, p->GetDouble(Bstr(c.key), c.index, &d)) << c.index;
        EXPECT_EQ(c.value, d) << c.index;
        // Exists answers exactly where a getter finds a value; it starts from the other answer.
        const bool found = c.hr == S_OK;
        VARIANT_BOOL exists = found ? VARIANT_FALSE : VARIANT_TRUE;
        EXPECT_EQ(S_OK, p->Exists(Bstr(c.key), c.index, &exists)) << c.index;
        EXPECT_EQ(found ? VARIANT_TRUE : VARIANT_FALSE, exists) << c.index;
    }
}

TEST(EffectParams, GetStringGivesAFreshStringEachTime) {
    ComPtr<IEffectParams> p = ParamsOfEveryType();
    Bstr a, b;
    ASSERT_EQ(S_OK, p->GetString(Bstr(OLESTR("s")), -1, &a));
    ASSERT_EQ(S_OK, p->GetString(Bstr(OLESTR("s")), -1, &b));
    EXPECT_NE(a.Get(), b.Get());
    EXPECT_EQ(a.Str(), b.Str());
}

std::vector<BYTE> ReadAll(IStream* s) {
    STATSTG st{};
    EXPECT_EQ(S_OK, s->Stat(&st, STATFLAG_NONAME));
    std::vector<BYTE> bytes(static_cast<size_t>(st.cbSize.QuadPart));
    ULONG got = 0;
    if (!bytes.empty()) {
        EXPECT_EQ(S_OK, s->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &got));
    }
    EXPECT_EQ(bytes.size(), got);
    return bytes;
}

// Arrays come back as their raw bytes in a new stream positioned at 0.
TEST(EffectParams, GetStreamDeliversTheRawBytesOfFloatAndDoubleArrays) {
    const float floats[] = {1.5f, -2.25f, 3.0e-5f};
    const double doubles[] = {0.1, -1e300, 5.0, 7.25};
    ParamStore store;
    store.Set(OLESTR("dbGainArray"), -1, FloatArray(floats, 3));
    store.Set(OLESTR("Widths"), -1, DoubleArray(doubles, 4));
    store.Set(OLESTR("Empty"), -1, ParamBytes());
    ComPtr<IEffectParams> p;
    ASSERT_EQ(S_OK, CreateEffectParams(store, &p));

    ComPtr<IStream> s1, s2;
    ASSERT_EQ(S_OK, p->GetStream(Bstr(OLESTR("dbGainArray")), -1, 1, &s1));
    ASSERT_EQ(S_OK, p->GetStream(Bstr(OLESTR("dbGainArray")), -1, 1, &s2));
    std::vector<BYTE> b1 = ReadAll(s1.Get());
    ASSERT_EQ(sizeof(floats), b1.size());
    EXPECT_EQ(0, std::memcmp(floats, b1.data(), sizeof(floats)));
    // Reading the first stream moved only that one.
    EXPECT_EQ(b1, ReadAll(s2.Get()));

    ComPtr<IStream> s3;
    ASSERT_EQ(S_OK, p->GetStream(Bstr(OLESTR("Widths")), -1, 1, &s3));
    std::vector<BYTE> b3 = ReadAll(s3.Get());
    ASSERT_EQ(sizeof(doubles), b3.size());
    EXPECT_EQ(0, std::memcmp(doubles, b3.data(), sizeof(doubles)));

    ComPtr<IStream> s4;
    ASSERT_EQ(S_OK, p->GetStream(Bstr(OLESTR("Empty")), -1, 1, &s4));
    EXPECT_TRUE(ReadAll(s4.Get()).empty());

    ComPtr<IStream> none;
    EXPECT_EQ(kParamTypeMismatch, ParamsOfEveryType()->GetStream(Bstr(OLESTR("d")), -1, 1, &none));
    EXPECT_FALSE(none);
    EXPECT_EQ(E_INVALIDARG, p->GetStream(Bstr(OLESTR("Widths")), -1, 0, &none));
    EXPECT_EQ(kParamNotFound, p->GetStream(Bstr(OLESTR("Nope")), -1, 1, &none));
}

ComPtr<IEffectParams> StrengthEntry(double start, double duration, double left) {
    ComPtr<IEffectParams> e = NewParams();
    e->SetDouble(Bstr(OLESTR("EffectStart")), -1, start);
    e->SetDouble(Bstr(OLESTR("EffectDuration")), -1, duration);
    e->SetDouble(Bstr(OLESTR("LeftStrength")), -1, left);
    return e;
}

TEST(EffectParams, ListsHoldEntriesThatAreParameterSets) {
    ComPtr<IEffectParams> p = NewParams();
    ASSERT_EQ(S_OK, p->SetBool(Bstr(OLESTR("UseStrengthPerCh")), -1, VARIANT_TRUE));
    ASSERT_EQ(S_OK, p->AddZone(Bstr(OLESTR("StrengthZone")), StrengthEntry(0, 500, 0.25).Get()));
    ASSERT_EQ(S_OK, p->AddZone(Bstr(OLESTR("StrengthZone")), StrengthEntry(500, 250, 0.75).Get()));
    LONG count = 0;
    ASSERT_EQ(S_OK, p->GetCount(Bstr(OLESTR("StrengthZone")), &count));
    EXPECT_EQ(2, count);
    for (LONG i = 0; i < 2; ++i) {
        ComPtr<IEffectParams> e;
        ASSERT_EQ(S_OK, p->GetZone(Bstr(OLESTR("StrengthZone")), i, 1, &e));
        double start = -1, duration = -1, left = -1;
        EXPECT_EQ(S_OK, e->GetDouble(Bstr(OLESTR("EffectStart")), -1, &start));
        EXPECT_EQ(S_OK, e->GetDouble(Bstr(OLESTR("EffectDuration")), -1, &duration));
        EXPECT_EQ(S_OK, e->GetDouble(Bstr(OLESTR("LeftStrength")), -1, &left));
        EXPECT_EQ(i == 0 ? 0.0 : 500.0, start);
        EXPECT_EQ(i == 0 ? 500.0 : 250.0, duration);
        EXPECT_EQ(i == 0 ? 0.25 : 0.75, left);
    }
    ComPtr<IEffectParams> e;
    EXPECT_EQ(kParamBadIndex, p->GetZone(Bstr(OLESTR("StrengthZone")), 2, 1, &e));
    EXPECT_EQ(kParamBadIndex, p->GetZone(Bstr(OLESTR("StrengthZone")), -1, 1, &e));
    EXPECT_EQ(E_INVALIDARG, p->GetZone(Bstr(OLESTR("StrengthZone")), 0, 2, &e));
    EXPECT_EQ(kParamTypeMismatch, p->GetZone(Bstr(OLESTR("UseStrengthPerCh")), 0, 1, &e));
    EXPECT_FALSE(e);
    LONG kept = 17;
    EXPECT_EQ(kParamNotFound, p->GetCount(Bstr(OLESTR("Nothing")), &kept));
    EXPECT_EQ(kParamTypeMismatch, p->GetCount(Bstr(OLESTR("UseStrengthPerCh")), &kept));
    EXPECT_EQ(17, kept);
    // An entry added to itself is a copy of what it held before.
    ASSERT_EQ(S_OK, p->AddZone(Bstr(OLESTR("StrengthZone")), p.Get()));
    ASSERT_EQ(S_OK, p->GetCount(Bstr(OLESTR("StrengthZone")), &count));
    EXPECT_EQ(3, count);
}

// After Duplicate, no change of the original (values, arrays, list entries) reaches the copy, and
// no change of the copy reaches the original.
TEST(EffectParams, DuplicateIsDeep) {
    ComPtr<IEffectParams> original = ParamsOfEveryType();
    ASSERT_EQ(S_OK,
              original->AddZone(Bstr(OLESTR("StrengthZone")), StrengthEntry(10, 20, 0.5).Get()));
    ParamStore before;
    ASSERT_EQ(S_OK, GetParamStore(original.Get(), &before));

    ComPtr<IEffectParams> copy;
    ASSERT_EQ(S_OK, original->Duplicate(2, &copy));
    ASSERT_NE(copy.Get(), original.Get());

    const double newFloats[] = {9.0};
    original->SetDouble(Bstr(OLESTR("d")), -1, 100.0);
    original->SetLong(Bstr(OLESTR("l")), 3, 1);
    original->SetStream(Bstr(OLESTR("f")), -1, reinterpret_cast<const BYTE*>(newFloats),
                        sizeof(newFloats));
    original->Remove(Bstr(OLESTR("s")));
    original->AddZone(Bstr(OLESTR("StrengthZone")), StrengthEntry(1, 2, 3).Get());
    // Change a value inside an existing list entry of the original.
    ParamStore changed;
    ASSERT_EQ(S_OK, GetParamStore(original.Get(), &changed));
    changed.Entry(OLESTR("StrengthZone"), 0)->Set(OLESTR("LeftStrength"), -1, 0.0);
    dynamic_cast<CEffectParams*>(original.Get())->Replace(changed);

    ParamStore after;
    ASSERT_EQ(S_OK, GetParamStore(copy.Get(), &after));
    EXPECT_TRUE(after == before) << "the copy saw a change of the original";

    copy->SetDouble(Bstr(OLESTR("OnlyInCopy")), -1, 1.0);
    VARIANT_BOOL exists = VARIANT_TRUE;
    original->Exists(Bstr(OLESTR("OnlyInCopy")), -1, &exists);
    EXPECT_EQ(VARIANT_FALSE, exists);
    EXPECT_EQ(E_INVALIDARG, original->Duplicate(1, &copy));
    EXPECT_FALSE(copy);
}

TEST(EffectParams, KeysCanBeListedAndRemoved) {
    ComPtr<IEffectParams> p = ParamsOfEveryType();
    p->SetLong(Bstr(OLESTR("l")), 4, 2);  // a second index of a key is not a second key
    LONG n = 0;
    ASSERT_EQ(S_OK, p->GetNameCount(&n));
    ASSERT_EQ(8, n);
    std::vector<OleString> names;
    for (LONG i = 0; i < n; ++i) {
        Bstr name;
        ASSERT_EQ(S_OK, p->GetName(i, &name));
        names.push_back(name.Str());
    }
    EXPECT_EQ((std::vector<OleString>{OLESTR("b"), OLESTR("d"), OLESTR("f"), OLESTR("l"),
                                      OLESTR("s"), OLESTR("u"), OLESTR("us"), OLESTR("z")}),
              names);
    Bstr none;
    EXPECT_EQ(kParamBadIndex, p->GetName(8, &none));
    EXPECT_EQ(S_OK, p->Remove(Bstr(OLESTR("l"))));
    EXPECT_EQ(S_FALSE, p->Remove(Bstr(OLESTR("l"))));
    LONG l = 0;
    EXPECT_EQ(kParamNotFound, p->GetLong(Bstr(OLESTR("l")), 4, &l));
    ASSERT_EQ(S_OK, p->Clear());
    p->GetNameCount(&n);
    EXPECT_EQ(0, n);
}

// ---- IEffectZones ----

TEST(EffectZones, IdsDifferFromPositionsAndNameTheirZones) {
    ComPtr<IEffectZones> z;
    ASSERT_EQ(S_OK, CreateEffectZones(&z));
    ComPtr<IEffectParams> params = NewParams();
    params->SetDouble(Bstr(OLESTR("dBStartLevel")), -1, -6.0);
    LONG ids[4];
    ASSERT_EQ(S_OK, z->AddZone(0.0, 100.0, VARIANT_TRUE, nullptr, &ids[0]));
    ASSERT_EQ(S_OK, z->AddZone(200.0, 50.0, VARIANT_FALSE, params.Get(), &ids[1]));
    ASSERT_EQ(S_OK, z->AddZone(300.0, 10.0, VARIANT_TRUE, nullptr, &ids[2]));
    ASSERT_EQ(S_OK, z->RemoveZone(ids[0]));
    ASSERT_EQ(S_OK, z->AddZone(400.0, 1.0, VARIANT_TRUE, nullptr, &ids[3]));

    LONG count = 0;
    ASSERT_EQ(S_OK, z->GetCount(&count));
    ASSERT_EQ(3, count);
    const double starts[] = {200.0, 300.0, 400.0};
    for (LONG i = 0; i < count; ++i) {
        LONG id = -1;
        ASSERT_EQ(S_OK, z->GetZoneId(i, &id));
        EXPECT_NE(i, id);
        EXPECT_EQ(ids[i + 1], id);
        double start = -1, duration = -1;
        ASSERT_EQ(S_OK, z->GetZoneTime(id, &start, &duration));
        EXPECT_EQ(starts[i], start);
        // Asking by position instead of id does not find the zone.
        EXPECT_EQ(E_INVALIDARG, z->GetZoneTime(i, &start, &duration));
    }
    VARIANT_BOOL enabled = VARIANT_TRUE;
    ASSERT_EQ(S_OK, z->GetZoneEnabled(ids[1], &enabled));
    EXPECT_EQ(VARIANT_FALSE, enabled);
    ComPtr<IUnknown> zp;
    ASSERT_EQ(S_OK, z->GetZoneParams(ids[1], &zp));
    double level = 0;
    ASSERT_EQ(S_OK, zp.As<IEffectParams>()->GetDouble(Bstr(OLESTR("dBStartLevel")), -1, &level));
    EXPECT_EQ(-6.0, level);

    LONG kept = 55;
    EXPECT_EQ(DISP_E_BADINDEX, z->GetZoneId(3, &kept));
    EXPECT_EQ(55, kept);
    EXPECT_EQ(E_INVALIDARG, z->RemoveZone(ids[0]));
    EXPECT_EQ(E_INVALIDARG, z->AddZone(-1.0, 5.0, VARIANT_TRUE, nullptr, nullptr));
    EXPECT_EQ(E_INVALIDARG, z->PutZoneTime(ids[1], 0.0, std::nan("")));
    ASSERT_EQ(S_OK, z->put_Enabled(VARIANT_FALSE));
    z->get_Enabled(&enabled);
    EXPECT_EQ(VARIANT_FALSE, enabled);
}

}  // namespace
}  // namespace corvane::host
