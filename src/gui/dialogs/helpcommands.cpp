#include "helpcommands.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

#include "platform/manualpage.h"
#include "platform/midiservice.h"
#include "platform/userlocale.h"

namespace help {
namespace {

QString escaped(const QString& text) {
    return text.toHtmlEscaped();
}

}  // namespace

QString manualPage() {
    const QString page =
        platform::manualPage(platform::userDefaultLocaleId() == platform::kLocaleJapanese);
    return QFileInfo(page).isFile() ? page : QString();
}

bool openManual(QString* error) {
    const QString page = manualPage();
    if (page.isEmpty()) {
        *error =
            QCoreApplication::translate("Help", "The manual is not installed: \"%1\" is missing.")
                .arg(QDir::toNativeSeparators(platform::manualPage(
                    platform::userDefaultLocaleId() == platform::kLocaleJapanese)));
        return false;
    }
    const QUrl address = QUrl::fromLocalFile(page);
    if (!QDesktopServices::openUrl(address)) {
        // Qt's desktop services ask the desktop's portal where there is one, else xdg-open,
        // else the desktop's own opener or a known web browser: none of them could. The
        // address lets the user open it in a browser of their choice.
        *error = QCoreApplication::translate(
                     "Help",
                     "The manual \"%1\" could not be opened: no program to show it was found "
                     "(NvbMan asked the desktop, xdg-open and the usual web browsers). Open "
                     "this address in a web browser: %2")
                     .arg(QDir::toNativeSeparators(page), address.toString());
        return false;
    }
    return true;
}

QString aboutText(int outputDevice, const QString& storedName) {
    auto& service = platform::MidiService::instance();
    QStringList systems = service.systemVersions();
    for (QString& system : systems) {
        system = escaped(system);
    }
    QString inUse = service.systemOfOutput(outputDevice);
    if (inUse.isEmpty()) {
        const QString device = service.outputName(outputDevice);
        if (!device.isEmpty()) {
            inUse = QCoreApplication::translate("Help", "%1, inside this program").arg(device);
        } else if (!storedName.isEmpty()) {
            // Chosen, but not there now (unplugged, its program not started).
            inUse = QCoreApplication::translate("Help", "%1 (not connected)").arg(storedName);
        } else {
            inUse = QCoreApplication::translate("Help", "no device chosen");
        }
    }
    const QString none = QCoreApplication::translate("Help", "none found");
    return QString(
               "<h3>NvbMan %1</h3><p>%2</p><p>%3</p>"
               "<table><tr><td>Qt</td><td>%4</td></tr>"
               "<tr><td>RtMidi</td><td>%5</td></tr>"
               "<tr><td>%6</td><td>%7</td></tr>"
               "<tr><td>%8</td><td>%9</td></tr></table>")
        .arg(escaped(QCoreApplication::applicationVersion()),
             QCoreApplication::translate(
                 "Help", "Manages the music data of an MLS-850 electronic keyboard over MIDI."),
             QCoreApplication::translate(
                 "Help",
                 "\u00A9 2026 the NvbMan developers. All rights reserved. "
                 "Qt is used under the GNU LGPL version 3, RtMidi under its MIT-style "
                 "licence."),
             escaped(QString::fromLatin1(qVersion())),
             escaped(platform::MidiService::rtMidiVersion()),
             QCoreApplication::translate("Help", "MIDI systems"),
             systems.isEmpty() ? none : systems.join("<br>"),
             QCoreApplication::translate("Help", "Keyboard reached through"), escaped(inUse));
}

void showAbout(QWidget* parent, int outputDevice, const QString& storedName) {
    QMessageBox::about(parent, QCoreApplication::translate("Help", "About NvbMan"),
                       aboutText(outputDevice, storedName));
}

}  // namespace help
