#pragma once
// The value stack: typed entries pushed and popped at the top.
//
// Entries are laid out in chunks that never move, so the address of an
// entry stays valid until it is popped: a host routine or an instruction
// holding an entry (or a pointer value aiming at one) never sees it shift.
// The total size of the entries has a limit; a push beyond it fails.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class TPSTypeRec;

struct TPSStackEntry
{
    const TPSTypeRec* type;
    // Unique among the entries a stack ever held: a pointer to an entry
    // checks it to know the entry is still the one it was aimed at.
    std::uint64_t serial;

    [[gnu::always_inline]] void* data() { return reinterpret_cast<std::byte*>(this) + sizeof(TPSStackEntry); }
};
static_assert(sizeof(TPSStackEntry) % 8 == 0, "values start 8-byte aligned after the header");

class TPSStack
{
public:
    static constexpr std::size_t DefaultLimit = std::size_t(256) << 20;

    explicit TPSStack(std::size_t limit = DefaultLimit) : limit_(limit) { updateRoom(); }
    ~TPSStack() { Clear(); }
    TPSStack(const TPSStack&) = delete;
    TPSStack& operator=(const TPSStack&) = delete;

    std::size_t Count() const { return count_; }

    // Pushes an empty value of the type and returns its entry; none when the
    // limit would be passed.
    TPSStackEntry* PushType(const TPSTypeRec* type);
    // Removes the top entry, releasing its value. Nothing when empty.
    void Pop();
    // Pops until at most count entries are left.
    void PopTo(std::size_t count);
    // Pops everything and frees the storage.
    void Clear();

    // Entry i from the bottom, or from the top when negative (-1 is the top);
    // none when out of range.
    TPSStackEntry* Items(std::ptrdiff_t i) const;
    // Entry i from the bottom; none when out of range.
    [[gnu::always_inline]] TPSStackEntry* At(std::size_t i) const { return i < count_ ? entries_[i] : nullptr; }
    // The entries from the bottom; valid until a push that grows the stack.
    TPSStackEntry* const* Entries() const { return entries_.get(); }
    [[gnu::always_inline]] TPSStackEntry* Top() const { return count_ ? entries_[count_ - 1] : nullptr; }

    // The interpreter's quick push and pop. Whether a value of this many
    // bytes can be pushed within the limit.
    [[gnu::always_inline]] bool HasRoomFor(std::size_t valueSize) const
    {
        return HasRoomForEntry(entrySize(valueSize));
    }
    // The same for an entry of this many bytes, as EntrySize gives them.
    [[gnu::always_inline]] bool HasRoomForEntry(std::size_t entryBytes) const { return used_ + entryBytes <= limit_; }
    // Whether this many entries of these many bytes in all can be pushed
    // within the top chunk and the table of entries: pushes that then
    // cannot fail.
    [[gnu::always_inline]] bool HasRoomInChunk(std::size_t bytes, std::size_t entries) const
    {
        return std::size_t(roomEnd_ - free_) >= bytes && capacity_ - count_ >= entries;
    }
    // The bytes the entry of a value of this many bytes takes.
    static constexpr std::size_t EntrySize(std::size_t valueSize) { return entrySize(valueSize); }
    // Pushes an entry for a value of the type, within the limit and
    // without moving the table of entries (Entries() stays valid); none
    // otherwise. The value is left as it is: the caller makes it
    // (PushZeroed for the types whose empty value is all zero bits and that
    // own nothing: numbers, characters).
    [[gnu::always_inline]] TPSStackEntry* PushUnmade(const TPSTypeRec* type, std::size_t valueSize)
    {
        return PushUnmadeEntry(type, entrySize(valueSize));
    }
    // The same with the entry's size, as EntrySize gives it for the type.
    [[gnu::always_inline]] TPSStackEntry* PushUnmadeEntry(const TPSTypeRec* type, std::size_t size)
    {
        std::byte* const at = free_;
        if (std::size_t(roomEnd_ - at) < size || count_ == capacity_) [[unlikely]]
            return pushUnmadeBeyondRoom(type, size);
        auto* entry = reinterpret_cast<TPSStackEntry*>(at);
        entry->type = type;
        entry->serial = nextSerial_++;
        free_ = at + size;
        used_ += size;
        entries_[count_++] = entry;
        return entry;
    }
    // Pushes N entries of these types and sizes (as EntrySize gives them)
    // at once, after HasRoomInChunk said they fit; their values are left
    // as they are.
    template <std::size_t N>
    [[gnu::always_inline]] void PushInRoom(const TPSTypeRec* const (&types)[N], const std::size_t (&sizes)[N],
                                           TPSStackEntry* (&out)[N])
    {
        std::byte* at = free_;
        std::uint64_t serial = nextSerial_;
        std::size_t count = count_;
        TPSStackEntry** const table = entries_.get();
#pragma GCC unroll 8
        for (std::size_t i = 0; i < N; ++i) {
            auto* entry = reinterpret_cast<TPSStackEntry*>(at);
            entry->type = types[i];
            entry->serial = serial++;
            table[count++] = entry;
            out[i] = entry;
            at += sizes[i];
        }
        used_ += std::size_t(at - free_);
        free_ = at;
        nextSerial_ = serial;
        count_ = count;
    }
    // Zeroes the value of an entry of this size.
    [[gnu::always_inline]] static void ZeroValue(TPSStackEntry* entry, std::size_t size)
    {
        auto* value = static_cast<std::uint64_t*>(entry->data());
        const std::size_t words = (size - sizeof(TPSStackEntry)) / 8;
        if (words) {
            // Written apart from the rest, so that the commonest value of
            // one word is no call of memset.
            value[0] = 0;
            for (std::size_t i = 1; i < words; ++i)
                value[i] = 0;
        }
    }
    [[gnu::always_inline]] TPSStackEntry* PushZeroed(const TPSTypeRec* type, std::size_t valueSize)
    {
        return PushZeroedEntry(type, entrySize(valueSize));
    }
    [[gnu::always_inline]] TPSStackEntry* PushZeroedEntry(const TPSTypeRec* type, std::size_t size)
    {
        TPSStackEntry* entry = PushUnmadeEntry(type, size);
        if (entry)
            ZeroValue(entry, size);
        return entry;
    }
    // Pop for a top entry whose value owns nothing.
    [[gnu::always_inline]] void PopOwningNothing(std::size_t valueSize)
    {
        TPSStackEntry* entry = entries_[--count_];
        const bool leavesChunk = free_ == topBegin_;
        if (leavesChunk)
            stepDown();
        free_ = reinterpret_cast<std::byte*>(entry);
        used_ -= entrySize(valueSize);
        if (leavesChunk)
            updateRoom();
    }

