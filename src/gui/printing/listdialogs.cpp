#include "listdialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <algorithm>

#include "listpages.h"
#include "msg/msgstr.h"
#include "platform/systemerror.h"

namespace lists {

bool saveSaying(const ItemList& list, const QString& path, const ShowError& showError) {
    const auto format = formatNamed(QFileInfo(path).suffix());
    if (!format) {
        showError(QCoreApplication::translate("ListDialogs",
                                              "\"%1\" is no .csv, .html or .pdf file name.")
                      .arg(QDir::toNativeSeparators(path)));
        return false;
    }
    try {
        save(list, *format, path);
    } catch (const platform::SystemError& error) {
        showError(MsgStr().codedText(error.coded()));
        return false;
    }
    return true;
}

QString askAndSave(QWidget* parent, const ItemList& list, const QString& folder,
                   const ShowError& showError) {
    const QStringList filters{
        QCoreApplication::translate("ListDialogs", "CSV for a spreadsheet (*.csv)"),
        QCoreApplication::translate("ListDialogs", "Web page (*.html)"),
        QCoreApplication::translate("ListDialogs", "PDF document (*.pdf)")};
    QString filter = filters.first();
    QString path = QFileDialog::getSaveFileName(
        parent, QCoreApplication::translate("ListDialogs", "Export List"), folder,
        filters.join(";;"), &filter);
    if (path.isEmpty()) {
        return {};
    }
    if (!formatNamed(QFileInfo(path).suffix())) {
        constexpr Format kByFilter[] = {Format::Csv, Format::Html, Format::Pdf};
        path += '.' + suffixOf(kByFilter[std::max(qsizetype(0), filters.indexOf(filter))]);
    }
    return saveSaying(list, path, showError) ? path : QString();
}

void preview(QWidget* parent, const ItemList& list) {
    QPrintPreviewDialog dialog(parent);
    dialog.setWindowTitle(QCoreApplication::translate("ListDialogs", "Print List"));
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&list](QPrinter* printer) {
                         // The pages the print dialog asked for (0, 0: every page).
                         paint(list, *printer, printer->fromPage(), printer->toPage());
                     });
    dialog.exec();
}

}  // namespace lists
