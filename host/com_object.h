// The base of every host object: the project's IUnknown (platform/unknown_impl.h) and the
// live-object count.
#pragma once

#include "platform/win32.h"
#include "corvane/corvane.h"
#include "platform/exceptions.h"
#include "platform/unknown_impl.h"

#include <new>
#include <utility>

namespace corvane::host {

// Host objects alive in this process (every class of the runtime and everything derived from
// them, the test doubles included). Class objects are static and not counted.
LONG LiveObjectCount();

namespace detail {
void CountObjectCreated();
void CountObjectDestroyed();
}  // namespace detail

// Base of a host class implementing the interfaces Itfs: the project's IUnknown, and the object
// counted among the live host objects from construction to destruction.
template <class... Itfs>
class ComObject : public UnknownImpl<Itfs...> {
public:
    ComObject() noexcept { detail::CountObjectCreated(); }

protected:
    ~ComObject() override { detail::CountObjectDestroyed(); }
};

// Creates a T with one reference and hands it out as interface I.
template <class T, class I = IUnknown, class... Args>
HRESULT CreateObject(I** out, Args&&... args) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    return CallGuarded([&]() -> HRESULT {
        T* obj = new T(std::forward<Args>(args)...);
        HRESULT hr = obj->QueryInterface(IidOf<I>(), reinterpret_cast<void**>(out));
        obj->Release();
        return hr;
    });
}

}  // namespace corvane::host
