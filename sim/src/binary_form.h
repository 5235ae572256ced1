// The little-endian records of the image's cache files: numbers of a given width and
// length-prefixed byte strings, written and read the same way on every host.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace sim::binary {

inline void PutNumber(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

inline void PutBytes(std::string& out, std::string_view bytes) {
    PutNumber(out, bytes.size(), 4);
    out.append(bytes);
}

// Reads the records with every length checked against what is left: a read past the end
// fails and leaves the reader where it was.
class Reader {
  public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    bool AtEnd() const { return pos_ == bytes_.size(); }

    bool Number(uint64_t& value, int size) {
        if (bytes_.size() - pos_ < static_cast<size_t>(size)) {
            return false;
        }
        value = 0;
        for (int i = size - 1; i >= 0; --i) {
            value = (value << 8) | static_cast<unsigned char>(bytes_[pos_ + i]);
        }
        pos_ += size;
        return true;
    }

    bool Bytes(std::string_view& out) {
        const size_t start = pos_;
        uint64_t size = 0;
        if (!Number(size, 4) || bytes_.size() - pos_ < size) {
            pos_ = start;
            return false;
        }
        out = bytes_.substr(pos_, size);
        pos_ += size;
        return true;
    }

  private:
    std::string_view bytes_;
    size_t pos_ = 0;
};

}  // namespace sim::binary
