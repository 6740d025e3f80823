// A handle with one owner, freed exactly once when the owner goes: a file
// descriptor, a GDI object, a window. `Free` frees a handle; `kNone` is the
// value that holds nothing (-1 for a descriptor, null for a pointer).
//
// reset() frees the old handle before it forgets it, so a handle whose
// freeing calls back into its owner (a window handles its last messages
// while it is destroyed) is still known meanwhile; a handle that went
// without us (the system destroyed the window) is forgotten with release().
#pragma once

#include <utility>

namespace veltrano::core {

template <class Handle, class Free, Handle kNone = Handle{}>
class Owned {
public:
    Owned() = default;
    explicit Owned(Handle handle) noexcept : handle_(handle) {}
    Owned(Owned&& other) noexcept : handle_(other.release()) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { reset(); }

    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != kNone; }
    void reset(Handle handle = kNone) noexcept {
        if (handle_ != kNone) Free{}(handle_);
        handle_ = handle;
    }
    Handle release() noexcept { return std::exchange(handle_, kNone); }

private:
    Handle handle_ = kNone;
};

}  // namespace veltrano::core
