#pragma once

#include "kbddrv/keyboardlink.h"

namespace backup {
class JobProgress;
}

namespace safety {
class Store;
}

namespace ops {

// What an operation changes and reports to: the keyboard, where copies of what it replaces
// are kept, whether the user wants them kept (without them a send, delete or restore cannot be
// undone; an edit and an undo keep theirs regardless, they cannot be done without), and who
// follows its progress (null: nobody). Its outcomes carry coded reasons, said by the caller.
struct Target {
    KeyboardLink link;
    safety::Store& store;
    bool keepCopies;
    backup::JobProgress* progress = nullptr;
};

}  // namespace ops
