#include "platform/core/guid.h"
#include "platform/core/hresult.h"

#include <gtest/gtest.h>

#include <utility>

TEST(Guid, ParsesAndPrintsInUpperCase)
{
    const auto g = GUID::parse("{e436ebb5-524f-11ce-9f53-0020af0ba770}");
    ASSERT_TRUE(g);
    EXPECT_EQ(g->Data1, 0xE436EBB5u);
    EXPECT_EQ(g->Data2, 0x524Fu);
    EXPECT_EQ(g->Data4[7], 0x70u);
    EXPECT_EQ(g->toString(), "{E436EBB5-524F-11CE-9F53-0020AF0BA770}");
    EXPECT_EQ(GUID::parse("E436EBB5-524F-11CE-9F53-0020AF0BA770"), g);
    constexpr GUID literal = "{E436EBB5-524F-11CE-9F53-0020AF0BA770}"_guid;
    EXPECT_EQ(literal, *g);
}

TEST(Guid, RefusesMalformedText)
{
    for (const char* bad : {"", "{}", "{E436EBB5-524F-11CE-9F53-0020AF0BA77}", "{E436EBB5-524F-11CE-9F53-0020AF0BA77G}",
                            "{E436EBB5_524F-11CE-9F53-0020AF0BA770}", "(E436EBB5-524F-11CE-9F53-0020AF0BA770)",
                            "E436EBB5-524F-11CE-9F53-0020AF0BA770}}"})
        EXPECT_FALSE(GUID::parse(bad)) << bad;
}

TEST(Guid, FourCCSubtypes)
{
    const GUID dvsd = GUID::fromFourCC(makeFourCC('d', 'v', 's', 'd'));
    EXPECT_EQ(dvsd.toString(), "{64737664-0000-0010-8000-00AA00389B71}");
    EXPECT_EQ(dvsd.fourCC(), makeFourCC('d', 'v', 's', 'd'));
    EXPECT_EQ(("{E436EBB5-524F-11CE-9F53-0020AF0BA770}"_guid).fourCC(), 0u);
}

// Modules and scripts compare result codes by number, so each must be the
// value that the rest of the world uses.
TEST(ResultCodes, HaveTheirPublishedValues)
{
    const std::pair<HRESULT, std::uint32_t> codes[] = {
        {S_OK, 0x00000000},
        {S_FALSE, 0x00000001},
        {E_NOTIMPL, 0x80004001},
        {E_NOINTERFACE, 0x80004002},
        {E_POINTER, 0x80004003},
        {E_ABORT, 0x80004004},
        {E_FAIL, 0x80004005},
        {E_UNEXPECTED, 0x8000FFFF},
        {E_ACCESSDENIED, 0x80070005},
        {E_HANDLE, 0x80070006},
        {E_OUTOFMEMORY, 0x8007000E},
        {E_INVALIDARG, 0x80070057},
        {CLASS_E_NOAGGREGATION, 0x80040110},
        {CLASS_E_CLASSNOTAVAILABLE, 0x80040111},
        {REGDB_E_CLASSNOTREG, 0x80040154},
        {CO_E_DLLNOTFOUND, 0x800401F8},
        {CO_E_ERRORINDLL, 0x800401F9},
        {VFW_S_NO_MORE_ITEMS, 0x00040103},
        {VFW_S_DUPLICATE_NAME, 0x0004022D},
        {VFW_S_STATE_INTERMEDIATE, 0x00040237},
        {VFW_S_NO_STOP_TIME, 0x00040270},
        {VFW_E_INVALIDMEDIATYPE, 0x80040200},
        {VFW_E_ALREADY_CONNECTED, 0x80040204},
        {VFW_E_FILTER_ACTIVE, 0x80040205},
        {VFW_E_NO_TYPES, 0x80040206},
        {VFW_E_NO_ACCEPTABLE_TYPES, 0x80040207},
        {VFW_E_INVALID_DIRECTION, 0x80040208},
        {VFW_E_NOT_CONNECTED, 0x80040209},
        {VFW_E_NO_ALLOCATOR, 0x8004020A},
        {VFW_E_BUFFER_NOTSET, 0x8004020C},
        {VFW_E_BUFFER_OVERFLOW, 0x8004020D},
        {VFW_E_NOT_COMMITTED, 0x80040211},
        {VFW_E_SIZENOTSET, 0x80040212},
        {VFW_E_NO_CLOCK, 0x80040213},
        {VFW_E_NOT_FOUND, 0x80040216},
        {VFW_E_CANNOT_CONNECT, 0x80040217},
        {VFW_E_CANNOT_RENDER, 0x80040218},
        {VFW_E_NOT_STOPPED, 0x80040224},
        {VFW_E_WRONG_STATE, 0x80040227},
        {VFW_E_START_TIME_AFTER_END, 0x80040228},
        {VFW_E_TYPE_NOT_ACCEPTED, 0x8004022A},
        {VFW_E_SAMPLE_REJECTED, 0x8004022B},
        {VFW_E_DUPLICATE_NAME, 0x8004022D},
        {VFW_E_TIMEOUT, 0x8004022E},
        {VFW_E_NOT_ALLOWED_TO_SAVE, 0x80040232},
        {VFW_E_NO_TIME_FORMAT, 0x80040261},
        {VFW_E_UNSUPPORTED_STREAM, 0x80040265},
    };
    for (const auto& [code, value] : codes)
        EXPECT_EQ(static_cast<std::uint32_t>(code), value) << std::hex << value;
    EXPECT_TRUE(SUCCEEDED(VFW_S_STATE_INTERMEDIATE));
    EXPECT_TRUE(FAILED(VFW_E_NOT_ALLOWED_TO_SAVE));
}
