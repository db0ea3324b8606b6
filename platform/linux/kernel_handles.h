// Process-local handle table of the kernel services (files, global memory). Internal to the
// platform library: portable code sees only opaque HANDLE values.
#pragma once

#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/linux/wintypes.h"

namespace corvane::kernel {

// Base of every object behind a handle. The handle value is the object's address, so it is
// never NULL or INVALID_HANDLE_VALUE; the table decides whether a value is live.
struct KernelObject {
    virtual ~KernelObject() = default;
};

// Thread-safe map from handle to object. Lookups hand out shared ownership, so an object
// stays alive for a call that is using it while another thread closes the handle.
class HandleTable {
public:
    // Returns the new handle; nullptr when memory runs out.
    HANDLE Insert(std::shared_ptr<KernelObject> object) noexcept;
    // The live object of that type behind handle, or nullptr.
    template <typename T>
    std::shared_ptr<T> Find(HANDLE handle) const noexcept {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = objects_.find(handle);
        return it == objects_.end() ? nullptr : std::dynamic_pointer_cast<T>(it->second);
    }
    // Unregisters handle when it is a live object of type T and returns that object.
    template <typename T>
    std::shared_ptr<T> Remove(HANDLE handle) noexcept {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = objects_.find(handle);
        if (it == objects_.end()) return nullptr;
        auto object = std::dynamic_pointer_cast<T>(it->second);
        if (object) objects_.erase(it);
        return object;
    }

private:
    mutable std::mutex mutex_;
    std::unordered_map<HANDLE, std::shared_ptr<KernelObject>> objects_;
};

// The one table of the process.
HandleTable& Handles() noexcept;

}  // namespace corvane::kernel
