#pragma once

#include <memory>
#include <new>
#include <type_traits>
#include <utility>

// std::allocator, except that growing a container without a value leaves trivial elements as they are
// instead of zeroing them: a voxel array that a file is about to fill whole is sized without writing
// every byte twice. Growing with an explicit value (resize(n, T())) still writes that value.
template <typename T>
class DefaultInitAllocator : public std::allocator<T>
{
public:
    template <typename U>
    struct rebind
    {
        using other = DefaultInitAllocator<U>;
    };

    DefaultInitAllocator() noexcept = default;
    template <typename U>
    DefaultInitAllocator(const DefaultInitAllocator<U>&) noexcept
    {
    }

    template <typename U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible<U>::value)
    {
        ::new (static_cast<void*>(p)) U;
    }

    template <typename U, typename... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
