#include "script/common/utils.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <stdexcept>

bool HasLowerCase(std::string_view text)
{
    for (const char c : text)
        if (c >= 'a' && c <= 'z')
            return true;
    return false;
}

std::uint32_t MakeHash(std::string_view text)
{
    std::uint32_t h = 0;
    for (const char c : text)
        h = std::rotl(h, 7) + static_cast<std::uint8_t>(c);
    return h;
}

namespace {

// Moves the letters first..last by delta, leaving every other byte alone.
// Every script text passes through here whole: sixteen or eight bytes at a
// time, each byte tested in its own lane without a branch, into a buffer
// that keeps its room.
void shiftLettersInto(std::string_view text, char first, char last, int delta, std::string& out)
{
    out.resize(text.size());
    char* to = out.data();
    const char* from = text.data();
    const std::size_t n = text.size();
    constexpr std::uint64_t ones = 0x0101010101010101ULL;
    constexpr std::uint64_t highs = 0x8080808080808080ULL;
    const auto lo = static_cast<std::uint64_t>(static_cast<unsigned char>(first));
    const auto hi = static_cast<std::uint64_t>(static_cast<unsigned char>(last));
    // A letter and its other case differ in bit 5 alone, so a letter's bit 5
    // is toggled whichever way it moves.
    std::size_t i = 0;
    // Sixteen bytes at a time in the machine's vector registers: a byte's
    // distance from first, unsigned, is at most the span for letters alone.
    using Bytes = unsigned char __attribute__((vector_size(16)));
    const auto from16 = static_cast<unsigned char>(first);
    const auto span16 = static_cast<unsigned char>(last - first);
    for (; i + 16 <= n; i += 16) {
        Bytes bytes;
        std::memcpy(&bytes, from + i, 16);
        const auto letters = reinterpret_cast<Bytes>((bytes - from16) <= span16);
        bytes ^= letters & static_cast<unsigned char>(0x20);
        std::memcpy(to + i, &bytes, 16);
    }
    for (; i + 8 <= n; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, from + i, 8);
        // Bytes of seven bits added to 0x80 - first carry into the high bit
        // when they are at least first; added to 0x80 - (last + 1) when they
        // are past last. A byte whose own high bit is set is no letter.
        const std::uint64_t low7 = word & ~highs;
        const std::uint64_t atLeastFirst = low7 + (0x80 - lo) * ones;
        const std::uint64_t pastLast = low7 + (0x80 - (hi + 1)) * ones;
        const std::uint64_t letters = atLeastFirst & ~pastLast & ~word & highs;
        word ^= letters >> 2; // 0x80 >> 2 is bit 5
        std::memcpy(to + i, &word, 8);
    }
    const unsigned span = static_cast<unsigned char>(last - first);
    for (; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(from[i]);
        const bool inRange = static_cast<unsigned char>(c - static_cast<unsigned char>(first)) <= span;
        to[i] = static_cast<char>(c + (inRange ? delta : 0));
    }
}

std::string shiftLetters(std::string_view text, char first, char last, int delta)
{
    std::string out;
    shiftLettersInto(text, first, last, delta, out);
    return out;
}

} // namespace

std::string FastUpperCase(std::string_view text)
{
    return shiftLetters(text, 'a', 'z', 'A' - 'a');
}

void FastUpperCaseInto(std::string_view text, std::string& out)
{
    shiftLettersInto(text, 'a', 'z', 'A' - 'a', out);
}

std::string FastLowerCase(std::string_view text)
{
    return shiftLetters(text, 'A', 'Z', 'a' - 'A');
}

std::string CutFirstWord(std::string& text)
{
    const std::size_t blank = text.find(' ');
    std::string word;
    if (blank == std::string::npos) {
        word.swap(text);
    } else {
        word = text.substr(0, blank);
        text.erase(0, blank + 1);
    }
    return word;
}

std::string CutLastWord(std::string& text)
{
    const std::size_t blank = text.rfind(' ');
    std::string word;
    if (blank == std::string::npos) {
        word.swap(text);
    } else {
        word = text.substr(blank + 1);
        text.erase(blank);
    }
    return word;
}

long double StrToFloatStrict(std::string_view text)
{
    // from_chars takes no plus sign and knows "inf" and "nan"; a script number
    // is sign, digits, an optional point and an optional exponent.
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    long double value = 0;
    const bool startsWell = !digits.empty() && ((digits.front() >= '0' && digits.front() <= '9') ||
                                                (digits.front() == '.' && digits.size() > 1));
    if (startsWell) {
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (ec == std::errc() && end == digits.data() + digits.size())
            return negative ? -value : value;
    }
    throw std::invalid_argument("Invalid float");
}

std::string IntToStrPlain(std::int32_t value)
{
    return std::to_string(value);
}

std::string FloatToStrFixed(long double value)
{
    // Room for the widest long double in fixed notation: 4933 digits, sign,
    // point and decimals.
    std::string out(4960, '\0');
    const auto [end, ec] = std::to_chars(out.data(), out.data() + out.size(), value, std::chars_format::fixed, 12);
    out.resize(ec == std::errc() ? static_cast<std::size_t>(end - out.data()) : 0);
    return out;
}

std::int32_t StrToIntWithDefault(std::string_view text, std::int32_t fallback)
{
    // One sign at most: from_chars reads a minus but no plus.
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-')
            return fallback;
    }
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return fallback;
    return value;
}

std::size_t TPSPointerList::Add(void* item)
{
    items_.push_back(item);
    return items_.size() - 1;
}

void TPSPointerList::DeleteLast()
{
    if (!items_.empty())
        items_.pop_back();
}

void TPSPointerList::Delete(std::size_t index)
{
    if (index < items_.size())
        items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
}

void TPSPointerList::Remove(const void* item)
{
    const auto it = std::find(items_.begin(), items_.end(), item);
    if (it != items_.end())
        items_.erase(it);
}

void TPSPointerList::SetItem(std::size_t index, void* item)
{
    if (index < items_.size())
        items_[index] = item;
}

std::ptrdiff_t TPSPointerList::IndexOf(const void* item) const
{
    const auto it = std::find(items_.rbegin(), items_.rend(), item);
    return it == items_.rend() ? -1 : items_.rend() - it - 1;
}

std::size_t TPSStringList::Add(std::string text)
{
    items_.push_back(std::move(text));
    return items_.size() - 1;
}

void TPSStringList::Delete(std::size_t index)
{
    if (index < items_.size())
        items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
}

std::string TPSStringList::GetItem(std::size_t index) const
{
    return index < items_.size() ? items_[index] : std::string();
}

void TPSStringList::SetItem(std::size_t index, std::string text)
{
    if (index < items_.size())
        items_[index] = std::move(text);
}

std::ptrdiff_t TPSStringList::IndexOf(std::string_view text) const
{
    const auto it = std::find(items_.begin(), items_.end(), text);
    return it == items_.end() ? -1 : it - items_.begin();
}
