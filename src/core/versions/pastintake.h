#pragma once

#include <QStringList>

class MsgStr;

namespace safety {
class Store;
}

namespace versions {

class Store;

// What taking in the past found.
struct Intake {
    int keptCopies = 0;  // versions made of kept copies
    int backups = 0;     // backup folders taken in
    int items = 0;       // versions made of backups' items
    QStringList problems;  // what could not be read, by name
};

// The past the user had before versions were kept: every copy the program kept of what a
// change replaced (with the keyboard and the change its history names), and every backup found
// in `folders` and below (its manifest's items, at its time). Done once: later backups and
// copies are recorded as they are made; a call cut short goes on where it stopped. An item
// that cannot be read is said by name and the rest go on, in the language of `messages`.
Intake takeInThePast(Store& store, const safety::Store& kept, const QStringList& folders,
                     const MsgStr& messages);

}  // namespace versions
