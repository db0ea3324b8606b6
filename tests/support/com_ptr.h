// A small owning pointer for COM interfaces in tests: releases what it holds, so that a test that
// fails half-way leaves no object alive behind it.
#pragma once

#include "platform/win32.h"
#include "corvane/corvane.h"

#include <utility>

namespace corvane::testing {

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    // Takes over one reference.
    explicit ComPtr(T* p) : p_(p) {}
    ComPtr(const ComPtr& o) : p_(o.p_) {
        if (p_) p_->AddRef();
    }
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~ComPtr() { Reset(); }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // Releases what is held and hands out the slot for an out-parameter.
    T** operator&() {
        Reset();
        return &p_;
    }
    // The slot as void** for QueryInterface and CoCreateInstance.
    void** Out() {
        Reset();
        return reinterpret_cast<void**>(&p_);
    }
    void Reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    T* Detach() { return std::exchange(p_, nullptr); }

    // The object queried for I (empty when it has none).
    template <class I>
    ComPtr<I> As() const {
        ComPtr<I> out;
        if (p_) p_->QueryInterface(IidOf<I>(), out.Out());
        return out;
    }

private:
    T* p_ = nullptr;
};

}  // namespace corvane::testing
