#pragma once

#include <QList>
#include <QString>

namespace vorn {

// What a button of MainToolbar is, in the toolkit-neutral terms of its design.
enum class ToolbarButtonStyle { Check, Separator, Placeholder };

struct ToolbarButtonSpec {
    QString key;         // empty for separators
    ToolbarButtonStyle style = ToolbarButtonStyle::Check;
    QString pictureKey;  // key into MainImageList; empty when none
    int tipId = 0;       // string id of tool tip and description; 0 when none
};

// The ten buttons of MainToolbar, in the order they are created.
const QList<ToolbarButtonSpec> &ToolbarButtons();

// The commands a toolbar key or menu item can lead to.
enum class Command {
    None,
    OnlineToggle,
    SortByMachine,
    SortByPart,
    Clean,
    SaveAs,
    Open,
    Resize,
    Exit,
    Help,
    About,
};

// The command behind a toolbar key; keys are compared exactly, and a key
// that matches none (the placeholder "show") gives Command::None.
Command CommandForToolbarKey(const QString &key);

// The picture keys of MainImageList with the resource holding each picture.
struct ImageSpec {
    QString key;
    QString resource;
};
const QList<ImageSpec> &ImageListPictures();

} // namespace vorn
