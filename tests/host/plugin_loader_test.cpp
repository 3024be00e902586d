#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/sim/plugin.h"

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
