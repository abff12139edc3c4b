#pragma once
// Finds the entries of one of the compiler's symbol lists by name in constant
// time on average: by the name hash first, then by the text.
//
// The index files list positions, not entries. Entries appended since the
// last lookup are filed when the next lookup comes, under the name they
// carry then, so a name given right after an entry is added (registration
// renames some routines that way) is the one found. Renaming an entry after
// it has been looked up, or removing or reordering entries, needs Forget from
// the first changed position first.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
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
        entries_.clear();
        heads_.clear();
    }

    // Drops every position from first on.
    void Forget(std::size_t first)
    {
        // Entries are filed in list order, so the dropped ones are the last
        // filed and the newest of their chains.
        while (!entries_.empty() && entries_.back().slot >= first) {
            const Entry& e = entries_.back();
            heads_[e.hash & (heads_.size() - 1)] = e.next;
            entries_.pop_back();
        }
    }

    // The last (or, with fromFirst, the first) position whose entry has the
    // name and is accepted; -1 when there is none.
    template <typename List, typename KeyOf, typename Accept>
    std::ptrdiff_t Find(const List& list, std::string_view upperName, std::uint32_t hash, bool fromFirst, KeyOf keyOf,
                        Accept accept)
    {
        if (list.size() <= kScanLimit) {
            // A routine's parameters and locals are a handful: a scan of the
            // hashes finds them without building chains. An index filed for
            // a longer list that has since been emptied is dropped, as Catch
            // would drop it.
            if (!entries_.empty() && list.size() <= entries_.back().slot)
                Clear();
            return Scan(list, upperName, hash, fromFirst, keyOf, accept);
        }
        Catch(list, keyOf);
        if (heads_.empty())
            return -1;
        std::ptrdiff_t found = -1;
        // A chain runs from the newest entry to the oldest.
        for (std::int32_t at = heads_[hash & (heads_.size() - 1)]; at >= 0; at = entries_[at].next) {
            const Entry& e = entries_[at];
            if (e.hash != hash)
                continue;
            const auto& element = list[e.slot];
            if (keyOf(element).name == upperName && accept(element)) {
                found = e.slot;
                if (!fromFirst)
                    break;
            }
        }
        return found;
    }

    template <typename List, typename KeyOf>
    std::ptrdiff_t Find(const List& list, std::string_view upperName, std::uint32_t hash, bool fromFirst, KeyOf keyOf)
    {
        return Find(list, upperName, hash, fromFirst, keyOf, [](const auto&) { return true; });
    }

    // The last position whose entry has the name; -1 when there is none.
    template <typename List> std::ptrdiff_t FindNamed(const List& list, std::string_view upperName, std::uint32_t hash)
    {
        return Find(list, upperName, hash, false, [](const auto& e) { return Key{e.NameHash, e.Name}; });
    }

private:
    // Lists up to this long are scanned rather than indexed.
    static constexpr std::size_t kScanLimit = 8;

    // What Find answers, by looking at every element: the newest match, or
    // with fromFirst the oldest.
    template <typename List, typename KeyOf, typename Accept>
    static std::ptrdiff_t Scan(const List& list, std::string_view upperName, std::uint32_t hash, bool fromFirst,
                               KeyOf keyOf, Accept accept)
    {
        // One loop a direction: the hashes are all the loop compares, mostly.
        auto matches = [&](std::size_t at) {
            const auto& element = list[at];
            const Key key = keyOf(element);
            return key.hash == hash && key.name == upperName && accept(element);
        };
        if (fromFirst) {
            for (std::size_t at = 0; at < list.size(); ++at) {
                if (matches(at))
                    return static_cast<std::ptrdiff_t>(at);
            }
            return -1;
        }
        for (std::size_t at = list.size(); at-- > 0;) {
            if (matches(at))
                return static_cast<std::ptrdiff_t>(at);
        }
        return -1;
    }

    struct Entry
    {
        std::uint32_t hash;
        std::uint32_t slot;
        std::int32_t next; // the entry filed before it in the same chain, or -1
    };

    template <typename List, typename KeyOf> void Catch(const List& list, KeyOf keyOf)
    {
        std::size_t filed = entries_.empty() ? 0 : entries_.back().slot + 1;
        if (list.size() < filed) {
            Clear(); // the list was emptied behind the index's back
            filed = 0;
        }
        for (; filed < list.size(); ++filed) {
            if (entries_.size() >= heads_.size())
                Grow();
            const std::uint32_t hash = keyOf(list[filed]).hash;
            std::int32_t& head = heads_[hash & (heads_.size() - 1)];
            entries_.push_back({hash, static_cast<std::uint32_t>(filed), head});
            head = static_cast<std::int32_t>(entries_.size() - 1);
        }
    }

    // Doubles the chain heads and files every entry again, oldest first.
    void Grow()
    {
        heads_.assign(heads_.empty() ? 16 : heads_.size() * 2, -1);
        const std::size_t mask = heads_.size() - 1;
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            std::int32_t& head = heads_[entries_[i].hash & mask];
            entries_[i].next = head;
            head = static_cast<std::int32_t>(i);
        }
    }

    std::vector<Entry> entries_; // in list order
    std::vector<std::int32_t> heads_;
};
