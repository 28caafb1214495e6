#include "ansicodepage.h"

namespace vorn {

// A POSIX system has no ANSI code page: its locale is UTF-8 nowadays, which
// says nothing about tables written by Windows programs.
int SystemAnsiCodePage()
{
    return 1252;
}

} // namespace vorn
