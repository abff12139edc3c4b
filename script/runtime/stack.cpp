#include "script/runtime/stack.h"

#include "script/runtime/types.h"

#include <algorithm>

namespace {
// Chunks start small (a stack of attribute values holds a handful of
// entries) and double up to the largest step.
constexpr std::size_t FirstChunkSize = 256;
constexpr std::size_t LargestChunkSize = 64 * 1024;
constexpr std::size_t FirstCapacity = 16;
} // namespace

TPSStackEntry* TPSStack::PushType(const TPSTypeRec* type)
{
    const std::size_t size = entrySize(type->realSize);
    if (size > limit_ || used_ > limit_ - size)
        return nullptr;
    if (count_ == capacity_) {
        const std::size_t capacity = capacity_ ? capacity_ * 2 : FirstCapacity;
        auto entries = std::make_unique<TPSStackEntry*[]>(capacity);
        std::copy_n(entries_.get(), count_, entries.get());
        entries_ = std::move(entries);
        capacity_ = capacity;
    }
    if (std::size_t(end_ - free_) < size)
        growFor(size);
    auto* entry = reinterpret_cast<TPSStackEntry*>(free_);
    entry->type = type;
    entry->serial = nextSerial_++;
    InitializeValue(entry->data(), type);
    free_ += size;
    used_ += size;
    entries_[count_++] = entry;
    return entry;
}

TPSStackEntry* TPSStack::pushUnmadeBeyondRoom(const TPSTypeRec* type, std::size_t size)
{
    if (size > limit_ || used_ > limit_ - size || count_ == capacity_)
        return nullptr;
    if (std::size_t(end_ - free_) < size)
        growFor(size);
    auto* entry = reinterpret_cast<TPSStackEntry*>(free_);
    entry->type = type;
    entry->serial = nextSerial_++;
    free_ += size;
    used_ += size;
    entries_[count_++] = entry;
    return entry;
}

void TPSStack::enterChunk(std::size_t index)
{
    top_ = index;
    topBegin_ = chunks_[index].memory.get();
    end_ = topBegin_ + chunks_[index].size;
}

void TPSStack::growFor(std::size_t size)
{
    // An empty top chunk that is too small is replaced, so that no chunk
    // below the top is ever empty.
    const bool topEmpty = free_ == topBegin_;
    const std::size_t next = chunks_.empty() ? 0 : topEmpty ? top_ : top_ + 1;
    if (next < chunks_.size() && chunks_[next].size < size)
        chunks_.resize(next);
    if (next == chunks_.size()) {
        const std::size_t step = chunks_.empty() ? FirstChunkSize : std::min(chunks_.back().size * 2, LargestChunkSize);
        const std::size_t chunkSize = std::max(step, size);
        chunks_.push_back(Chunk{std::make_unique<std::byte[]>(chunkSize), chunkSize});
    }
    enterChunk(next);
    free_ = topBegin_;
    updateRoom();
}

void TPSStack::Pop()
{
    if (count_ == 0)
        return;
    TPSStackEntry* entry = entries_[--count_];
    const TPSTypeRec* type = entry->type;
    FinalizeValue(entry->data(), type);
    const bool leavesChunk = free_ == topBegin_;
    if (leavesChunk)
        stepDown();
    free_ = reinterpret_cast<std::byte*>(entry);
    used_ -= entrySize(type->realSize);
    if (leavesChunk)
        updateRoom();
}

// The top chunk is left when an entry below it is popped, not as soon as it
// empties, so that pushing and popping one value across the boundary does
// not move between chunks each time. The emptied chunk stays as the one
// spare.
void TPSStack::stepDown()
{
    chunks_.resize(top_ + 1);
    enterChunk(top_ - 1);
}

void TPSStack::popManyAcrossChunks(std::size_t n)
{
    for (; n; --n)
        PopOwningNothing(entries_[count_ - 1]->type->realSize);
}

void TPSStack::PopTo(std::size_t count)
{
    while (count_ > count)
        Pop();
}

void TPSStack::Clear()
{
    PopTo(0);
    chunks_.clear();
    top_ = 0;
    topBegin_ = free_ = end_ = nullptr;
    updateRoom();
}

TPSStackEntry* TPSStack::Items(std::ptrdiff_t i) const
{
    const auto count = static_cast<std::ptrdiff_t>(count_);
    if (i < 0)
        i += count;
    if (i < 0 || i >= count)
        return nullptr;
    return entries_[static_cast<std::size_t>(i)];
}
