#include "nvbfilestream.h"

#include <QByteArray>
#include <QFileInfo>
#include <algorithm>
#include <stdexcept>

#include "data/ekdatafile.h"
#include "nvbstreamexception.h"
#include "platform/savefile.h"
#include "platform/systemerror.h"

NvbFileStream::NvbFileStream(const QString& fileName, std::uint16_t mode) : fileName_(fileName) {
    switch (mode) {
        case OpenRead:
        case OpenReadWrite:
            file_ = std::make_unique<QFile>(fileName);
            // Only a regular file: opening a FIFO (or a device) would wait for a writer without
            // end.
            if (QFileInfo info(fileName); info.exists() && !info.isFile()) {
                throw platform::FileError(platform::ErrorCode::CannotOpen, fileName,
                                          {platform::ErrorCode::NotRegularFile});
            }
            if (!file_->open(mode == OpenRead ? QIODevice::ReadOnly : QIODevice::ReadWrite)) {
                fail(platform::ErrorCode::CannotOpen);
            }
            device_ = file_.get();
            checkHeader();
            break;
        case Create:
            platform::refuseLink(fileName);
            newFile_ = std::make_unique<QSaveFile>(fileName);
            if (!platform::openSaveFile(*newFile_)) {
                fail(platform::ErrorCode::CannotCreate);
            }
            device_ = newFile_.get();
            break;
        case CreateNew:
            file_ = std::make_unique<QFile>(fileName);
            // NewOnly is O_EXCL: it fails on any name that exists, a link's included.
            if (!file_->open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
                fail(platform::ErrorCode::CannotCreate);
            }
            removeUnlessWritten_ = true;
            device_ = file_.get();
            break;
        default:
            throw std::invalid_argument("NvbFileStream: unknown open mode " + std::to_string(mode));
    }
}

// An unfinished new file is discarded here: the target is only ever replaced by commit(), and
// a file made by CreateNew holds nothing of anyone's until its item is written whole.
NvbFileStream::~NvbFileStream() {
    if (removeUnlessWritten_) {
        file_->remove();
    }
}

void NvbFileStream::fail(platform::ErrorCode action) const {
    QFileDevice* device = file_ ? static_cast<QFileDevice*>(file_.get()) : newFile_.get();
    QString reason = device != nullptr ? device->errorString() : QString();
    if (reason.isEmpty()) {
        reason = QStringLiteral("Unknown error");
    }
    throw platform::FileError(action, fileName_, reason);
}

void NvbFileStream::checkHeader() {
    // What the file is comes first: a large file that is no keyboard data file at all must say
    // so, not that it is too large.
    DataHeader header;
    auto& bytes = header.bytes();
    const qint64 got = file_->read(reinterpret_cast<char*>(bytes.data()), DataHeader::kSize);
    if (got != static_cast<qint64>(DataHeader::kSize) || !header.hasMagic()) {
        file_->close();
        throw NvbStreamException(NvbStreamException::NotNvbFile);
    }
    try {
        checkLength(file_->size(), fileName_);
    } catch (...) {
        file_->close();
        throw;
    }
    file_->seek(0);
}

void NvbFileStream::checkLength(qint64 length, const QString& fileName) {
    if (length - static_cast<qint64>(DataHeader::kSize) > kMaxDataSize) {
        throw platform::SystemError(
            platform::ErrorCode::FileTooLargeForData,
            {fileName, QString::number(length), QString::number(kMaxDataSize)});
    }
}

void NvbFileStream::takeData(const QByteArray& data, EkDataFile& item) {
    // Words are filed high byte first. A lone last byte is taken as the high byte of a last
    // word, so the data keeps its byte order.
    auto& words = item.words();
    words.assign(static_cast<std::size_t>((data.size() + 1) / 2), 0);
    for (qsizetype i = 0; i < data.size(); ++i) {
        item.setDataByte(static_cast<std::size_t>(i), static_cast<std::uint8_t>(data[i]));
    }
    item.loadName();
}

