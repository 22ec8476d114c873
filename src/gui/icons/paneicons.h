#pragma once

#include <QIcon>
#include <QString>
#include <cstdint>

// The keyboard icon set: the same index means the same thing in the keyboard pane's tree and in
// both list sizes (kbdN.svg in the resources). Unscoped: the pane's models carry it as an int.
namespace kbdpane {

enum Icon : int {
    AreaNotListed = 0,
    AreaListed = 1,
    FolderNotListed = 2,
    FolderListed = 3,
    FolderListedOpen = 4,  // a listed folder while selected in the tree
    EmptySlot = 5,
    ToneIcon = 6,
    DspIcon = 7,
    RegistrationIcon = 8,
    SongIcon = 9,
    RhythmIcon = 10,
    KeyboardIcon = 11,  // the tree's root
};

// How a kind of item shows in the window, in the keyboard list, the PC list's dump rows and
// the Library dialog alike. The word of a present item's type ("Registraion" is the keyboard
// software's own spelling); empty for a type the keyboard does not keep.
QString typeWord(std::uint16_t type);
// The picture of a present item of that type; the blank page for a type the pane does not know.
Icon typeIcon(std::uint16_t type);

}  // namespace kbdpane

// The toolbar pictures (toolN.svg). The four view styles come first, in the order of their
// buttons.
enum class ToolbarIcon : int {
    None = -1,  // a menu-only command
    LargeIcon = 0,
    SmallIcon = 1,
    List = 2,
    Details = 3,
    Retrieve = 4,  // re-read the shown folder
    Send = 5,
    GetList = 6,
    Import = 7,
    Delete = 8,
};

// The program's own pictures (SVG in the resources, drawn for 16 and 32 pixels). Rendered with
// QSvgRenderer, so no icon engine plugin is needed.
class PaneIcons {
public:
    // A null icon for an index outside the set.
    static QIcon keyboard(int index);
    static QIcon toolbar(ToolbarIcon icon);
    static QIcon application();
};
