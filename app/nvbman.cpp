// nvbman: the keyboard manager's window.

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QLockFile>
#include <QTranslator>

#include "kbdsim/simulatordevice.h"
#include "mainform/pclinkform.h"
#include "platform/userlocale.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("NvbMan");
    QApplication::setOrganizationName("Velta");
    QApplication::setApplicationDisplayName(TPcLinkForm::kTitle);
    QApplication::setApplicationVersion("0.1.0");

    // One copy at a time; a lock left by a copy that crashed is taken over.
    QLockFile lock(QDir::temp().filePath("NvbMan.lock"));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0)) {
        return 1;
    }

    // Qt's own texts (standard buttons) in Japanese when the program speaks Japanese.
    QTranslator qtTexts;
    if (platform::userDefaultLocaleId() == platform::kLocaleJapanese &&
        qtTexts.load(QLocale(QLocale::Japanese), "qtbase", "_",
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTexts);
    }

    // The software keyboard is always there, so every command can be tried without the
    // instrument; its memory is kept between runs.
    kbdsim::BuiltInKeyboard builtInKeyboard;

    TPcLinkForm window(std::make_unique<platform::SettingsStore>());
    window.start();
    window.show();
    return QApplication::exec();
}
