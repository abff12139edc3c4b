#pragma once
// Fixed-width names that the program's code uses for platform values.

#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using LONG = std::int32_t;
using UINT = std::uint32_t;
using BOOL = std::int32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;

// Media positions and durations count 100-nanosecond units.
using REFERENCE_TIME = std::int64_t;

// Message parameters are pointer-sized.
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

// A window handle is an id into the table of message windows; 0 is none.
using HWND = std::uintptr_t;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
