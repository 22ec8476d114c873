#include "manualpage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace platform {

namespace {

const char* const kManualFolder = "/../share/nvbman/manual/";
const char* const kStartPage = "/index.html";

}  // namespace

QString manualPage(bool japanese) {
    // Before the application object exists (a program's --help), the system says where the
    // program is.
    const QString programFolder = QCoreApplication::instance() != nullptr
                                      ? QCoreApplication::applicationDirPath()
                                      : QFileInfo("/proc/self/exe").canonicalPath();
    return QDir::cleanPath(programFolder + kManualFolder + (japanese ? "ja" : "en") + kStartPage);
}

}  // namespace platform
