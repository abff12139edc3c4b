#pragma once
// Finds the entries of one of the compiler's symbol lists by name in constant
// time on average: by the name hash first, then by the text.
//
// The index files list positions, not entries. Entries appended since the
// last lookup are filed when the next lookup comes, under the name they
// carry then, so a name given right after an entry is added (registration
// renames some routines that way) is the one found. Renaming an entry after
// it has been looked up, or reordering the list, needs Forget from the first
// changed position.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TPSNameIndex
{
public:
    // What the lookups need of a list element: its name hash and upper-cased
    // name. keyOf and accept take the list's elements as they are stored.
    struct Key
    {
        std::uint32_t hash;
        const std::string& name;
    };

    void Clear()
    {
        slots_.clear();
        filed_ = 0;
    }

    // Drops every position from first on; call it before the list loses
    // those entries, while they still carry the names they were filed under.
    template <typename List, typename KeyOf> void Forget(const List& list, std::size_t first, KeyOf keyOf)
    {
        for (std::size_t i = first; i < filed_; ++i) {
            const auto bucket = slots_.find(keyOf(list[i]).hash);
            if (bucket == slots_.end())
                continue;
            std::vector<std::uint32_t>& slots = bucket->second;
            while (!slots.empty() && slots.back() >= first)
                slots.pop_back();
            if (slots.empty())
                slots_.erase(bucket);
        }
        if (filed_ > first)
            filed_ = first;
    }

    // The last (or, with fromFirst, the first) position whose entry has the
    // name and is accepted; -1 when there is none.
    template <typename List, typename KeyOf, typename Accept>
    std::ptrdiff_t Find(const List& list, std::string_view upperName, std::uint32_t hash, bool fromFirst,
                        KeyOf keyOf, Accept accept)
    {
        Catch(list, keyOf);
        const auto bucket = slots_.find(hash);
        if (bucket == slots_.end())
            return -1;
        const std::vector<std::uint32_t>& slots = bucket->second;
        for (std::size_t k = 0; k < slots.size(); ++k) {
            const std::uint32_t slot = slots[fromFirst ? k : slots.size() - 1 - k];
            const auto& entry = list[slot];
            const Key key = keyOf(entry);
            if (key.hash == hash && key.name == upperName && accept(entry))
                return slot;
        }
        return -1;
    }

    template <typename List, typename KeyOf>
    std::ptrdiff_t Find(const List& list, std::string_view upperName, std::uint32_t hash, bool fromFirst,
                        KeyOf keyOf)
    {
        return Find(list, upperName, hash, fromFirst, keyOf, [](const auto&) { return true; });
    }

private:
    template <typename List, typename KeyOf> void Catch(const List& list, KeyOf keyOf)
    {
        if (list.size() < filed_)
            Clear(); // the list was emptied behind the index's back
        for (; filed_ < list.size(); ++filed_)
            slots_[keyOf(list[filed_]).hash].push_back(static_cast<std::uint32_t>(filed_));
    }

    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> slots_;
    std::size_t filed_ = 0;
};
