#include "host/sim/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "host/sim/image_io.h"

namespace Sim {

namespace {

std::string osError(const std::string& what) { return what + ": " + std::strerror(errno); }

// What a path is when it is not a regular file, for the refusal.
std::string kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    return "not a regular file";
}

std::string notRegular(mode_t mode) {
    const std::string kind = kindOf(mode);
    return kind.rfind("a ", 0) == 0 ? "is " + kind + ", not a regular file" : kind;
}

constexpr size_t kOutputBuffer = size_t(1) << 20;

}  // namespace

void imageFailure(const std::string& path, const std::string& why) {
    throw ImageError("image file '" + path + "': " + why);
}

// ---------------------------------------------------------------- ImageInput

ImageInput::ImageInput(const std::string& path) : path_(path) {
    // Non-blocking, so that opening a FIFO with no writer returns at once and can be refused.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) imageFailure(path, osError("cannot be opened"));
    struct stat status {};
    if (::fstat(fd_, &status) != 0) {
        const std::string why = osError("cannot be examined");
        ::close(fd_);
        imageFailure(path, why);
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd_);
        imageFailure(path, notRegular(status.st_mode));
    }
    size_ = uint64_t(status.st_size);
}

ImageInput::~ImageInput() {
    if (fd_ >= 0) ::close(fd_);
}

size_t ImageInput::readAt(uint64_t offset, void* bytes, size_t count) const {
    size_t done = 0;
    while (done < count) {
        readCalls_.fetch_add(1, std::memory_order_relaxed);
        const ssize_t got = ::pread(fd_, static_cast<char*>(bytes) + done, count - done, off_t(offset + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            imageFailure(path_, osError("cannot be read"));
        }
        if (got == 0) break;
        done += size_t(got);
    }
    return done;
}

bool ImageInput::readExactly(uint64_t offset, void* bytes, size_t count) const {
    return readAt(offset, bytes, count) == count;
}

// ---------------------------------------------------------------- ImageOutput

ImageOutput::ImageOutput(const std::string& path) : path_(path), target_(path) {
    struct stat status {};
    bool exists = ::stat(path.c_str(), &status) == 0;
    if (exists && !S_ISREG(status.st_mode)) imageFailure(path, notRegular(status.st_mode));
    // Through a symbolic link the file it names is replaced, not the link.
    struct stat link {};
    if (exists && ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (resolved == nullptr) imageFailure(path, osError("cannot follow the link"));
        target_ = resolved;
        std::free(resolved);
    }
    const size_t slash = target_.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target_ : target_.substr(slash + 1);

    std::random_device entropy;
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08x", unsigned(entropy()));
        temporary_ = folder + "." + name + suffix + ".tmp";
        // 0666 before the umask, as any new file; an existing file's permissions are kept below.
        fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST) imageFailure(path, osError("cannot be created"));
    }
    if (fd_ < 0) imageFailure(path, "cannot be created: no free temporary name beside it");
    if (exists && ::fchmod(fd_, status.st_mode & 07777) != 0) {
        const std::string why = osError("cannot be given the permissions of the file it replaces");
        ::close(fd_);
        ::unlink(temporary_.c_str());
        fd_ = -1;
        imageFailure(path, why);
    }
    buffer_.resize(kOutputBuffer);
}

ImageOutput::~ImageOutput() {
    if (fd_ < 0) return;
    ::close(fd_);
    ::unlink(temporary_.c_str());
}

void ImageOutput::flush() {
    size_t done = 0;
    while (done < buffered_) {
        const ssize_t put = ::write(fd_, buffer_.data() + done, buffered_ - done);
        if (put < 0) {
            if (errno == EINTR) continue;
            buffered_ = 0;
            imageFailure(path_, osError("cannot be written"));
        }
        done += size_t(put);
    }
    buffered_ = 0;
}

void ImageOutput::write(const void* bytes, size_t count) {
    if (fd_ < 0) imageFailure(path_, "written after it was closed");
    const auto* from = static_cast<const unsigned char*>(bytes);
    while (count > 0) {
        if (buffered_ == buffer_.size()) flush();
        const size_t take = std::min(count, buffer_.size() - buffered_);
        std::memcpy(buffer_.data() + buffered_, from, take);
        buffered_ += take;
        from += take;
        count -= take;
        position_ += take;
    }
}

void ImageOutput::seek(uint64_t position) {
    flush();
    if (::lseek(fd_, off_t(position), SEEK_SET) < 0) imageFailure(path_, osError("cannot be written"));
    position_ = position;
}

void ImageOutput::commit() {
    flush();
    const int fd = fd_;
    fd_ = -1;
    // Some file systems report a failed write only when the file is closed.
    if (::close(fd) != 0) {
        const std::string why = osError("cannot be written");
        ::unlink(temporary_.c_str());
        imageFailure(path_, why);
    }
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        const std::string why = osError("cannot be put in place");
        ::unlink(temporary_.c_str());
        imageFailure(path_, why);
    }
}

}  // namespace Sim
