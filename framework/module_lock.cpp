#include "framework/module_lock.h"

#include <atomic>

namespace corvane {

namespace {
std::atomic<const ModuleLockHook*> g_hook{nullptr};
}  // namespace

const ModuleLockHook* InstallModuleLockHook(const ModuleLockHook* hook) noexcept {
    return g_hook.exchange(hook, std::memory_order_acq_rel);
}

LONG LockModule() noexcept {
    const ModuleLockHook* hook = g_hook.load(std::memory_order_acquire);
    return hook != nullptr ? hook->lock() : 0;
}

LONG UnlockModule() noexcept {
    const ModuleLockHook* hook = g_hook.load(std::memory_order_acquire);
    return hook != nullptr ? hook->unlock() : 0;
}

}  // namespace corvane
