#include "core/HugePages.h"

#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

void AdviseHugePages(void* data, std::size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Below a few huge pages the hint buys nothing.
    constexpr std::size_t kWorthwhile = std::size_t(8) << 20;
    const long page = sysconf(_SC_PAGESIZE);
    if (!data || bytes < kWorthwhile || page <= 0)
        return;
    const std::uintptr_t pageSize = std::uintptr_t(page);
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(data) + pageSize - 1) / pageSize * pageSize;
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(data) + bytes) / pageSize * pageSize;
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}
