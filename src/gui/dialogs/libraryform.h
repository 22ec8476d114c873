#pragma once

#include <QDialog>
#include <vector>

#include "library/libraryindex.h"
#include "lists/itemlist.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStandardItemModel;
class QTreeView;

// File > "Library...": the items of the user's keyboard files, searched by name and type, with
// the items found in more than one place marked ("Copies"). "Show File" selects the chosen
// file in the window's PC list; "Scan Now" reads the library's folders again; "Print" and
// "Export" print or write what is listed. The window scans,
// the dialog only reads the index and is told when a scan has ended.
class TLibraryForm : public QDialog {
    Q_OBJECT
public:
    // `index` null: the index could not be opened, `problem` says why.
    TLibraryForm(const library::Index* index, const QString& problem, QWidget* owner = nullptr);

    // Lists the items again (after a scan), saying whether a scan is running now and what the
    // last one could not read.
    void refresh(bool scanning, const QStringList& problems);
    // The file of the row chosen with Show File; empty when none.
    QString chosenFile() const { return chosenFile_; }
    int rowCount() const;
    // The items listed now, as the dialog shows them, to print or share.
    lists::ItemList listed() const;

Q_SIGNALS:
    void scanRequested();

private:
    void search();
    void showChosenFile();
    void exportListed();
    std::vector<library::Entry> matches() const;

    const library::Index* index_;
    QString problem_;
    QString chosenFile_;
    QLineEdit* nameEdit_ = nullptr;
    QComboBox* typeBox_ = nullptr;
    QCheckBox* duplicatesBox_ = nullptr;
    QStandardItemModel* model_ = nullptr;
    QTreeView* view_ = nullptr;
    QLabel* summary_ = nullptr;
    QLabel* scanState_ = nullptr;
    QPushButton* showFileBtn_ = nullptr;
    QPushButton* scanBtn_ = nullptr;
    QPushButton* printBtn_ = nullptr;
    QPushButton* exportBtn_ = nullptr;
};
