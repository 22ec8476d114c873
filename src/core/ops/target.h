#pragma once

#include "kbddrv/keyboardlink.h"

class MsgStr;

namespace backup {
class JobProgress;
}

namespace safety {
class Store;
}

namespace ops {

// What an operation changes and reports to: the keyboard, where copies of what it replaces
// are kept, whether the user wants them kept (without them a send, delete or restore cannot be
// undone; an edit and an undo keep theirs regardless, they cannot be done without), the
// language its outcomes are said in, and who follows its progress (null: nobody).
struct Target {
    KeyboardLink link;
    safety::Store& store;
    bool keepCopies;
    const MsgStr& messages;
    backup::JobProgress* progress = nullptr;
};

}  // namespace ops
