// The host's parameter object: typed values by key and index over a ParamStore.
#pragma once

#include "platform/win32.h"
#include "corvane/corvane.h"
#include "host/com_object.h"
#include "host/param_store.h"

#include <map>
#include <memory>
#include <mutex>
#include <utility>

namespace corvane::host {

// Failures of the parameter object. A key without a value: HRESULT_FROM_WIN32(ERROR_NOT_FOUND).
// A value of another type: DISP_E_TYPEMISMATCH. A list entry or key position out of range:
// DISP_E_BADINDEX. An empty name or an index below -1: E_INVALIDARG. A failing getter of a value
// leaves its target unchanged; interface out-parameters are NULL after a failure, as COM wants.
constexpr HRESULT kParamNotFound = _HR(0x80070490);
constexpr HRESULT kParamTypeMismatch = DISP_E_TYPEMISMATCH;
constexpr HRESULT kParamBadIndex = DISP_E_BADINDEX;

// What an effect asked of a parameter object and of its copies (Duplicate) and list entries
// (GetZone): per stored value, by its key path and index, whether a getter read it, and the first
// type asked for that the value could not give. A host compares it with what it set, to tell the
// user of keys that no effect reads. Thread-safe.
class ParamReads {
public:
    // What a getter asks for: Exists asks only whether the value is there; GetLong and GetULong
    // ask for an integer, GetDouble for a number, GetStream for an array, GetCount and GetZone
    // for a list.
    enum class Asked { Presence, Bool, Integer, Number, Text, Array, List };
    struct Use {
        bool read = false;        // a getter answered with this value
        bool mismatched = false;  // a getter asked for a type that the value cannot give ...
        Asked mismatchedAs = Asked::Presence;  // ... the first such type
    };

    // path is the key, or LIST[i].KEY for a key of entry i of a list; index is the stored index.
    void Note(const OleString& path, LONG index, Asked asked, bool typeMismatch);
    // The use of the value stored at (path, index); a default Use when nothing asked for it.
    Use Find(OleStringView path, LONG index) const;

private:
    mutable std::mutex lock_;
    std::map<std::pair<OleString, LONG>, Use, std::less<>> uses_;
};

class CEffectParams : public ComObject<IEffectParams> {
public:
    explicit CEffectParams(ParamStore store = ParamStore())
        : store_(std::move(store)), reads_(std::make_shared<ParamReads>()) {}

    // What was asked of this object, of its copies and of its entries (shared with them).
    std::shared_ptr<const ParamReads> Reads() const { return reads_; }

    // A copy of the values, taken under the object's lock.
    ParamStore Snapshot() const;
    // Replaces the values.
    void Replace(ParamStore store);

