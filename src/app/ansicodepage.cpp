#include "ansicodepage.h"

#include <atomic>

namespace vorn {

namespace {

// Set on the window's thread while it loads; read by whichever thread opens
// a table.
std::atomic<int> chosen{0};

} // namespace

int AnsiCodePage()
{
    const int codePage = chosen.load(std::memory_order_relaxed);
    return codePage > 0 ? codePage : SystemAnsiCodePage();
}

void SetAnsiCodePage(int codePage)
{
    chosen.store(codePage > 0 ? codePage : 0, std::memory_order_relaxed);
}

} // namespace vorn