    // Pops the n top entries, whose values own nothing, at once; n is at
    // most Count().
    [[gnu::always_inline]] void PopManyOwningNothing(std::size_t n)
    {
        auto* const lowest = reinterpret_cast<std::byte*>(entries_[count_ - n]);
        // The entries of one chunk lie in order: when the lowest of them is
        // in the top chunk, all are, and their bytes end at the free space.
        const auto at = reinterpret_cast<std::uintptr_t>(lowest);
        if (at >= reinterpret_cast<std::uintptr_t>(topBegin_) && at < reinterpret_cast<std::uintptr_t>(free_))
            [[likely]] {
            count_ -= n;
            used_ -= std::size_t(free_ - lowest);
            free_ = lowest;
            return;
        }
        popManyAcrossChunks(n);
    }

    std::size_t usedBytes() const
    {
        return used_;
    }
    std::size_t limit() const
    {
        return limit_;
    }
    void setLimit(std::size_t limit)
    {
        limit_ = limit;
        updateRoom();
    }

private:
    struct Chunk
    {
        std::unique_ptr<std::byte[]> memory;
        std::size_t size = 0;
    };

    static constexpr std::size_t entrySize(std::size_t valueSize)
    {
        return (sizeof(TPSStackEntry) + valueSize + 7) & ~std::size_t(7);
    }
    // Makes room for an entry of size bytes: the spare chunk or a new one.
    void growFor(std::size_t size);
    // PushUnmade for an entry that needs the next chunk; none beyond the
    // limit or when the table of entries is full.
    TPSStackEntry* pushUnmadeBeyondRoom(const TPSTypeRec* type, std::size_t size);
    // Where the entries of the top chunk may reach: its end, or less when
    // the limit comes first. Pushes and pops within the chunk move the free
    // space and the bytes used alike, so it only changes with the chunk or
    // the limit.
    void updateRoom()
    {
        const std::size_t left = limit_ > used_ ? limit_ - used_ : 0;
        roomEnd_ = std::size_t(end_ - free_) <= left ? end_ : free_ + left;
    }
    // PopManyOwningNothing for entries that reach below the top chunk.
    void popManyAcrossChunks(std::size_t n);
    // Goes back to the chunk below the top one, which holds the top entry.
    void stepDown();
    void enterChunk(std::size_t index);

    // Entries are laid out one after the other in chunks_[top_] from
    // topBegin_ up to free_; the chunks below it hold the entries beneath,
    // and are never empty. One spare may follow the top chunk.
    std::vector<Chunk> chunks_;
    std::size_t top_ = 0;
    std::byte* topBegin_ = nullptr;
    std::byte* free_ = nullptr;
    std::byte* end_ = nullptr;
    std::byte* roomEnd_ = nullptr;
    std::unique_ptr<TPSStackEntry*[]> entries_;
    std::size_t count_ = 0;
    std::size_t capacity_ = 0;
    std::uint64_t nextSerial_ = 1;
    std::size_t used_ = 0;
    std::size_t limit_;
};
