// A file's bytes mapped read-only for as long as the object lives. Loading a large machine
// image reads each file once from start to end; mapping it (all pages at once) costs far less
// than copying it into memory the process must first fault in.
#pragma once
#include <string>
#include <string_view>

namespace sim {

class MappedFile {
  public:
    // Throws std::runtime_error when the file exists but cannot be read; `found` tells whether
    // it exists.
    MappedFile(const std::string& path, bool& found);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    std::string_view bytes() const { return {data_, size_}; }

  private:
    const char* data_ = nullptr;
    size_t size_ = 0;
    void* mapping_ = nullptr;
};

// Reads a whole file into `out`, for a file read once and dropped soon after: copying it into
// the heap the image is loaded into costs less than mapping it and taking the mapping down.
// False when there is no such file; throws std::runtime_error when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& out);

}  // namespace sim
