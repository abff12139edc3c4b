#pragma once
// Result codes with their usual numeric values.

#include <cstdint>

using HRESULT = std::int32_t;

constexpr HRESULT hresultOf(std::uint32_t code) { return static_cast<HRESULT>(code); }

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = hresultOf(0x80004001);
constexpr HRESULT E_NOINTERFACE = hresultOf(0x80004002);
constexpr HRESULT E_POINTER = hresultOf(0x80004003);
constexpr HRESULT E_ABORT = hresultOf(0x80004004);
constexpr HRESULT E_FAIL = hresultOf(0x80004005);
constexpr HRESULT E_UNEXPECTED = hresultOf(0x8000FFFF);
constexpr HRESULT E_ACCESSDENIED = hresultOf(0x80070005);
constexpr HRESULT E_HANDLE = hresultOf(0x80070006);
constexpr HRESULT E_OUTOFMEMORY = hresultOf(0x8007000E);
constexpr HRESULT E_INVALIDARG = hresultOf(0x80070057);

constexpr HRESULT CLASS_E_NOAGGREGATION = hresultOf(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = hresultOf(0x80040111);
constexpr HRESULT REGDB_E_CLASSNOTREG = hresultOf(0x80040154);
constexpr HRESULT CO_E_DLLNOTFOUND = hresultOf(0x800401F8);
constexpr HRESULT CO_E_ERRORINDLL = hresultOf(0x800401F9);

// Media graph codes.
constexpr HRESULT VFW_S_NO_MORE_ITEMS = hresultOf(0x00040103);
constexpr HRESULT VFW_S_DUPLICATE_NAME = hresultOf(0x0004022D);
constexpr HRESULT VFW_S_STATE_INTERMEDIATE = hresultOf(0x00040237);
constexpr HRESULT VFW_S_NO_STOP_TIME = hresultOf(0x00040270);
constexpr HRESULT VFW_E_INVALIDMEDIATYPE = hresultOf(0x80040200);
constexpr HRESULT VFW_E_ENUM_OUT_OF_SYNC = hresultOf(0x80040203);
constexpr HRESULT VFW_E_ALREADY_CONNECTED = hresultOf(0x80040204);
constexpr HRESULT VFW_E_FILTER_ACTIVE = hresultOf(0x80040205);
constexpr HRESULT VFW_E_NO_TYPES = hresultOf(0x80040206);
constexpr HRESULT VFW_E_NO_ACCEPTABLE_TYPES = hresultOf(0x80040207);
constexpr HRESULT VFW_E_INVALID_DIRECTION = hresultOf(0x80040208);
constexpr HRESULT VFW_E_NOT_CONNECTED = hresultOf(0x80040209);
constexpr HRESULT VFW_E_NO_ALLOCATOR = hresultOf(0x8004020A);
constexpr HRESULT VFW_E_BUFFER_NOTSET = hresultOf(0x8004020C);
constexpr HRESULT VFW_E_BUFFER_OVERFLOW = hresultOf(0x8004020D);
constexpr HRESULT VFW_E_BADALIGN = hresultOf(0x8004020E);
constexpr HRESULT VFW_E_ALREADY_COMMITTED = hresultOf(0x8004020F);
constexpr HRESULT VFW_E_BUFFERS_OUTSTANDING = hresultOf(0x80040210);
constexpr HRESULT VFW_E_NOT_COMMITTED = hresultOf(0x80040211);
constexpr HRESULT VFW_E_SIZENOTSET = hresultOf(0x80040212);
constexpr HRESULT VFW_E_NO_CLOCK = hresultOf(0x80040213);
constexpr HRESULT VFW_E_NOT_FOUND = hresultOf(0x80040216);
constexpr HRESULT VFW_E_CANNOT_CONNECT = hresultOf(0x80040217);
constexpr HRESULT VFW_E_CANNOT_RENDER = hresultOf(0x80040218);
constexpr HRESULT VFW_E_NOT_STOPPED = hresultOf(0x80040224);
constexpr HRESULT VFW_E_WRONG_STATE = hresultOf(0x80040227);
constexpr HRESULT VFW_E_START_TIME_AFTER_END = hresultOf(0x80040228);
constexpr HRESULT VFW_E_TYPE_NOT_ACCEPTED = hresultOf(0x8004022A);
constexpr HRESULT VFW_E_SAMPLE_REJECTED = hresultOf(0x8004022B);
constexpr HRESULT VFW_E_DUPLICATE_NAME = hresultOf(0x8004022D);
constexpr HRESULT VFW_E_TIMEOUT = hresultOf(0x8004022E);
constexpr HRESULT VFW_E_NOT_ALLOWED_TO_SAVE = hresultOf(0x80040232);
constexpr HRESULT VFW_E_SAMPLE_TIME_NOT_SET = hresultOf(0x80040249);
constexpr HRESULT VFW_E_MEDIA_TIME_NOT_SET = hresultOf(0x80040251);
constexpr HRESULT VFW_E_NO_TIME_FORMAT = hresultOf(0x80040261);
constexpr HRESULT VFW_E_UNSUPPORTED_STREAM = hresultOf(0x80040265);
