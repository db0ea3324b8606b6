// Undo log for a registration: before each change the registrar records how the part of the
// registry that the change touches looks now, and a failed registration puts every recorded part
// back, so that it leaves the registry as it found it.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32.h"

namespace corvane {

// Holds the registry for one registration or unregistration: every change made between Begin and
// Commit reaches the registry files at once, or with Abandon (or the destructor) not at all, and
// no other registration, in this process or another, runs in between.
class RegistrySession {
public:
    RegistrySession() = default;
    ~RegistrySession() { Abandon(); }
    RegistrySession(const RegistrySession&) = delete;
    RegistrySession& operator=(const RegistrySession&) = delete;

    // Waits at most waitMs for other registrations; then HRESULT_FROM_WIN32(ERROR_BUSY) and
    // nothing is held. Other failures of the registry's files as the registry reports them.
    HRESULT Begin(DWORD waitMs);
    // Writes the changes; a failure leaves the registry as it was before Begin.
    HRESULT Commit();
    void Abandon() noexcept;

private:
    bool open_ = false;
};

class RegistryTransaction {
public:
    RegistryTransaction();
    ~RegistryTransaction();
    RegistryTransaction(const RegistryTransaction&) = delete;
    RegistryTransaction& operator=(const RegistryTransaction&) = delete;

    // root is HKEY_CLASSES_ROOT, HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE; path is a key path below
    // it (components separated by '\', none empty). A path under HKEY_CLASSES_ROOT is recorded in
    // both hives that back it (HKLM\Software\Classes and HKCU\Software\Classes).
    //
    // SaveKey keeps the key's existence and its values (not its subkeys): call it before
    // creating a key or setting its values. SaveTree keeps the key with its whole subtree: call
    // it before deleting a tree or before a call that writes an unknown set of keys below it.
    // Only the first record of a place counts; records inside a saved tree are skipped. Failure
    // to read the registry is returned (nothing has been changed by then, so the caller stops).
    HRESULT SaveKey(HKEY root, OleStringView path);
    HRESULT SaveTree(HKEY root, OleStringView path);

    // Restores every record, newest first, and forgets them. Best effort: a place that cannot be
    // restored is skipped and the rest are still restored. Returns the first failure, or S_OK.
    HRESULT Rollback() noexcept;

    // Number of records kept (for tests of the deduplication).
    size_t RecordCount() const;

private:
    struct Record;
    HRESULT Save(HKEY root, OleStringView path, bool tree);
    HRESULT SaveIn(HKEY hive, OleString path, bool tree);

    std::vector<std::unique_ptr<Record>> records_;
};

}  // namespace corvane
