#pragma once

#include <QString>
#include <functional>

class EkData;
class EkDataFile;
class EkKbdDrv;

// How an item the link tells of moved: read from the keyboard, or sent and shown by it.
enum class ItemMove { Fetched, Sent };

// The keyboard a command talks to: its driver, and the MIDI devices (numbers in the MIDI
// service's lists) it is reached over. Every transfer and whole-keyboard job takes one.
struct KeyboardLink {
    EkKbdDrv& driver;
    int inputDevice;
    int outputDevice;
    // Told of each item a fetch or a send has moved whole, with its slot of the driver's tree
    // as it shows the slot now: what the program knows the keyboard holds. Unset: nobody
    // listens.
    std::function<void(const EkData& slot, const EkDataFile& item, ItemMove move)> itemSeen = {};
    // Told of each slot a deletion has emptied, once the keyboard shows it empty.
    std::function<void(const EkData& slot)> slotEmptied = {};
};

// Which keyboard the link reaches, as the history of changes remembers it.
QString keyboardIdentity(const KeyboardLink& link);
