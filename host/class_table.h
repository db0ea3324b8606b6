// Publishing host classes in the process's class table, so that CoCreateInstance anywhere in the
// process (the effect module included) finds them by CLSID.
#pragma once

#include "platform/win32.h"
#include "corvane/corvane.h"

#include <functional>
#include <vector>

namespace corvane::host {

// Creates a new object answering riid into *ppv (NULL on failure).
using ClassCreator = std::function<HRESULT(REFIID riid, void** ppv)>;

struct ClassEntry {
    CLSID clsid;
    ClassCreator create;
};

// The classes of the runtime: audio buffer, audio format, audio helper, filter-graph provider,
// WAV file source, signal source, parameters, zones.
std::vector<ClassEntry> HostClasses();

// Class objects registered in-process for multiple use. Register is all or nothing; Revoke (also
// run by the destructor) takes back every registration. COM must be initialised on the thread.
class ClassRegistration {
public:
    ClassRegistration() = default;
    ~ClassRegistration() { Revoke(); }
    ClassRegistration(const ClassRegistration&) = delete;
    ClassRegistration& operator=(const ClassRegistration&) = delete;

    // Fails with the class table's answer (e.g. CO_E_OBJISREG when a CLSID is taken,
    // CO_E_NOTINITIALIZED without COM) or E_UNEXPECTED when this object already registered.
    HRESULT Register(const std::vector<ClassEntry>& entries);
    void Revoke();
    bool Registered() const { return !cookies_.empty(); }

private:
    std::vector<DWORD> cookies_;
};

// The runtime's own classes in the process's class table. Calls nest: the classes stay
// registered until as many RevokeHostClasses as successful RegisterHostClasses.
HRESULT RegisterHostClasses();
void RevokeHostClasses();

}  // namespace corvane::host
