#include "host/param_store.h"

#include <limits>

namespace corvane::host {

namespace {

bool ValidIndex(LONG index) {
    return index >= kGlobalIndex;
}

}  // namespace

bool ParamStore::Set(OleStringView name, LONG index, ParamValue v) {
    if (name.empty() || !ValidIndex(index)) return false;
    auto it = values_.find(std::make_pair(OleString(name), index));
    if (it != values_.end()) {
        it->second = std::move(v);
    } else {
        values_.emplace(Key(OleString(name), index), std::move(v));
    }
    return true;
}

bool ParamStore::Remove(OleStringView name, LONG index) {
    return values_.erase(Key(OleString(name), index)) != 0;
}

bool ParamStore::RemoveName(OleStringView name) {
    auto first = values_.lower_bound(Key(OleString(name), kGlobalIndex));
    auto last = first;
    while (last != values_.end() && last->first.first == name) ++last;
    if (first == last) return false;
    values_.erase(first, last);
    return true;
}

std::vector<OleString> ParamStore::Names() const {
    std::vector<OleString> names;
    for (const auto& kv : values_) {
        if (names.empty() || names.back() != kv.first.first) names.push_back(kv.first.first);
    }
    return names;
}

const ParamValue* ParamStore::Find(OleStringView name, LONG index, LONG* served) const {
    if (name.empty() || !ValidIndex(index)) return nullptr;
    auto it = values_.find(Key(OleString(name), index));
    if (it == values_.end() && index != kGlobalIndex) {
        it = values_.find(Key(OleString(name), kGlobalIndex));
    }
    if (it == values_.end()) return nullptr;
    if (served) *served = it->first.second;
    return &it->second;
}

ParamStore& ParamStore::AddEntry(OleStringView name) {
    Key key(OleString(name), kGlobalIndex);
    auto it = values_.find(key);
    if (it == values_.end()) {
        it = values_.emplace(std::move(key), std::vector<ParamStore>{}).first;
    } else if (!std::holds_alternative<std::vector<ParamStore>>(it->second)) {
        it->second = std::vector<ParamStore>{};
    }
    auto& list = std::get<std::vector<ParamStore>>(it->second);
    list.emplace_back();
    return list.back();
}

const ParamStore* ParamStore::Entry(OleStringView name, LONG i) const {
    const ParamValue* v = Find(name, kGlobalIndex);
    if (!v || i < 0) return nullptr;
    const auto* list = std::get_if<std::vector<ParamStore>>(v);
    if (!list || static_cast<size_t>(i) >= list->size()) return nullptr;
    return &(*list)[static_cast<size_t>(i)];
}

ParamStore* ParamStore::Entry(OleStringView name, LONG i) {
    return const_cast<ParamStore*>(static_cast<const ParamStore*>(this)->Entry(name, i));
}

bool ConvertToLong(const ParamValue& v, LONG* out) {
    if (const auto* p = std::get_if<int32_t>(&v)) {
        *out = *p;
        return true;
    }
    if (const auto* p = std::get_if<uint32_t>(&v)) {
        if (*p > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) return false;
        *out = static_cast<LONG>(*p);
        return true;
    }
    return false;
}

bool ConvertToULong(const ParamValue& v, ULONG* out) {
    if (const auto* p = std::get_if<uint32_t>(&v)) {
        *out = *p;
        return true;
    }
    if (const auto* p = std::get_if<int32_t>(&v)) {
        if (*p < 0) return false;
        *out = static_cast<ULONG>(*p);
        return true;
    }
    return false;
}

bool ConvertToDouble(const ParamValue& v, double* out) {
    if (const auto* p = std::get_if<double>(&v)) {
        *out = *p;
        return true;
    }
    if (const auto* p = std::get_if<int32_t>(&v)) {
        *out = *p;
        return true;
    }
    if (const auto* p = std::get_if<uint32_t>(&v)) {
        *out = *p;
        return true;
    }
    return false;
}

ParamBytes FloatArray(const float* values, size_t count) {
    const BYTE* p = reinterpret_cast<const BYTE*>(values);
    return ParamBytes(p, p + count * sizeof(float));
}

ParamBytes DoubleArray(const double* values, size_t count) {
    const BYTE* p = reinterpret_cast<const BYTE*>(values);
    return ParamBytes(p, p + count * sizeof(double));
}

}  // namespace corvane::host
