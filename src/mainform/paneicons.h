#pragma once

#include <QIcon>

// The program's own pictures (SVG in the resources, drawn for 16 and 32 pixels): the keyboard
// icon set of the keyboard pane and the toolbar icons. Rendered with QSvgRenderer, so no icon
// engine plugin is needed.
class PaneIcons {
public:
    // Keyboard pane, by kbdpane::Icon index (0 to 11); a null icon outside.
    static QIcon keyboard(int index);
    // Toolbar: 0 large icons, 1 small icons, 2 list, 3 details, 4 re-read the folder, 5 send,
    // 6 get the list, 7 import, 8 delete.
    static QIcon toolbar(int index);
    static QIcon application();
};
