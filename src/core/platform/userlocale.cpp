#include "userlocale.h"

#include <QLocale>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace platform {

int userDefaultLocaleId() {
#ifdef Q_OS_WIN
    return static_cast<int>(GetUserDefaultLCID());
#else
    return QLocale::system().language() == QLocale::Japanese ? kLocaleJapanese : kLocaleEnglishUs;
#endif
}

}  // namespace platform
