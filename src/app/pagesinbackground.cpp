#include "pagesinbackground.h"

#include <cstdint>
#include <system_error>
#include <thread>

#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace vorn {

void PopulatePagesInBackground(const void *data, std::size_t bytes)
{
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    constexpr std::size_t smallest = std::size_t(1) << 20;
    if (!data || bytes < smallest)
        return;
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pageSize <= 0)
        return;
    const auto mask = ~std::uintptr_t(pageSize - 1);
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + std::uintptr_t(pageSize) - 1) & mask;
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & mask;
    if (end <= begin)
        return;
    try {
        // Fails harmlessly where the range is no longer mapped; the pages
        // then fault in as they are written, as they would have anyway.
        std::thread([begin, end] {
            madvise(reinterpret_cast<void *>(begin), end - begin, MADV_POPULATE_WRITE);
        }).detach();
    } catch (const std::system_error &) {
    }
#else
    (void)data;
    (void)bytes;
#endif
}

} // namespace vorn
