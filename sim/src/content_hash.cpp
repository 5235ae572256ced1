#include "content_hash.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {
namespace {

// Four lanes take 32 bytes a step, so the multiplications of one step do not wait for each
// other; the large odd constants spread each input bit over the lane.
constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
constexpr uint64_t kPrime3 = 0x165667B19E3779F9ull;
constexpr size_t kBlock = 32;

uint64_t Rotate(uint64_t x, int bits) {
    return (x << bits) | (x >> (64 - bits));
}

bool HostIsLittleEndian() {
    const uint16_t probe = 1;
    unsigned char first = 0;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

// Eight bytes as a little-endian number, on every host.
uint64_t Word(const char* p) {
    static const bool little = HostIsLittleEndian();
    uint64_t w = 0;
    if (little) {
        std::memcpy(&w, p, sizeof w);
        return w;
    }
    for (int i = 7; i >= 0; --i) {
        w = (w << 8) | static_cast<unsigned char>(p[i]);
    }
    return w;
}

class Hasher {
  public:
    // Every call but the last must pass a multiple of kBlock bytes.
    void Blocks(const char* p, size_t size) {
        for (; size >= kBlock; p += kBlock, size -= kBlock) {
            for (int lane = 0; lane < 4; ++lane) {
                lanes_[lane] = Rotate(lanes_[lane] + Word(p + 8 * lane) * kPrime2, 31) * kPrime1;
            }
            length_ += kBlock;
        }
        tail_.assign(p, size);
    }

    uint64_t Finish() {
        uint64_t h = Rotate(lanes_[0], 1) + Rotate(lanes_[1], 7) + Rotate(lanes_[2], 12) +
                     Rotate(lanes_[3], 18);
        h ^= length_ + tail_.size();
        size_t i = 0;
        for (; i + 8 <= tail_.size(); i += 8) {
            h = Rotate(h ^ (Word(tail_.data() + i) * kPrime2), 27) * kPrime1 + kPrime3;
        }
        for (; i < tail_.size(); ++i) {
            h = Rotate(h ^ (static_cast<unsigned char>(tail_[i]) * kPrime3), 11) * kPrime1;
        }
        h ^= h >> 33;
        h *= kPrime2;
        h ^= h >> 29;
        h *= kPrime3;
        h ^= h >> 32;
        return h;
    }

  private:
    uint64_t lanes_[4] = {kPrime1 + kPrime2, kPrime2, 0, kPrime3};
    uint64_t length_ = 0;
    std::string tail_;
};

}  // namespace

uint64_t ContentHash(std::string_view bytes) {
    Hasher hasher;
    hasher.Blocks(bytes.data(), bytes.size());
    return hasher.Finish();
}

bool FileContentHash(const std::string& path, uint64_t& hash, uint64_t& size) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    // One small buffer on the stack, reused for every chunk: the file's pages are copied from
    // the page cache, never faulted into a mapping of the whole file or into fresh heap.
    constexpr size_t kChunk = 64 * 1024;
    static_assert(kChunk % kBlock == 0, "a chunk is whole blocks");
    char buffer[kChunk];
    Hasher hasher;
    size = 0;
    bool ok = true;
    while (true) {
        size_t filled = 0;
        while (filled < kChunk) {
            const ssize_t n = ::read(fd, buffer + filled, kChunk - filled);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                ok = n == 0;
                break;
            }
            filled += static_cast<size_t>(n);
        }
        size += filled;
        hasher.Blocks(buffer, filled);
        if (!ok || filled < kChunk) {
            break;
        }
    }
    ::close(fd);
    hash = hasher.Finish();
    return ok;
}

}  // namespace sim
