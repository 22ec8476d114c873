#pragma once

#include "sysex/ekexception.h"

// A command of the window that lacks what it works on: nothing selected where it needs a
// selection, a target that cannot take the item, or a keyboard list not yet fetched. The message
// table's operateErrorText gives the text of each code.
class OperateException : public EkException {
public:
    enum Code : std::int32_t {
        NoSendSource = 0,       // Send: no folder or no file selected in the local pane
        NoSendTarget = 1,       // Send: no folder or item selected in the keyboard pane
        NoImportSource = 2,     // Import: no folder or item selected in the keyboard pane
        NoImportTarget = 3,     // Import: no folder selected in the local pane
        NoDeleteSelection = 4,  // Delete: no folder or item selected in the keyboard pane
        NotAcceptable = 5,      // a folder row as the target of a send or a drop
        ListFirst = 6,          // Delete before the keyboard's list was fetched
        DoesNotFit = 7,         // Send of several files: they run past the folder's last slot
        WrongType = 8,          // Send of several files: one is not of the folder's type
    };
    using EkException::EkException;
};
