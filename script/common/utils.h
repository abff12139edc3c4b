#pragma once
// Small helpers that the script compiler and the script runtime share: the
// name hash of every symbol table, ASCII case folding, word cutting, number
// conversions, and the two list types.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Hash of a name as stored beside it in every symbol table (always of the
// upper-cased name): each byte is added to the running value rotated left by 7.
std::uint32_t MakeHash(std::string_view text);

// ASCII-only case folding: bytes outside a..z (or A..Z) are left alone, so
// UTF-8 sequences pass through unchanged.
std::string FastUpperCase(std::string_view text);
// The same into a string that keeps its storage (a tokenizer's token).
void FastUpperCaseInto(std::string_view text, std::string& out);
// Whether FastUpperCase would change the text: most names a compiler looks
// up come from its tokenizer already upper-cased.
bool HasLowerCase(std::string_view text);
std::string FastLowerCase(std::string_view text);

// Returns the text before the first blank and removes it and the blank from
// text; with no blank, returns the whole text and leaves it empty.
std::string CutFirstWord(std::string& text);
// Returns the text after the last blank and removes the blank and the rest;
// with no blank, returns the whole text and leaves it empty.
std::string CutLastWord(std::string& text);

// Converts a whole decimal number; anything else throws std::invalid_argument
// with the message "Invalid float".
long double StrToFloatStrict(std::string_view text);
std::string IntToStrPlain(std::int32_t value);
// Fixed notation with exactly 12 decimals: 1.5 gives "1.500000000000".
std::string FloatToStrFixed(long double value);
// The decimal value of the whole text, or the fallback when it is not one.
std::int32_t StrToIntWithDefault(std::string_view text, std::int32_t fallback);
inline std::int32_t StrToIntOrMinus1(std::string_view text)
{
    return StrToIntWithDefault(text, -1);
}

// A list of pointers it does not own. Out-of-range reads give nullptr and
// out-of-range writes and deletes do nothing, so callers that index with
// values from script data never step outside the list.
class TPSPointerList
{
public:
    std::size_t Count() const { return items_.size(); }
    bool Empty() const { return items_.empty(); }
    std::size_t Add(void* item);
    void DeleteLast();
    void Delete(std::size_t index);
    // Deletes the first slot holding item.
    void Remove(const void* item);
    void Clear() { items_.clear(); }
    void* GetItem(std::size_t index) const { return index < items_.size() ? items_[index] : nullptr; }
    void SetItem(std::size_t index, void* item);
    // The highest index holding item, or -1: lookups of the newest entry win.
    std::ptrdiff_t IndexOf(const void* item) const;

private:
    std::vector<void*> items_;
};

// The same list, typed.
template <typename T> class TPSList : public TPSPointerList
{
public:
    std::size_t Add(T* item) { return TPSPointerList::Add(item); }
    T* GetItem(std::size_t index) const { return static_cast<T*>(TPSPointerList::GetItem(index)); }
    T* operator[](std::size_t index) const { return GetItem(index); }
    void SetItem(std::size_t index, T* item) { TPSPointerList::SetItem(index, item); }
};

// A list of 8-bit strings with the same forgiving index rules as TPSList.
class TPSStringList
{
public:
    std::size_t Count() const { return items_.size(); }
    std::size_t Add(std::string text);
    void Delete(std::size_t index);
    void Clear() { items_.clear(); }
    std::string GetItem(std::size_t index) const;
    void SetItem(std::size_t index, std::string text);
    // The lowest index holding exactly text, or -1.
    std::ptrdiff_t IndexOf(std::string_view text) const;

    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<std::string> items_;
};
