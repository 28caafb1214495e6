#include "ansicodepage.h"

#include <windows.h>

namespace vorn {

int SystemAnsiCodePage()
{
    return int(GetACP());
}

} // namespace vorn
