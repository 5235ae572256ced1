#include "mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace sim {

MappedFile::MappedFile(const std::string& path, bool& found) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    found = fd >= 0;
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return;
        }
        found = true;  // there, but not ours to read
        throw std::runtime_error("cannot open " + path);
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        throw std::runtime_error("cannot read " + path);
    }
    size_ = static_cast<size_t>(info.st_size);
    if (size_ > 0) {
        void* mapping = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (mapping == MAP_FAILED) {
            ::close(fd);
            throw std::runtime_error("cannot map " + path);
        }
        mapping_ = mapping;
        data_ = static_cast<const char*>(mapping);
    }
    ::close(fd);  // the mapping keeps the file's pages
}

bool ReadWholeFile(const std::string& path, std::string& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return false;
        }
        throw std::runtime_error("cannot open " + path);
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        throw std::runtime_error("cannot read " + path);
    }
    out.resize(static_cast<size_t>(info.st_size));
    size_t filled = 0;
    while (filled < out.size()) {
        const ssize_t n = ::read(fd, &out[filled], out.size() - filled);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        filled += static_cast<size_t>(n);
    }
    ::close(fd);
    if (filled != out.size()) {
        throw std::runtime_error("cannot read " + path);  // shortened while we read it
    }
    return true;
}

MappedFile::~MappedFile() {
    if (mapping_ != nullptr) {
        ::munmap(mapping_, size_);
    }
}

}  // namespace sim
