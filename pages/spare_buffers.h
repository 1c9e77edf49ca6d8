// Buffers handed back once their work is done and taken again for later
// work, from any thread. A fresh buffer of a few hundred kilobytes per band
// or row of preview boxes cost more than the work in it: zeroing it, and
// the kernel's faults on its new pages. Kept ones are written over without
// either.
#pragma once

#include <mutex>
#include <vector>

namespace huecl::pages {

// Buffer: a std::vector of any element and allocator.
template <typename Buffer>
class SpareBuffers {
public:
    // A kept buffer, or an empty one if none is spare; its size and
    // contents are the caller's to set.
    Buffer take() {
        std::lock_guard lock(mutex_);
        if (spare_.empty()) return {};
        Buffer buffer = std::move(spare_.back());
        spare_.pop_back();
        return buffer;
    }
    void giveBack(Buffer buffer) {
        if (buffer.capacity() == 0) return;
        std::lock_guard lock(mutex_);
        spare_.push_back(std::move(buffer));
    }

private:
    std::mutex mutex_;
    std::vector<Buffer> spare_;
};

}  // namespace huecl::pages
