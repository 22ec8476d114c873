#include "windowtexts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdio>

#include "platform/userlocale.h"

namespace {

// Where the build puts our translations among the program's resources.
const char* const kOwnTexts = ":/i18n/nvbman_ja.qm";

}  // namespace

bool installWindowTexts(QCoreApplication& app) {
    if (platform::userDefaultLocaleId() != platform::kLocaleJapanese) {
        return true;
    }
    // Children of the application: they live as long as it does.
    auto* qtTexts = new QTranslator(&app);
    if (qtTexts->load(QLocale(QLocale::Japanese), "qtbase", "_",
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(qtTexts);
    }
    auto* ownTexts = new QTranslator(&app);
    if (!ownTexts->load(QString::fromLatin1(kOwnTexts)) || ownTexts->isEmpty()) {
        std::fprintf(stderr,
                     "nvbman: the Japanese texts (%s) could not be loaded; the window "
                     "speaks English.\n",
                     kOwnTexts);
        return false;
    }
    QCoreApplication::installTranslator(ownTexts);
    return true;
}
