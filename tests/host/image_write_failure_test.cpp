// Writes that cannot complete: the tool must say so and leave what was there before untouched.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "host/png_builder.h"
#include "host/sim/image_io.h"
#include "host/tool_runner.h"
#include "host/world_helpers.h"
#include "support/host_fixture.h"

namespace {

namespace fs = std::filesystem;

class ImageWriteFailureTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / ("morvel_write_failure_" + std::to_string(::getpid()) + "_" + info->name());
        fs::create_directories(dir_);
        // Noise compresses badly, so its files are large.
        PF_LayerDef* world = WorldHelpers::hostWorld(host(), 256, 256, PF_PixelFormat_ARGB32);
        uint32_t state = 12345;
        for (int32_t y = 0; y < 256; ++y) {
            auto* row = static_cast<uint8_t*>(world->data) + ptrdiff_t(y) * world->rowbytes;
            for (int32_t i = 0; i < 256 * 4; ++i) {
                state = state * 1664525u + 1013904223u;
                row[i] = uint8_t(state >> 24);
            }
        }
        input_ = path("noise.png");
        Sim::saveImage(input_, *world);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
        HostTest::TearDown();
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    static size_t filesIn(const fs::path& folder) {
        return size_t(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    }

    fs::path dir_;
    std::string input_;
};

TEST_F(ImageWriteFailureTest, AFullDiskLeavesThePreviousOutputIntact) {
    const std::string previous = "the previous output";
    for (const char* extension : {".png", ".exr"}) {
        // A file-size limit makes every write past it fail, as a full disk does.
        const std::string out = path(std::string("out") + extension);
        std::ofstream(out, std::ios::binary) << previous;
        const size_t before = filesIn(dir_);
        ToolRunner::Limits limits;
        limits.fileSizeBytes = 16 * 1024;
        const ToolRunner::Outcome outcome = ToolRunner::run({"image", input_, out}, limits);
        EXPECT_NE(outcome.status, 0) << extension;
        EXPECT_NE(outcome.err.find("cannot be written: File too large"), std::string::npos)
            << extension << ": " << outcome.err;
        EXPECT_EQ(ToolRunner::slurp(out), previous) << extension;
        EXPECT_EQ(filesIn(dir_), before) << extension << ": a temporary file was left";
    }
}

TEST_F(ImageWriteFailureTest, AFullFileSystemLeavesThePreviousOutputIntact) {
    const fs::path mount = dir_ / "small";
    fs::create_directories(mount);
    if (::mount("tmpfs", mount.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
    }
    const std::string previous = "the previous output";
    for (const char* extension : {".png", ".exr"}) {
        const std::string out = (mount / (std::string("out") + extension)).string();
        std::ofstream(out, std::ios::binary) << previous;
        const size_t before = filesIn(mount);
        const ToolRunner::Outcome outcome = ToolRunner::run({"image", input_, out});
        EXPECT_NE(outcome.status, 0) << extension;
        EXPECT_NE(outcome.err.find("No space left on device"), std::string::npos) << extension << ": " << outcome.err;
        EXPECT_EQ(ToolRunner::slurp(out), previous) << extension;
        EXPECT_EQ(filesIn(mount), before) << extension << ": a temporary file was left";
    }
    ::umount(mount.c_str());
}

// Running out of memory (the tool under an address-space limit, as with ulimit -v) is said in one
// line naming what could not be had and for which file or step, and the output stays as it was.
TEST_F(ImageWriteFailureTest, RunningOutOfMemorySaysWhatAndLeavesThePreviousOutput) {
    if (!ToolRunner::kMeasuresMemory) GTEST_SKIP() << "the sanitizers reserve more address space than any limit";
    // 8192 x 8192 at 8 bits (a 256 MB world): one picture held whole (flat, so its file is small),
    // and one whose few bytes only claim that size. The tool itself needs well under 150 MB.
    const std::string held = path("held.png");
    Sim::saveImage(held, *WorldHelpers::hostWorld(host(), 8192, 8192, PF_PixelFormat_ARGB32));
    const std::string claimed = path("claimed.png");
    PngBuilder::Header large;
    large.width = large.height = 8192;
    std::ofstream(claimed, std::ios::binary)
        << PngBuilder::joined(PngBuilder::pieces(large, PngBuilder::deflated(std::string(64, '\0'))));
    struct Case {
        const char* name;
        std::string in;
        long limitMb;
        std::string message;
    } cases[] = {
        {"reading the picture", claimed, 192,
         "image file '" + claimed + "': not enough memory to read it: cannot allocate a 8192x8192 argb world (257 MB)"},
        {"the host's copy of it", held, 448,
         "morvel: image: out of memory: cannot allocate a 8192x8192 argb world (257 MB)"},
    };
    const std::string previous = "the previous output";
    const std::string out = path("out.png");
    for (const Case& c : cases) {
        std::ofstream(out, std::ios::binary) << previous;
        const size_t before = filesIn(dir_);
        ToolRunner::Limits limits;
        limits.addressSpaceBytes = c.limitMb << 20;
        // One heap for every thread, so that the address space the tool takes does not depend on
        // which threads allocate first.
        limits.environment = {"MALLOC_ARENA_MAX=1"};
        const ToolRunner::Outcome outcome = ToolRunner::run({"image", c.in, out}, limits);
        EXPECT_EQ(outcome.status, 1) << c.name;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << c.name << ": " << outcome.err;
        EXPECT_EQ(ToolRunner::lines(outcome.err), 1) << c.name << ": " << outcome.err;
        EXPECT_EQ(ToolRunner::slurp(out), previous) << c.name;
        EXPECT_EQ(filesIn(dir_), before) << c.name << ": a file was left";
    }
}

TEST_F(ImageWriteFailureTest, OutputsThatAreNotRegularFilesAreRefused) {
    const std::string link = path("full.png");
    fs::create_symlink("/dev/full", link);
    const std::string folder = path("folder.png");
    fs::create_directories(folder);
    struct Case {
        const char* name;
        std::string out;
        const char* message;
    } cases[] = {
        {"a link to /dev/full", link, "is a device, not a regular file"},
        {"a directory", folder, "is a directory, not a regular file"},
        {"a missing folder", path("absent/out.png"), "cannot be created: No such file or directory"},
    };
    for (const Case& c : cases) {
        const ToolRunner::Outcome outcome = ToolRunner::run({"image", input_, c.out});
        EXPECT_NE(outcome.status, 0) << c.name;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << c.name << ": " << outcome.err;
    }
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
    EXPECT_TRUE(fs::is_symlink(link));
}

TEST_F(ImageWriteFailureTest, AWriteThroughALinkReplacesTheFileItNames) {
    const std::string real = path("real.png"), link = path("link.png");
    std::ofstream(real) << "old";
    fs::create_symlink(real, link);
    const ToolRunner::Outcome outcome = ToolRunner::run({"image", input_, link});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ToolRunner::slurp(real), ToolRunner::slurp(input_));
}

}  // namespace
