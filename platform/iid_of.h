// The IID of an interface type, for code that names the interface once: corvane::IidOf<IStream>()
// is IID_IStream. Defined here for IUnknown and the system's interfaces that corvane's own
// objects implement or hold; corvane.h adds its interfaces. Any other type is a compile error.
#pragma once

#include "platform/win32.h"

namespace corvane {

template <class Itf>
struct InterfaceTraits;

template <class Itf>
constexpr const IID& IidOf() {
    return InterfaceTraits<Itf>::iid;
}

// Declares the trait of the interface `name`, whose IID is IID_name (at namespace corvane).
#define CORVANE_IID_TRAIT(name)                         \
    template <>                                         \
    struct InterfaceTraits<::name> {                    \
        static constexpr const IID& iid = ::IID_##name; \
    };
CORVANE_IID_TRAIT(IUnknown)
CORVANE_IID_TRAIT(IClassFactory)
CORVANE_IID_TRAIT(IStream)
CORVANE_IID_TRAIT(IErrorInfo)
CORVANE_IID_TRAIT(ICreateErrorInfo)
CORVANE_IID_TRAIT(ITypeInfo)
CORVANE_IID_TRAIT(ITypeLib)

}  // namespace corvane
