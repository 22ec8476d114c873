#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sysex {

// One line saying what a MIDI message is, for the MIDI log: "ParamRequest area 2 addr 384
// cmd 96 param 0", "ParamData area 0 addr 0 cmd 13 param 0 value 0", "DataRequest area 10
// addr 0", "DataBlock 3, 128 bytes", "Status Ack area 10 addr 0". A frame of the keyboard that
// cannot be read says why ("DataBlock 3, 128 bytes, bad checksum"); anything else is named for
// what it is ("Active Sensing", "another maker's SysEx (43)").
std::string describeMessage(const std::vector<std::uint8_t>& message);

// The message's bytes in hexadecimal, two digits each, separated by spaces.
std::string hexBytes(const std::vector<std::uint8_t>& message);

}  // namespace sysex
