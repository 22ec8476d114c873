#pragma once

#include <QString>

namespace platform {

// The user manual's start page, where the program is installed (or built): the manual lies in
// "<prefix>/share/nvbman/manual/<en|ja>/index.html" beside the programs' "<prefix>/bin" (and
// in a build tree, "build/share/..." beside "build/app"). `japanese`: the Japanese manual.
// The path whether or not the page is there.
QString manualPage(bool japanese);

}  // namespace platform