    STDMETHODIMP Clear() override;
    STDMETHODIMP Remove(BSTR Name) override;
    STDMETHODIMP Exists(BSTR Name, LONG Index, VARIANT_BOOL* pExists) override;
    STDMETHODIMP GetNameCount(LONG* pCount) override;
    STDMETHODIMP GetName(LONG Position, BSTR* pName) override;
    STDMETHODIMP Duplicate(LONG Mode, IEffectParams** ppCopy) override;
    STDMETHODIMP GetCount(BSTR Name, LONG* pCount) override;
    STDMETHODIMP AddZone(BSTR Name, IEffectParams* pEntry) override;
    STDMETHODIMP SetBool(BSTR Name, LONG Index, VARIANT_BOOL Value) override;
    STDMETHODIMP SetLong(BSTR Name, LONG Index, LONG Value) override;
    STDMETHODIMP SetULong(BSTR Name, LONG Index, ULONG Value) override;
    STDMETHODIMP SetDouble(BSTR Name, LONG Index, double Value) override;
    STDMETHODIMP GetBool(BSTR Name, LONG Index, VARIANT_BOOL* pVal) override;
    STDMETHODIMP SetString(BSTR Name, LONG Index, BSTR Value) override;
    STDMETHODIMP SetStream(BSTR Name, LONG Index, const BYTE* pData, ULONG Bytes) override;
    STDMETHODIMP GetLongDef(BSTR Name, LONG Index, LONG Default, LONG* pVal) override;
    STDMETHODIMP GetLong(BSTR Name, LONG Index, LONG* pVal) override;
    STDMETHODIMP GetULong(BSTR Name, LONG Index, ULONG* pVal) override;
    STDMETHODIMP GetDoubleDef(BSTR Name, LONG Index, double Default, double* pVal) override;
    STDMETHODIMP GetDouble(BSTR Name, LONG Index, double* pVal) override;
    STDMETHODIMP GetString(BSTR Name, LONG Index, BSTR* pVal) override;
    STDMETHODIMP GetZone(BSTR Name, LONG Index, LONG Mode, IEffectParams** ppEntry) override;
    STDMETHODIMP GetStream(BSTR Name, LONG Index, LONG Mode, IStream** ppStream) override;

// Slots of the interface this host does not implement.
#define CORVANE_RESERVED(n)               \
    STDMETHODIMP Reserved##n() override { \
        return E_NOTIMPL;                 \
    }
    // clang-format off
    CORVANE_RESERVED(8);
    CORVANE_RESERVED(9);
    CORVANE_RESERVED(10);
    CORVANE_RESERVED(11);
    CORVANE_RESERVED(12);
    CORVANE_RESERVED(13);
    CORVANE_RESERVED(15);
    CORVANE_RESERVED(16);
    CORVANE_RESERVED(17);
    CORVANE_RESERVED(18);
    CORVANE_RESERVED(21);
    CORVANE_RESERVED(22);
    CORVANE_RESERVED(23);
    CORVANE_RESERVED(24);
    CORVANE_RESERVED(25);
    CORVANE_RESERVED(26);
    CORVANE_RESERVED(27);
    CORVANE_RESERVED(28);
    CORVANE_RESERVED(29);
    CORVANE_RESERVED(37);
    CORVANE_RESERVED(38);
    CORVANE_RESERVED(39);
    CORVANE_RESERVED(40);
    CORVANE_RESERVED(41);
    CORVANE_RESERVED(42);
    CORVANE_RESERVED(43);
    CORVANE_RESERVED(44);
    CORVANE_RESERVED(45);
    CORVANE_RESERVED(46);
    CORVANE_RESERVED(47);
    CORVANE_RESERVED(50);
    CORVANE_RESERVED(51);
    CORVANE_RESERVED(52);
    CORVANE_RESERVED(53);
    CORVANE_RESERVED(54);
    CORVANE_RESERVED(55);
    CORVANE_RESERVED(56);
    CORVANE_RESERVED(57);
    CORVANE_RESERVED(59);
    CORVANE_RESERVED(62);
    CORVANE_RESERVED(63);
    CORVANE_RESERVED(65);
    CORVANE_RESERVED(66);
    CORVANE_RESERVED(67);
    CORVANE_RESERVED(68);
    CORVANE_RESERVED(69);
    CORVANE_RESERVED(70);
    CORVANE_RESERVED(71);
    CORVANE_RESERVED(72);
    CORVANE_RESERVED(74);
    CORVANE_RESERVED(75);
    // clang-format on
#undef CORVANE_RESERVED

protected:
    // A new parameter object of this object's class holding store (Duplicate and GetZone hand it
    // out; test doubles override it so that copies are recorded too). One reference.
    virtual CEffectParams* NewParams(ParamStore store);

private:
    // Looks (Name, Index) up under the lock and hands the value to f, which answers the HRESULT;
    // notes the read as `asked`.
    template <class F>
    HRESULT WithValue(BSTR Name, LONG Index, ParamReads::Asked asked, F&& f) const;
    // A numeric getter: the value through convert, which fails on a type it does not take.
    template <class T>
    HRESULT GetConverted(BSTR Name, LONG Index, ParamReads::Asked asked, T* pVal,
                         bool (*convert)(const ParamValue&, T*)) const;
    HRESULT Store(BSTR Name, LONG Index, ParamValue v);
    // A new object of NewParams that notes its reads in this object's log, under prefix.
    CEffectParams* NewSharing(ParamStore store, OleString prefix);

    mutable std::mutex lock_;
    ParamStore store_;
    std::shared_ptr<ParamReads> reads_;
    OleString prefix_;  // of every key noted in reads_: empty, or LIST[i]. for a list entry
};

// A new parameter object holding a copy of store.
HRESULT CreateEffectParams(const ParamStore& store, IEffectParams** out);
// A copy of the values of a parameter object of this runtime (E_INVALIDARG for another
// implementation of IEffectParams, E_NOINTERFACE for an object without it).
HRESULT GetParamStore(IUnknown* params, ParamStore* out);
// The read log of a parameter object of this runtime (failures as GetParamStore).
HRESULT GetParamReads(IUnknown* params, std::shared_ptr<const ParamReads>* out);

}  // namespace corvane::host
