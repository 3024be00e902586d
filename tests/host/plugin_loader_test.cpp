#include <elf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/sim/plugin.h"
#include "morvel_host/pipl.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class PluginLoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("morvel_loader_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Refusal is one line naming the file and the reason.
    void expectRefused(const std::string& path, const std::string& reason) {
        try {
            Sim::Plugin plugin(path);
            ADD_FAILURE() << path << " was loaded";
        } catch (const Sim::PluginError& error) {
            const std::string message = error.what();
            EXPECT_EQ(message.find('\n'), std::string::npos) << message;
            EXPECT_EQ(message.rfind(path, 0), 0u) << message;
            EXPECT_NE(message.find(reason), std::string::npos) << message;
        }
    }

    fs::path dir_;
};

TEST_F(PluginLoaderTest, RefusesWhatIsNotAPlugin) {
    const std::string text = (dir_ / "notes.txt").string();
    writeFile(text, {'h', 'e', 'l', 'l', 'o', '\n'});
    const std::string empty = (dir_ / "empty.so").string();
    writeFile(empty, {});

    // A plug-in cut short after its headers: the section table lies beyond the end.
    const std::vector<uint8_t> glow = readFile(Sim::builtPluginPath("MorvelGlow"));
    ASSERT_GT(glow.size(), 200u);
    const std::string cut = (dir_ / "cut.so").string();
    writeFile(cut, std::vector<uint8_t>(glow.begin(), glow.begin() + 200));

    // Copies whose section headers lie about where things are or how big they are.
    auto lying = [&](const std::string& name, auto change) {
        std::vector<uint8_t> file = glow;
        Elf64_Ehdr header;
        std::memcpy(&header, file.data(), sizeof header);
        auto sectionAt = [&](unsigned index) { return file.data() + header.e_shoff + index * sizeof(Elf64_Shdr); };
        unsigned listIndex = header.e_shnum;
        Elf64_Shdr names;
        std::memcpy(&names, sectionAt(header.e_shstrndx), sizeof names);
        for (unsigned i = 0; i < header.e_shnum; ++i) {
            Elf64_Shdr section;
            std::memcpy(&section, sectionAt(i), sizeof section);
            if (std::strcmp(reinterpret_cast<const char*>(file.data() + names.sh_offset + section.sh_name),
                            MORVEL_PIPL_SECTION) == 0) {
                listIndex = i;
            }
        }
        EXPECT_LT(listIndex, header.e_shnum) << name;
        change(file, header, sectionAt(header.e_shstrndx), sectionAt(listIndex));
        std::memcpy(file.data(), &header, sizeof header);
        const std::string path = (dir_ / name).string();
        writeFile(path, file);
        return path;
    };
    const uint64_t end = glow.size();
    auto setOffset = [](uint8_t* section, uint64_t offset) {
        std::memcpy(section + offsetof(Elf64_Shdr, sh_offset), &offset, sizeof offset);
    };
    auto setSize = [](uint8_t* section, uint64_t size) {
        std::memcpy(section + offsetof(Elf64_Shdr, sh_size), &size, sizeof size);
    };

    struct Case {
        std::string path;
        std::string reason;
    } cases[] = {
        {(dir_ / "missing.so").string(), "no such file"},
        {text, "not a plug-in"},
        {empty, "not a plug-in"},
        {dir_.string(), "not a regular file"},
        {cut, "damaged section table"},
        {"/proc/self/exe", "no property list"},
        {lying("table_past_end.so", [&](auto&, Elf64_Ehdr& h, uint8_t*, uint8_t*) { h.e_shoff = end - 8; }),
         "damaged section table"},
        {lying("table_offset_wraps.so",
               [&](auto&, Elf64_Ehdr& h, uint8_t*, uint8_t*) { h.e_shoff = ~uint64_t(0) - 8; }),
         "damaged section table"},
        {lying("names_past_end.so", [&](auto&, Elf64_Ehdr&, uint8_t* n, uint8_t*) { setOffset(n, end + 1); }),
         "damaged section names"},
        {lying("names_too_long.so", [&](auto&, Elf64_Ehdr&, uint8_t* n, uint8_t*) { setSize(n, end); }),
         "damaged section names"},
        {lying("list_past_end.so", [&](auto&, Elf64_Ehdr&, uint8_t*, uint8_t* l) { setOffset(l, end - 4); }),
         "damaged property list section"},
        {lying("list_offset_wraps.so",
               [&](auto&, Elf64_Ehdr&, uint8_t*, uint8_t* l) { setOffset(l, ~uint64_t(0) - 4); }),
         "damaged property list section"},
        {lying("list_too_long.so", [&](auto&, Elf64_Ehdr&, uint8_t*, uint8_t* l) { setSize(l, end); }),
         "damaged property list section"},
    };
    for (const Case& c : cases) expectRefused(c.path, c.reason);
}

