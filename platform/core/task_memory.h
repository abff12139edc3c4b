#pragma once
// Task memory: blocks that one party allocates and another frees, such as
// the format block of a media type handed across a module boundary.

#include <cstddef>
#include <cstdlib>
#include <memory>

inline void* CoTaskMemAlloc(std::size_t size)
{
    return std::malloc(size ? size : 1);
}
inline void CoTaskMemFree(void* block)
{
    std::free(block);
}

struct CoTaskMemDeleter
{
    void operator()(void* block) const { CoTaskMemFree(block); }
};
template <typename T> using CoTaskMemPtr = std::unique_ptr<T, CoTaskMemDeleter>;
