#include "toolbarlayout.h"

namespace vorn {

const QList<ToolbarButtonSpec> &ToolbarButtons()
{
    using S = ToolbarButtonStyle;
    static const QList<ToolbarButtonSpec> buttons{
        {QStringLiteral("online"), S::Check, QStringLiteral("online"), 15},
        {QString(), S::Separator, QString(), 0},
        {QStringLiteral("machine"), S::Check, QStringLiteral("machine"), 36},
        {QStringLiteral("part"), S::Check, QStringLiteral("part"), 37},
        {QString(), S::Separator, QString(), 0},
        {QStringLiteral("clean"), S::Check, QStringLiteral("clean"), 38},
        {QStringLiteral("open"), S::Check, QStringLiteral("open"), 61},
        {QStringLiteral("save"), S::Check, QStringLiteral("save"), 39},
        {QString(), S::Separator, QString(), 0},
        {QStringLiteral("show"), S::Placeholder, QString(), 0},
    };
    return buttons;
}

Command CommandForToolbarKey(const QString &key)
{
    // The order of the tests is the dispatcher's; keys are case-sensitive.
    static const std::pair<QLatin1StringView, Command> table[] = {
        {QLatin1StringView("online"), Command::OnlineToggle},
        {QLatin1StringView("machine"), Command::SortByMachine},
        {QLatin1StringView("part"), Command::SortByPart},
        {QLatin1StringView("clean"), Command::Clean},
        {QLatin1StringView("save"), Command::SaveAs},
        {QLatin1StringView("open"), Command::Open},
    };
    for (const auto &[name, command] : table) {
        if (key == name)
            return command;
    }
    return Command::None;
}

const QList<ImageSpec> &ImageListPictures()
{
    static const QList<ImageSpec> pictures{
        {QStringLiteral("online"), QStringLiteral(":/icons/online.svg")},
        {QStringLiteral("machine"), QStringLiteral(":/icons/machine.svg")},
        {QStringLiteral("part"), QStringLiteral(":/icons/part.svg")},
        {QStringLiteral("clean"), QStringLiteral(":/icons/clean.svg")},
        {QStringLiteral("save"), QStringLiteral(":/icons/save.svg")},
        {QStringLiteral("open"), QStringLiteral(":/icons/open.svg")},
    };
    return pictures;
}

} // namespace vorn
