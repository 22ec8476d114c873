#pragma once

#include <QFile>
#include <QSaveFile>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "nvbstream.h"
#include "platform/errorcatalog.h"

// A ".nvb" file: the item's 64-byte header followed by its data words, high byte first.
//
// Reading opens the file as it is and checks the header's magic. Creating writes through a
// temporary file that replaces the target only once the whole item has been written, so a failed
// write (disk full, folder not writable, an error mid-way) leaves any existing file untouched and
// no half-written or empty file behind.
class NvbFileStream : public NvbStream {
public:
    // The open modes, numbered as the toolkit's file-mode word.
    enum Mode : std::uint16_t {
        OpenRead = 0,
        OpenReadWrite = 2,
        Create = 0xFFFF,  // create, or replace an existing file
        // Create a file that does not exist yet, never one that does nor through a link. Written
        // in place (nothing is there to keep), removed again when the write fails, and not
        // synced on its own: a job of many new files syncs once at its end
        // (platform::syncFileSystem), which a file of its own each would cost many times over.
        CreateNew = 0xFFFE,
    };

    // The most data a keyboard item can have: a block number travels in 14 bits, and a block
    // carries 128 bytes. A larger file is refused before anything is read into memory.
    static constexpr std::int64_t kMaxDataSize = std::int64_t{1 << 14} * 128;
    static constexpr const char* kSuffix = ".nvb";

    // Throws platform::FileError when the file cannot be opened or created,
    // NvbStreamException code 0 when a file opened for reading is not a ".nvb" file, and
    // platform::SystemError when it is larger than any keyboard item.
    NvbFileStream(const QString& fileName, std::uint16_t mode);
    ~NvbFileStream() override;

    // Replaces the item's header with the file's, fills its words from the data that follows
    // (the file's length, not the header, says how much) and takes the name from its place.
    void read(EkDataFile& item) override;
    // Writes the header and the header's size in data bytes. Refuses, writing nothing, an item
    // whose words hold less than its header announces.
    void write(EkDataFile& item) override;
    std::int32_t position() const override;
    std::int32_t size() const override;

    // An item from a ".nvb" file's whole content, read beforehand (bytes a caller has checked
    // against a hash, say): the same checks and the same item as opening the file and reading.
    static void readContent(const QByteArray& content, const QString& fileName, EkDataFile& item);

    // What a ".nvb" file holds, as a list shows it: the item's type and its own 8-character
    // name.
    struct Summary {
        std::uint16_t type = 0;
        std::string name;
    };
    // Reads only the header and the name's place (at most 108 bytes) of the file at `path`;
    // empty when it is no ".nvb" file or cannot be read. Never waits on anything but the file
    // system.
    static std::optional<Summary> peek(const QString& path);

private:
    void checkHeader();
    // Throws platform::SystemError when a file of `length` bytes holds more than any item.
    static void checkLength(qint64 length, const QString& fileName);
    // The item's words from its data bytes, and its name from its place.
    static void takeData(const QByteArray& data, EkDataFile& item);
    [[noreturn]] void fail(platform::ErrorCode action) const;

    QString fileName_;
    std::unique_ptr<QFile> file_;         // the reading modes and CreateNew
    bool removeUnlessWritten_ = false;    // CreateNew until the item is written whole
    std::unique_ptr<QSaveFile> newFile_;  // the create mode
    QIODevice* device_ = nullptr;
    qint64 written_ = 0;  // bytes of a new file, once committed
};
