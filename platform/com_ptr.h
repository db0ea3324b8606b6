// The project's owning handles of COM resources: ComPtr holds one reference on an interface, Bstr
// owns one BSTR. Both give back what they hold on every path out of a scope, an exception
// included, so that neither a failing call nor a failing test leaves an object or a string behind.
#pragma once

#include <cstddef>
#include <utility>

#include "platform/iid_of.h"
#include "platform/win32.h"

namespace corvane {

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes over one reference the caller owns.
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

    // Takes over one reference the caller owns, as the constructor does.
    static ComPtr Attach(T* p) { return ComPtr(p); }
    // Adds a reference of its own.
    static ComPtr Share(T* p) {
        if (p) p->AddRef();
        return ComPtr(p);
    }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.p_ == nullptr; }
    friend bool operator!=(const ComPtr& a, std::nullptr_t) { return a.p_ != nullptr; }

    // Release what is held and hand out the slot for an out-parameter: Put (and &p, as COM code
    // writes it) as T**, Out as the void** that QueryInterface and CoCreateInstance take.
    T** Put() {
        Reset();
        return &p_;
    }
    T** operator&() { return Put(); }
    void** Out() { return reinterpret_cast<void**>(Put()); }

    void Reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    // Gives the reference to the caller.
    T* Detach() { return std::exchange(p_, nullptr); }

    // The object queried for U; empty when it does not answer U.
    template <class U>
    ComPtr<U> As() const {
        U* q = nullptr;
        if (p_ && SUCCEEDED(p_->QueryInterface(IidOf<U>(), reinterpret_cast<void**>(&q))))
            return ComPtr<U>(q);
        return ComPtr<U>();
    }

private:
    T* p_ = nullptr;
};

// The object p queried for U (empty when p is null or does not answer U).
template <class U, class T>
ComPtr<U> QueryAs(T* p) {
    return ComPtr<T>::Share(p).template As<U>();
}

// An owning BSTR. A string that cannot be allocated leaves it NULL: callers that must not pass
// NULL on check it.
class Bstr {
public:
    Bstr() = default;
    // A copy of s (NULL gives NULL).
    explicit Bstr(const OLECHAR* s) : b_(SysAllocString(s)) {}
    // A copy of s, embedded NULs included.
    explicit Bstr(OleStringView s)
        : b_(SysAllocStringLen(s.empty() ? OLESTR("") : s.data(), static_cast<UINT>(s.size()))) {}
    Bstr(Bstr&& o) noexcept : b_(std::exchange(o.b_, nullptr)) {}
    Bstr& operator=(Bstr&& o) noexcept {
        std::swap(b_, o.b_);
        return *this;
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(b_); }

    BSTR Get() const { return b_; }
    operator BSTR() const { return b_; }
    // Frees what is held and hands out the slot for an out-parameter (also as &b).
    BSTR* Put() {
        SysFreeString(std::exchange(b_, nullptr));
        return &b_;
    }
    BSTR* operator&() { return Put(); }
    // Gives the string to the caller, who frees it with SysFreeString.
    BSTR Detach() { return std::exchange(b_, nullptr); }
    // The characters held (empty for NULL).
    OleString Str() const { return b_ ? OleString(b_, SysStringLen(b_)) : OleString(); }

private:
    BSTR b_ = nullptr;
};

}  // namespace corvane
