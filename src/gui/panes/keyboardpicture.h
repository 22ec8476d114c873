#pragma once

#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "kbddrv/slotaddress.h"
#include "library/slotsonpc.h"

class EkKbdDrv;

// One row of a keyboard folder as the window shows it: a subfolder or a slot.
struct PictureRow {
    QString caption;                  // the name as the list shows it
    bool isFolder = false;
    bool listed = false;              // a folder whose part of the list has been fetched
    std::optional<SlotAddress> slot;  // a slot's address; none for a folder
    library::SlotView view;           // a slot's name, type and size, as the keyboard gave them
};

// A memory area of the keyboard, with its space.
struct PictureArea {
    QString name;  // "Tone:"
    std::int32_t used = 0;
    std::int32_t free = 0;
    std::int32_t capacity = 0;
};

// What the window knows of the keyboard's memory: a copy of the driver's tree, taken on the
// keyboard's thread when a command ends there and handed to the window's thread by value.
// The panes, the dialogs and the checks a command makes before it starts read this copy; the
// tree itself belongs to the keyboard's thread, so a command rewriting it never races the
// window reading it.
class KeyboardPicture {
public:
    // On the thread that owns the driver (or while nothing else uses it).
    static KeyboardPicture of(EkKbdDrv& driver);

    bool isListed() const { return listed_; }
    // The driver's count of listings when taken: another one means a new layout.
    int listing() const { return listing_; }
    const std::vector<PictureArea>& areas() const { return areas_; }
    const PictureArea* area(const QString& name) const;
    // The rows of the folder at `path` ("Tone:\", "Registration:\Bank2\"), in slot order; none
    // for a path that names no folder.
    const std::vector<PictureRow>& rowsOf(const QString& path) const;
    // A slot's row; null when the picture has no such slot.
    const PictureRow* slot(const SlotAddress& address) const;
    // Every slot's row, in the keyboard's layout order.
    std::vector<const PictureRow*> slots() const;

private:
    void takeFolder(EkKbdDrv& driver, const QString& path);

    bool listed_ = false;
    int listing_ = 0;
    std::vector<PictureArea> areas_;
    std::map<QString, std::vector<PictureRow>> folders_;  // by path
    struct Place {
        QString folder;
        std::size_t row = 0;
    };
    std::vector<std::pair<SlotAddress, Place>> slots_;  // in layout order
};
