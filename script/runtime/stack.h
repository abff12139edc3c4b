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

    void* data() { return reinterpret_cast<std::byte*>(this) + sizeof(TPSStackEntry); }
};
static_assert(sizeof(TPSStackEntry) % 8 == 0, "values start 8-byte aligned after the header");

class TPSStack
{
public:
    static constexpr std::size_t DefaultLimit = std::size_t(256) << 20;

    explicit TPSStack(std::size_t limit = DefaultLimit) : limit_(limit) {}
    ~TPSStack() { Clear(); }
    TPSStack(const TPSStack&) = delete;
    TPSStack& operator=(const TPSStack&) = delete;

    std::size_t Count() const { return entries_.size(); }

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

    std::size_t usedBytes() const { return used_; }
    std::size_t limit() const { return limit_; }
    void setLimit(std::size_t limit) { limit_ = limit; }

private:
    struct Chunk
    {
        std::unique_ptr<std::byte[]> memory;
        std::size_t size = 0;
        std::size_t used = 0;
    };

    static std::size_t entrySize(const TPSTypeRec* type);

    std::vector<Chunk> chunks_; // chunks_[top_] holds the top entry; one spare may follow
    std::size_t top_ = 0;
    std::vector<TPSStackEntry*> entries_;
    std::uint64_t nextSerial_ = 1;
    std::size_t used_ = 0;
    std::size_t limit_;
};
