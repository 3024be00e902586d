#pragma once

// The files under the image readers and writers: an input that must be a regular file and is read
// at offsets, and an output that appears whole or not at all.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/sim/thread_pool.h"

namespace Sim {

[[noreturn]] void imageFailure(const std::string& path, const std::string& why);

// A regular file opened for reading. A FIFO, device, socket or directory is refused at once,
// without waiting on it.
class ImageInput {
public:
    explicit ImageInput(const std::string& path);
    ~ImageInput();
    ImageInput(const ImageInput&) = delete;
    ImageInput& operator=(const ImageInput&) = delete;

    const std::string& path() const { return path_; }
    uint64_t size() const { return size_; }
    // Reads up to `count` bytes at `offset`; fewer only at the end of the file.
    size_t readAt(uint64_t offset, void* bytes, size_t count) const;
    // Exactly `count` bytes at `offset`, or false when the file ends first.
    bool readExactly(uint64_t offset, void* bytes, size_t count) const;
    // System calls made so far that read the file.
    uint64_t readCalls() const { return readCalls_.load(std::memory_order_relaxed); }

private:
    std::string path_;
    int fd_ = -1;
    uint64_t size_ = 0;
    mutable std::atomic<uint64_t> readCalls_{0};
};

// A buffered output into a temporary file beside the target. commit() writes the rest, closes
// and renames it into place, checking each step; without it the temporary file is removed and
// the target is left as it was.
class ImageOutput {
public:
    explicit ImageOutput(const std::string& path);
    ~ImageOutput();
    ImageOutput(const ImageOutput&) = delete;
    ImageOutput& operator=(const ImageOutput&) = delete;

    const std::string& path() const { return path_; }
    // Throw ImageError naming the OS error.
    void write(const void* bytes, size_t count);
    void seek(uint64_t position);
    uint64_t tell() const { return position_; }
    void commit();

private:
    void flush();

    std::string path_;
    std::string target_;  // the file renamed over: the path, or where its symbolic link points
    std::string temporary_;
    int fd_ = -1;
    uint64_t position_ = 0;
    std::vector<unsigned char> buffer_;
    size_t buffered_ = 0;
};

}  // namespace Sim
