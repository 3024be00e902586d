#include <gtest/gtest.h>

#include "host/sim/pipl.h"
#include "library/plugin/pipl.h"

namespace {

using Morvel::Plugin::PiplValues;

constexpr PiplValues kLongNames{.name = "AnEffectWithAVeryLongNameIndeed",
                                .category = "A Category",
                                .entryPoint = "SomeOtherEntry",
                                .matchName = "x",
                                .version = 0x3FFFFF,
                                .outFlags = 0xFFFFFFFF,
                                .outFlags2 = 0x80000001};
constexpr auto kLongNamesList = Morvel::Plugin::buildPipl<kLongNames>();

// The host's reader gives back every value the list was built from.
TEST(PropertyListBuilder, HostReaderGivesBackEveryValue) {
    const Sim::PropertyList list = Sim::decodePropertyList(kLongNamesList);
    EXPECT_EQ(list.version, 1);
    ASSERT_EQ(list.properties.size(), 12u);
    for (const Sim::Property& p : list.properties) {
        EXPECT_EQ(p.vendor, "8BIM");
        EXPECT_EQ(p.id, 0u);
    }
    EXPECT_EQ(list.kind, "eFKT");
    EXPECT_EQ(list.name, kLongNames.name);
    EXPECT_EQ(list.category, kLongNames.category);
    EXPECT_EQ(list.entryPoint, kLongNames.entryPoint);
    EXPECT_EQ(list.matchName, kLongNames.matchName);
    EXPECT_EQ(list.effectVersion, kLongNames.version);
    EXPECT_EQ(list.outFlags, kLongNames.outFlags);
    EXPECT_EQ(list.outFlags2, kLongNames.outFlags2);
    EXPECT_EQ(list.piplMajor, 2);
    EXPECT_EQ(list.piplMinor, 0);
    EXPECT_EQ(list.specMajor, 13);
    EXPECT_EQ(list.specMinor, 1);
    EXPECT_EQ(list.infoFlags, 0);
    EXPECT_EQ(list.reservedInfo, 8u);
}

TEST(PropertyListBuilder, StringPropertiesArePaddedToWholeWords) {
    const Sim::PropertyList list = Sim::decodePropertyList(kLongNamesList);
    struct Case {
        const char* key;
        size_t length;
    } cases[] = {
        {"name", 32},  // length byte and 31 characters
        {"catg", 12},  // length byte and 10 characters, then padding
        {"8664", 16},  // 14 characters and the terminator, then padding
        {"eMNA", 4},   // length byte and one character, then padding
    };
    for (const Case& c : cases) {
        const Sim::Property* p = list.find(c.key);
        ASSERT_NE(p, nullptr) << c.key;
        EXPECT_EQ(p->data.size(), c.length) << c.key;
    }
}

}  // namespace
