#pragma once

#include <cstdint>
#include <string>

#include "dataheader.h"
#include "datatypes.h"

// One data item: a slot of the keyboard, or the item held in a ".nvb" file. Its class is
// recorded in kind(); the destructor is virtual only so that an owning pointer to EkData frees
// each object as its own class.
class EkData {
public:
    explicit EkData(std::uint16_t type) : EkData(type, KindFlags::Item) {}
    virtual ~EkData() = default;

    EkData(const EkData&) = delete;
    EkData& operator=(const EkData&) = delete;

    // The name alone; neither the data nor the header changes.
    std::string name() const { return name_; }
    void setName(std::string name) { name_ = std::move(name); }

    // For a registration, the bank that holds it; 0 for every other item.
    std::int32_t bank() const { return bank_; }
    void setBank(std::int32_t bank) { bank_ = bank; }
    // The item's index within its area or bank: the slot number on the keyboard.
    std::int32_t number() const { return number_; }
    void setNumber(std::int32_t number) { number_ = number; }

    // A slot: it holds data. A folder: its part of the keyboard's list has been fetched.
    bool isPresent() const { return present_; }
    void setPresent() { present_ = true; }
    void clearPresent() { present_ = false; }

    std::uint32_t size() const { return header_.size(); }
    void setSize(std::uint32_t size) { header_.setSize(size); }
    std::uint16_t type() const { return header_.type(); }
    void setType(std::uint16_t type) { header_.setType(type); }
    std::uint16_t modelCode() const { return header_.modelCode(); }
    void setModelCode(std::uint16_t code) { header_.setModelCode(code); }

    DataHeader& header() { return header_; }
    const DataHeader& header() const { return header_; }

    std::uint8_t kind() const { return kind_; }
    bool isDirectory() const { return (kind_ & KindFlags::Directory) != 0; }
    bool isFile() const { return (kind_ & KindFlags::File) != 0; }
    // A drive or a directory: an object with children.
    bool isContainer() const { return (kind_ & (KindFlags::Drive | KindFlags::Directory)) != 0; }

protected:
    EkData(std::uint16_t type, std::uint8_t kind);

private:
    std::string name_;
    std::int32_t bank_ = 0;
    std::int32_t number_ = 0;
    bool present_ = false;
    DataHeader header_;
    const std::uint8_t kind_;
};
