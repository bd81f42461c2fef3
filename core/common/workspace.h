// Caller-owned scratch. A worker lays out its blocks with take() twice: once
// on a counting workspace (no memory) to learn the size it needs, and once on
// the caller's memory of that size. Both passes run the same code, so the
// reported size and the blocks taken cannot disagree.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace localmodels {

// The caller's memory for a worker: `bytes` bytes from `at`.
struct memory_block {
    void* at;
    std::size_t bytes;
};

struct workspace {
    unsigned char* base;  // null while counting
    std::size_t size;     // bytes available from base
    std::size_t used;
    bool filled;  // the blocks already hold what an earlier pass wrote
};

// Every block starts on a cache line, so that vector code may rely on it.
constexpr std::size_t block_alignment = 64;

inline workspace counting_workspace()
{
    return workspace{nullptr, 0, 0, false};
}

// The bytes a caller provides for what a counting pass took: the blocks and
// room to align the first one, wherever the caller's memory starts.
inline std::size_t bytes_needed(const workspace& counted)
{
    return counted.used + block_alignment;
}

// Bytes of `threads` workspaces of `each` bytes, laid end to end.
inline std::size_t per_thread(std::size_t each, int threads)
{
    return each * static_cast<std::size_t>(threads);
}

// The caller's `size` bytes at `memory`, from its first aligned byte on.
inline workspace memory_workspace(void* memory, std::size_t size)
{
    const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(memory);
    const std::size_t pad = (block_alignment - at % block_alignment) % block_alignment;
    assert(size >= pad);
    return workspace{static_cast<unsigned char*>(memory) + pad, size - pad, 0, false};
}

// The blocks an earlier pass laid out and filled in the same memory, for a
// reader that needs their addresses again: take() leaves them as they are.
inline workspace filled_workspace(void* memory, std::size_t size)
{
    workspace w = memory_workspace(memory, size);
    w.filled = true;
    return w;
}

// A zero-filled block (as it stands on a filled workspace) of `count` elements of T, or null while
// counting.
template <class T>
T* take(workspace* w, std::size_t count)
{
    const std::size_t start = (w->used + block_alignment - 1) / block_alignment * block_alignment;
    const std::size_t bytes = count * sizeof(T);
    w->used = start + bytes;
    if (!w->base) return nullptr;
    assert(w->used <= w->size);
    if (!w->filled) std::memset(w->base + start, 0, bytes);
    return reinterpret_cast<T*>(w->base + start);
}

}  // namespace localmodels
