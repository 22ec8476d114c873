#pragma once

#include <cstdint>
#include <vector>

class EkDataFile;
class NvbStream;

// Follows the progress of a stream; the stream calls it after each part it has moved.
class NvbStreamObserver {
public:
    virtual ~NvbStreamObserver() = default;
    virtual void notify(NvbStream& stream) = 0;
};

// Moves one data item between the program and a file or the keyboard, so the window need not
// know which side it talks to.
class NvbStream {
public:
    virtual ~NvbStream() = default;

    NvbStream(const NvbStream&) = delete;
    NvbStream& operator=(const NvbStream&) = delete;

    // Fills the item from the stream.
    virtual void read(EkDataFile& item) = 0;
    // Stores the item into the stream.
    virtual void write(EkDataFile& item) = 0;
    // Bytes moved so far (keyboard), or the current file position (file).
    virtual std::int32_t position() const = 0;
    // Size in bytes of the item's data the stream holds.
    virtual std::int32_t size() const = 0;

    // Not owned; each observer is held once.
    void attachObserver(NvbStreamObserver* observer);
    void notifyObservers();

protected:
    NvbStream() = default;

private:
    std::vector<NvbStreamObserver*> observers_;
};
