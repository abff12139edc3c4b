#include "script/runtime/stack.h"

#include "script/runtime/types.h"

#include <algorithm>

namespace {
// Chunks start small (a stack of attribute values holds a handful of
// entries) and double up to the largest step.
constexpr std::size_t FirstChunkSize = 256;
constexpr std::size_t LargestChunkSize = 64 * 1024;
} // namespace

std::size_t TPSStack::entrySize(const TPSTypeRec* type)
{
    return (sizeof(TPSStackEntry) + type->realSize + 7) & ~std::size_t(7);
}

TPSStackEntry* TPSStack::PushType(const TPSTypeRec* type)
{
    const std::size_t size = entrySize(type);
    if (size > limit_ || used_ > limit_ - size)
        return nullptr;
    if (chunks_.empty() || chunks_[top_].size - chunks_[top_].used < size) {
        // Move on to the spare chunk when it is big enough, else make a new one.
        std::size_t next = chunks_.empty() ? 0 : top_ + 1;
        if (next < chunks_.size() && (chunks_[next].used != 0 || chunks_[next].size < size))
            chunks_.resize(next);
        if (next == chunks_.size()) {
            const std::size_t step =
                chunks_.empty() ? FirstChunkSize : std::min(chunks_.back().size * 2, LargestChunkSize);
            const std::size_t chunkSize = std::max(step, size);
            chunks_.push_back(Chunk{std::make_unique<std::byte[]>(chunkSize), chunkSize, 0});
        }
        top_ = next;
    }
    Chunk& chunk = chunks_[top_];
    auto* entry = reinterpret_cast<TPSStackEntry*>(chunk.memory.get() + chunk.used);
    entry->type = type;
    entry->serial = nextSerial_++;
    InitializeValue(entry->data(), type);
    chunk.used += size;
    used_ += size;
    entries_.push_back(entry);
    return entry;
}

void TPSStack::Pop()
{
    if (entries_.empty())
        return;
    TPSStackEntry* entry = entries_.back();
    entries_.pop_back();
    const std::size_t size = entrySize(entry->type);
    FinalizeValue(entry->data(), entry->type);
    chunks_[top_].used -= size;
    used_ -= size;
    if (chunks_[top_].used == 0 && top_ > 0) {
        // Keep the emptied chunk as the one spare, so a push and pop across
        // a chunk boundary do not allocate each time.
        chunks_.resize(top_ + 1);
        --top_;
    }
}

void TPSStack::PopTo(std::size_t count)
{
    while (entries_.size() > count)
        Pop();
}

void TPSStack::Clear()
{
    PopTo(0);
    chunks_.clear();
    top_ = 0;
}

TPSStackEntry* TPSStack::Items(std::ptrdiff_t i) const
{
    const auto count = static_cast<std::ptrdiff_t>(entries_.size());
    if (i < 0)
        i += count;
    if (i < 0 || i >= count)
        return nullptr;
    return entries_[static_cast<std::size_t>(i)];
}
