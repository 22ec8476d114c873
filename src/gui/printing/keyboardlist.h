#pragma once

#include <QString>

#include "lists/itemlist.h"

class KeyboardPicture;
class KbdListModel;

namespace lists {

// The keyboard's list as the window shows it, every slot of every kind in the keyboard's order
// (slot, name, type, size, "On PC" as the list's column says it, and the user's tags when any
// item listed has some), in the window's language;
// the title names `keyboard` and the time it was made.
ItemList keyboardList(const KeyboardPicture& picture, const KbdListModel& model,
                      const QString& keyboard);

}  // namespace lists