void NvbFileStream::readContent(const QByteArray& content, const QString& fileName,
                                EkDataFile& item) {
    DataHeader header;
    auto& bytes = header.bytes();
    if (content.size() < static_cast<qsizetype>(DataHeader::kSize)) {
        throw NvbStreamException(NvbStreamException::NotNvbFile);
    }
    std::copy_n(content.constData(), DataHeader::kSize, reinterpret_cast<char*>(bytes.data()));
    if (!header.hasMagic()) {
        throw NvbStreamException(NvbStreamException::NotNvbFile);
    }
    checkLength(content.size(), fileName);
    item.header().bytes() = bytes;
    takeData(content.mid(DataHeader::kSize), item);
}

void NvbFileStream::read(EkDataFile& item) {
    auto& header = item.header().bytes();
    if (device_->read(reinterpret_cast<char*>(header.data()), DataHeader::kSize) !=
        static_cast<qint64>(DataHeader::kSize)) {
        fail(platform::ErrorCode::CannotRead);
    }
    const qint64 length = size();
    const QByteArray data = device_->read(length);
    if (data.size() != length) {
        fail(platform::ErrorCode::CannotRead);
    }
    takeData(data, item);
}

void NvbFileStream::write(EkDataFile& item) {
    if (device_ == nullptr || !device_->isOpen()) {
        throw std::logic_error("NvbFileStream: the file has already been written");
    }
    const std::size_t wordCount = item.size() / 2;
    if (item.size() % 2 != 0) {
        throw platform::SystemError(platform::ErrorCode::OddSizeNotWritten,
                                    {fileName_, QString::number(item.size())});
    }
    if (item.words().size() < wordCount) {
        throw platform::SystemError(
            platform::ErrorCode::ShortNotWritten,
            {fileName_, QString::number(item.size()), QString::number(item.words().size() * 2)});
    }
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(DataHeader::kSize + 2 * wordCount));
    const auto& header = item.header().bytes();
    bytes.append(reinterpret_cast<const char*>(header.data()), DataHeader::kSize);
    for (std::size_t i = 0; i < wordCount; ++i) {
        const std::uint16_t word = item.words()[i];
        bytes.append(static_cast<char>(word >> 8));
        bytes.append(static_cast<char>(word & 0xFF));
    }
    if (newFile_ ? !platform::writeFully(*newFile_, bytes)
                 : device_->write(bytes) != bytes.size()) {
        fail(platform::ErrorCode::CannotWrite);
    }
    if (newFile_ && !newFile_->commit()) {
        fail(platform::ErrorCode::CannotWrite);
    }
    if (removeUnlessWritten_) {
        file_->close();
        if (file_->error() != QFileDevice::NoError) {
            fail(platform::ErrorCode::CannotWrite);
        }
        removeUnlessWritten_ = false;
    }
    written_ = bytes.size();
}

std::int32_t NvbFileStream::position() const {
    return static_cast<std::int32_t>(device_->isOpen() ? device_->pos() : written_);
}

std::int32_t NvbFileStream::size() const {
    const qint64 length = file_ ? file_->size() : std::max(written_, newFile_->size());
    return static_cast<std::int32_t>(std::max<qint64>(0, length - DataHeader::kSize));
}

std::optional<NvbFileStream::Summary> NvbFileStream::peek(const QString& path) {
    EkDataFile item(DataType::NoType);
    QFile file(path);
    // Only a regular file: a FIFO would wait for a writer without end.
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    auto& header = item.header().bytes();
    if (file.read(reinterpret_cast<char*>(header.data()), DataHeader::kSize) !=
            qint64(DataHeader::kSize) ||
        !item.header().hasMagic()) {
        return std::nullopt;
    }
    const int offset = EkDataFile::nameOffsetInData(item.type());
    if (offset >= 0) {
        const qint64 wanted = offset + qint64(EkDataFile::kNameLength);
        const QByteArray data = file.read(wanted);
        if (data.size() < wanted) {
            return Summary{item.type(), {}};  // too short to hold a name
        }
        item.words().resize(std::size_t(wanted + 1) / 2);
        for (qint64 i = 0; i < wanted; ++i) {
            item.setDataByte(std::size_t(i), std::uint8_t(data[i]));
        }
    }
    item.loadName();
    return Summary{item.type(), item.name()};
}
