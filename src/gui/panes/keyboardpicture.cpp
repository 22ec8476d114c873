#include "keyboardpicture.h"

#include "data/datatypes.h"
#include "data/ekdata.h"
#include "kbddrv/ekkbddrv.h"
#include "stream/nvbtransfer.h"

namespace {

const char kSeparator = '\\';

}  // namespace

KeyboardPicture KeyboardPicture::of(EkKbdDrv& driver) {
    KeyboardPicture picture;
    picture.listed_ = driver.isConnected();
    picture.listing_ = driver.listings();
    for (int i = 0; i < driver.areaCount(); ++i) {
        const std::string name = driver.areaName(i);
        PictureArea area{transfer::keyboardText(name)};
        if (const EkDataDrive* drive = driver.findArea(name)) {
            area.used = drive->usedSpace();
            area.free = drive->freeSpace();
            area.capacity = drive->capacity();
        }
        picture.areas_.push_back(area);
        picture.takeFolder(driver, area.name + kSeparator);
    }
    for (const auto& [address, where] : allSlots(driver)) {
        if (where.slot == nullptr) {
            continue;
        }
        QString folder = where.area + kSeparator;
        if (!where.folder.isEmpty()) {
            folder += where.folder + kSeparator;
        }
        const std::vector<PictureRow>& rows = picture.rowsOf(folder);
        for (std::size_t row = 0; row < rows.size(); ++row) {
            if (rows[row].slot == address) {
                picture.slots_.push_back({address, {folder, row}});
            }
        }
    }
    return picture;
}

void KeyboardPicture::takeFolder(EkKbdDrv& driver, const QString& path) {
    std::vector<PictureRow> rows;
    EkData* item = nullptr;
    if (driver.openDirectory(path.toStdString(), walk::kFoldersAndSlots, item)) {
        do {
            if (item == nullptr) {
                continue;
            }
            PictureRow row;
            row.caption = transfer::keyboardText(item->name());
            row.isFolder = item->isDirectory();
            row.listed = row.isFolder && item->isPresent();
            if (!row.isFolder) {
                row.slot = SlotAddress::of(*item);
            }
            row.view = library::viewOf(*item);
            rows.push_back(std::move(row));
        } while (driver.nextItem(item));
        driver.closeDirectory();
    }
    for (const PictureRow& row : rows) {
        if (row.isFolder) {
            takeFolder(driver, path + row.caption + kSeparator);
        }
    }
    folders_[path] = std::move(rows);
}

const PictureArea* KeyboardPicture::area(const QString& name) const {
    for (const PictureArea& area : areas_) {
        if (area.name == name) {
            return &area;
        }
    }
    return nullptr;
}

const std::vector<PictureRow>& KeyboardPicture::rowsOf(const QString& path) const {
    static const std::vector<PictureRow> none;
    const auto found = folders_.find(path);
    return found != folders_.end() ? found->second : none;
}

const PictureRow* KeyboardPicture::slot(const SlotAddress& address) const {
    for (const auto& [slot, place] : slots_) {
        if (slot == address) {
            return &rowsOf(place.folder)[place.row];
        }
    }
    return nullptr;
}

std::vector<const PictureRow*> KeyboardPicture::slots() const {
    std::vector<const PictureRow*> rows;
    for (const auto& [slot, place] : slots_) {
        rows.push_back(&rowsOf(place.folder)[place.row]);
    }
    return rows;
}
