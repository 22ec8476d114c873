#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "ekdata.h"

// A container of items: the keyboard as a whole, and each of its memory areas. It owns its
// children and frees each of them exactly once, as its own class, when it is freed.
class EkDataDrive : public EkData {
public:
    explicit EkDataDrive(std::uint16_t type)
        : EkDataDrive(type, KindFlags::Drive | KindFlags::Item) {}

    // Takes ownership and returns the child, for the caller to go on filling it in.
    template <typename Item>
    Item* append(std::unique_ptr<Item> child) {
        Item* raw = child.get();
        children_.push_back(std::move(child));
        return raw;
    }

    int childCount() const { return static_cast<int>(children_.size()); }
    // `index` must be below childCount().
    EkData* child(int index) const { return children_[static_cast<std::size_t>(index)].get(); }
    // True when a child is a directory.
    bool hasSubdirectory() const;

    std::int32_t freeSpace() const { return freeSpace_; }
    void setFreeSpace(std::int32_t bytes) { freeSpace_ = bytes; }
    std::int32_t capacity() const { return capacity_; }
    void setCapacity(std::int32_t bytes) { capacity_ = bytes; }
    std::int32_t usedSpace() const { return capacity_ - freeSpace_; }

    // The object as a container, or null when its kind says it is none.
    static EkDataDrive* from(EkData* item) {
        return item != nullptr && item->isContainer() ? static_cast<EkDataDrive*>(item) : nullptr;
    }

protected:
    EkDataDrive(std::uint16_t type, std::uint8_t kind) : EkData(type, kind) {}

private:
    std::int32_t freeSpace_ = 0;
    std::int32_t capacity_ = 0;
    std::vector<std::unique_ptr<EkData>> children_;
};

// A container inside an area: a registration bank, the song folder, the rhythm folder. It
// differs from a drive only by its kind.
class EkDataDirectory : public EkDataDrive {
public:
    explicit EkDataDirectory(std::uint16_t type)
        : EkDataDrive(type, KindFlags::Directory | KindFlags::Item) {}
};
