#pragma once
// Memory for the arrays of a long list (its rows, a sort's scratch): large
// blocks come straight from the system and go back to it whole when freed,
// so that the rows of one search never stay behind in the allocator's pools
// after the next; pages reserved but never written cost nothing. Elements
// made without a value are left as they come (zero from the system): every
// user writes them before reading, and clearing megabytes twice costs time.
#include "store/HugePages.h"

#include <sys/mman.h>

#include <cstddef>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace qv {

template <class T> struct SystemPages {
    using value_type = T;
    static constexpr size_t kLarge = size_t(1) << 20;

    SystemPages() = default;
    template <class U> SystemPages(const SystemPages<U>&) {}

    T* allocate(size_t n)
    {
        if (n > size_t(-1) / sizeof(T))
            throw std::bad_alloc();
        if (n * sizeof(T) < kLarge)
            return std::allocator<T>().allocate(n);
        void* p = mmap(nullptr, n * sizeof(T), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            throw std::bad_alloc();
        adviseHugePages(p, n * sizeof(T));
        return static_cast<T*>(p);
    }
    void deallocate(T* p, size_t n)
    {
        if (n * sizeof(T) < kLarge)
            std::allocator<T>().deallocate(p, n);
        else
            munmap(p, n * sizeof(T));
    }
    template <class U> void construct(U* p) { ::new (static_cast<void*>(p)) U; }
    template <class U, class... Args> void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    template <class U> bool operator==(const SystemPages<U>&) const { return true; }
    template <class U> bool operator!=(const SystemPages<U>&) const { return false; }
};

template <class T> using LargeVector = std::vector<T, SystemPages<T>>;

}  // namespace qv
