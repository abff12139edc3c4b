#include "platform/core/guid.h"

#include <gtest/gtest.h>

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
