// The heap a large machine image is loaded into. Building the registry tree of a large image
// touches tens of megabytes of fresh memory, and on virtual machines the first touch of each
// 4 KiB page is the largest single cost of a run (measured: 64 MiB in 4 KiB pages ~300 ms, in
// 2 MiB pages ~8 ms). So before loading, the heap is grown once by about what the image will
// need and that stretch is offered to the kernel for transparent huge pages. Where the kernel
// or the allocator does not take part (THP off, a sanitizer's allocator) nothing changes.
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "machine_internal.h"

namespace sim {
namespace {

constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
// glibc serves larger blocks with mmap of their own, which never comes from the heap.
constexpr size_t kMaxHeapBlock = size_t{32} << 20;

}  // namespace

void ReserveHeapForImage(size_t bytes) {
#if defined(__GLIBC__)
    static bool done = false;
    if (done || bytes < kHugePage) {
        return;
    }
    done = true;
    if (bytes > 8 * kMaxHeapBlock) {
        bytes = 8 * kMaxHeapBlock;
    }
    const uintptr_t before = reinterpret_cast<uintptr_t>(sbrk(0));
    // Keep what the heap grows by: no trimming on free, and growth in one large step.
    mallopt(M_MMAP_THRESHOLD, static_cast<int>(kMaxHeapBlock));
    mallopt(M_TRIM_THRESHOLD, static_cast<int>(8 * kMaxHeapBlock + kHugePage));
    mallopt(M_TOP_PAD, static_cast<int>(bytes));
    void* volatile probe = std::malloc(kHugePage);  // volatile: a pair the compiler may not drop
    std::free(probe);
    const uintptr_t after = reinterpret_cast<uintptr_t>(sbrk(0));
    const uintptr_t start = (before + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t end = after & ~(kHugePage - 1);
    if (end > start) {
        madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
    }
    mallopt(M_TOP_PAD, 0);
#else
    (void)bytes;
#endif
}

}  // namespace sim
