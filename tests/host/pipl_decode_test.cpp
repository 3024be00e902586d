#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/sim/pipl.h"

namespace {

// Builds lists by hand, the way a damaged or foreign file might hold them.
struct ListBytes {
    std::vector<uint8_t> bytes;
    ListBytes& u16(uint16_t v) {
        bytes.push_back(uint8_t(v));
        bytes.push_back(uint8_t(v >> 8));
        return *this;
    }
    ListBytes& u32(uint32_t v) { return u16(uint16_t(v)).u16(uint16_t(v >> 16)); }
    ListBytes& text(const std::string& s) {
        bytes.insert(bytes.end(), s.begin(), s.end());
        return *this;
    }
    ListBytes& property(const std::string& key, uint32_t length) { return text("8BIM").text(key).u32(0).u32(length); }
};

ListBytes header(uint32_t count) { return ListBytes{}.u16(1).u32(0).u32(count); }

TEST(PropertyListReader, ReadsAWellFormedList) {
    ListBytes list = header(3);
    list.property("kind", 4).text("eFKT");
    list.property("name", 8)
        .text("\x03"
              "Abc")
        .u32(0);
    list.property("eVER", 4).u32(0x80600);
    const Sim::PropertyList decoded = Sim::decodePropertyList(list.bytes);
    EXPECT_EQ(decoded.kind, "eFKT");
    EXPECT_EQ(decoded.name, "Abc");
    EXPECT_EQ(decoded.effectVersion, 0x80600u);
    EXPECT_EQ(decoded.properties.size(), 3u);
}

TEST(PropertyListReader, RefusesDamagedLists) {
    struct Case {
        const char* label;
        std::vector<uint8_t> bytes;
    };
    std::vector<Case> cases;
    cases.push_back({"empty", {}});
    cases.push_back({"header cut short", {1, 0, 0, 0}});
    cases.push_back({"count beyond the data", header(2).property("kind", 4).text("eFKT").bytes});
    cases.push_back({"length beyond the data", header(1).property("kind", 400).text("eFKT").bytes});
    cases.push_back({"huge length", header(1).property("kind", 0xFFFFFFFF).text("eFKT").bytes});
    cases.push_back({"length not whole words", header(1).property("aeFL", 3).text("abc").bytes});
    cases.push_back({"bytes left over", header(1).property("kind", 4).text("eFKT").u32(0).bytes});
    cases.push_back({"string longer than its data", header(1).property("name", 4).u32(0x41414109).bytes});
    cases.push_back({"entry point without terminator", header(1).property("8664", 4).text("Entr").bytes});
    cases.push_back({"number of the wrong size", header(1).property("eGLO", 8).u32(1).u32(2).bytes});
    cases.push_back({"empty string property", header(1).property("catg", 0).bytes});
    for (const Case& c : cases) {
        try {
            Sim::decodePropertyList(c.bytes);
            ADD_FAILURE() << c.label << ": accepted";
        } catch (const Sim::PluginError& error) {
            EXPECT_EQ(std::string(error.what()).find('\n'), std::string::npos) << c.label;
        }
    }
}

}  // namespace
