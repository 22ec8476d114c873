#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ekmidi/ekexchange.h"
#include "mls850layout.h"
#include "sysex/eksysexdecoder.h"
#include "sysex/eksysexencoder.h"

// The driver's transceiver: one MIDI port pair, the codec and the answer timer, running one
// parameter transaction at a time with the keyboard. A request is answered within 200 ms of the
// moment it has left, or it fails with "MIDI Timeout".
class EkKbd {
public:
    EkKbd();
    ~EkKbd();

    EkKbd(const EkKbd&) = delete;
    EkKbd& operator=(const EkKbd&) = delete;

    // Opens the input port, then the output port. If the output cannot be opened the input is
    // closed again before the error passes on.
    void openPorts(int inputDevice, int outputDevice);
    // Closes the output port, then the input port.
    void closePorts();

    // One request with the current records, answered by a ParamData; returns its value. Only a
    // message that echoes the request's area, address, command and parameter (or a Status for
    // that area and address) is taken for the answer; others are ignored while the wait goes on.
    // A request whose answer does not come in time is asked again, up to kExtraTries times.
    // Throws EkSysExException: 6 when no answer comes in time to any try (ports closed), 3 or 4 for
    // an answer the decoder cannot use, and 0, 1 or 2 when the keyboard answers with a Status
    // (Rejected, Error, other) instead of a value.
    std::uint32_t request();
    // One ParamData without answer; returns once the port reports it sent.
    void sendCommand();

    // The request catalogue. Free memory above the song and rhythm memory, and song or rhythm
    // sizes that are odd or larger than that memory, are broken answers: EkSysExException 4.
    int queryKeyboardKind();
    std::uint32_t queryFreeMemory();
    std::string readToneName(int slot);
    std::string readDspName(int slot);
    std::uint32_t queryRhythmSize(int slot);
    std::string readRhythmName(int slot);
    std::uint32_t querySongSize(int slot);
    std::string readSongName(int slot);
    void deleteRhythm(int slot);
    void deleteSong(int slot);

    // Answered locally from the kind of the last kind query (0: an MLS-850).
    int toneSize() const { return keyboardKind_ == 0 ? mls850::kToneSize : 0; }
    int dspSize() const { return keyboardKind_ == 0 ? mls850::kDspSize : 0; }
    int registrationSize() const { return keyboardKind_ == 0 ? mls850::kRegistrationSize : 0; }
    // "Preset" followed by the bank digit and the number plus one; empty for another kind.
    std::string registrationName(int bank, int number) const;

    int keyboardKind() const { return keyboardKind_; }
    int inputDevice() const { return inputDevice_; }
    // How many requests were asked again after a lost answer, since this transceiver began.
    int retries() const { return retries_; }
    // Called each time a request is asked again, before the next try goes.
    void setRetryListener(std::function<void()> listener) { retryListener_ = std::move(listener); }
    // A request without an answer in time is asked this many times more before it fails.
    static constexpr int kExtraTries = 2;
    int outputDevice() const { return outputDevice_; }

private:
    bool answers(const std::vector<std::uint8_t>& message) const;
    std::uint32_t songRhythmMemory() const;
    std::uint32_t checkedSize(std::uint32_t bytes) const;
    void setRecords(std::uint8_t area, int address, std::uint8_t command, std::uint8_t bits,
                    std::uint8_t parameter, std::uint32_t value = 0);
    void encode(std::uint8_t type);
    std::string readName(std::uint8_t area, int address, std::uint8_t command,
                         std::uint8_t parameter);

    int inputDevice_ = 0;
    int retries_ = 0;
    std::function<void()> retryListener_;
    int outputDevice_ = 0;
    int keyboardKind_ = -1;
    EkSysExEncoder encoder_;
    EkSysExDecoder decoder_;
    EkExchange ports_;
    AreaAddress area_;
    ParamAddress param_;
    std::vector<std::uint8_t> receiveBuffer_;
    std::vector<std::uint8_t> sendBuffer_;
};
