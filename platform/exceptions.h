// The one place where an exception becomes an HRESULT, for the module, the host runtime and the
// tools alike. Engine code throws an HRESULT value (for example E_OUTOFMEMORY for a key name that
// cannot be allocated) or lets std::bad_alloc escape; the COM shell runs every engine call, and
// the host every method of its objects, through CallGuarded so that nothing escapes an interface
// method.
#pragma once

#include "platform/win32.h"

#include <new>
#include <type_traits>
#include <utility>

namespace corvane {

// Throws hr as an HRESULT value (caught by CallGuarded).
[[noreturn]] inline void ThrowHr(HRESULT hr) {
    throw hr;
}

// The HRESULT for the exception being handled: a thrown failure HRESULT stays itself,
// std::bad_alloc becomes E_OUTOFMEMORY, anything else (a thrown success code included, which
// must not turn an aborted call into success) `otherwise`. Call only inside a catch block.
inline HRESULT HResultFromCurrentException(HRESULT otherwise = E_FAIL) noexcept {
    try {
        throw;
    } catch (HRESULT hr) {
        return FAILED(hr) ? hr : otherwise;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return otherwise;
    }
}

// Runs f (which returns an HRESULT, or nothing for S_OK) and turns any exception into the
// HRESULT above.
template <class F>
HRESULT CallGuarded(F&& f) noexcept {
    try {
        if constexpr (std::is_void_v<decltype(std::forward<F>(f)())>) {
            std::forward<F>(f)();
            return S_OK;
        } else {
            return std::forward<F>(f)();
        }
    } catch (...) {
        return HResultFromCurrentException();
    }
}

}  // namespace corvane