TEST_F(PluginLoaderTest, RefusesAPluginWhoseListIsNotAnEffects) {
    const std::string original = Sim::builtPluginPath("MorvelGlow");
    std::vector<uint8_t> file = readFile(original);
    const std::vector<uint8_t> list = Sim::readPropertyListSection(original);
    auto at = std::search(file.begin(), file.end(), list.begin(), list.end());
    ASSERT_NE(at, file.end());
    const std::string kind = "eFKT";
    auto kindAt = std::search(at, at + static_cast<ptrdiff_t>(list.size()), kind.begin(), kind.end());
    ASSERT_NE(kindAt, at + static_cast<ptrdiff_t>(list.size()));
    std::copy_n("AEGP", 4, kindAt);
    const std::string changed = (dir_ / "notaneffect.so").string();
    writeFile(changed, file);
    expectRefused(changed, "not an effect plug-in (kind 'AEGP')");
}

// A property list that names a data symbol as the entry: the symbol is found, but calling it
// would jump into data.
TEST_F(PluginLoaderTest, RefusesAnEntryThatIsNotCode) {
    const std::string original = Sim::builtPluginPath("MorvelGlow");
    std::vector<uint8_t> file = readFile(original);
    const std::vector<uint8_t> list = Sim::readPropertyListSection(original);
    auto at = std::search(file.begin(), file.end(), list.begin(), list.end());
    ASSERT_NE(at, file.end());
    const std::string entry("EntryPointFunc\0", 15);
    auto entryAt = std::search(at, at + static_cast<ptrdiff_t>(list.size()), entry.begin(), entry.end());
    ASSERT_NE(entryAt, at + static_cast<ptrdiff_t>(list.size()));
    const std::string data("MPluginInfo\0\0\0\0", 15);
    std::copy(data.begin(), data.end(), entryAt);
    const std::string changed = (dir_ / "dataentry.so").string();
    writeFile(changed, file);
    expectRefused(changed, "its entry point MPluginInfo is not code");
}

// A plug-in carries megabytes of code and debug information; its property list is found from
// the headers without reading the rest.
TEST_F(PluginLoaderTest, ReadsOnlyTheHeadersAndTheList) {
    for (const char* name : {"MorvelGlow", "MorvelTiltShift", "MorvelDiffusion"}) {
        const std::string path = Sim::builtPluginPath(name);
        uint64_t bytesRead = 0;
        const std::vector<uint8_t> list = Sim::readPropertyListSection(path, &bytesRead);
        const std::vector<uint8_t> file = readFile(path);
        EXPECT_NE(std::search(file.begin(), file.end(), list.begin(), list.end()), file.end()) << name;
        EXPECT_LT(bytesRead, list.size() + (uint64_t(1) << 14)) << name << ": " << bytesRead << " of " << file.size();
    }
}

TEST_F(PluginLoaderTest, FindsTheEntryAndTheRecord) {
    const Sim::Plugin plugin(Sim::builtPluginPath("MorvelGlow"));
    EXPECT_NE(plugin.entry(), nullptr);
    EXPECT_EQ(plugin.properties().entryPoint, "EntryPointFunc");
    const Sim::PluginRecord& record = plugin.record();
    EXPECT_EQ(record.padding, 0);
    EXPECT_EQ(record.reserved1, nullptr);
    EXPECT_EQ(record.reserved2, nullptr);
}

}  // namespace
