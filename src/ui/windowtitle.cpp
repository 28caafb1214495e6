#include "windowtitle.h"

#include "texts.h"

namespace vorn {

QString TitleText(const AppState &state)
{
    QString title = GetText(48) + state.CommandText + GetText(62);
    if (state.Offline == 0)
        return title + GetText(49);
    if (!state.LoadedName.isEmpty())
        return title + GetText(51) + state.LoadedName;
    return title + GetText(50);
}

} // namespace vorn
