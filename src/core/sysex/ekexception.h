#pragma once

#include <cstdint>

#include "sysexrecords.h"

// Base of the program's own failures. Each carries one numeric code and no text: the message
// table turns the class and the code into the words the user reads, in the user's language.
// Deliberately not a std::exception, so that a handler for the platform's exceptions cannot
// swallow one by accident; callers catch these first.
class EkException {
public:
    explicit EkException(std::int32_t code) : code_(code) {}
    virtual ~EkException() = default;

    std::int32_t code() const { return code_; }

private:
    std::int32_t code_;
};

// Failures of a System Exclusive exchange with the keyboard.
class EkSysExException : public EkException {
public:
    enum Code : std::int32_t {
        Rejected = 0,        // the keyboard answered Status Rejected
        CommError = 1,       // the keyboard answered Status Error
        UnknownStatus = 2,   // any other unexpected status
        NoData = 3,          // a received message is shorter than its fields
        InvalidMessage = 4,  // a message type the codec does not handle
        BadChecksum = 5,     // a data block's checksum does not come out at zero
        Timeout = 6,         // no answer before the answer timer fired
    };
    using EkException::EkException;

    // The failure a keyboard's Status answer names where data was expected: Rejected 0,
    // Error 1, anything else 2.
    static EkSysExException forStatus(std::uint8_t status) {
        switch (status) {
            case TransferStatus::Rejected:
                return EkSysExException(Rejected);
            case TransferStatus::Error:
                return EkSysExException(CommError);
            default:
                return EkSysExException(UnknownStatus);
        }
    }
};
