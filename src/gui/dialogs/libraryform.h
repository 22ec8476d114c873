#pragma once

#include <QDialog>
#include <memory>
#include <vector>

#include "library/libraryindex.h"
#include "lists/itemlist.h"

class MsgStr;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStandardItemModel;
class QTreeView;

namespace library {
class TagStore;
}

// File > "Library...": the items of the user's keyboard files, searched by name, type, tag and
// the words of their tags and notes, with the items found in more than one place marked
// ("Copies"). "Show File" selects the chosen file in the window's PC list; "Tags" asks the
// window to change the selected items' tags; "Scan Now" reads the library's folders again;
// "Print" and "Export" print or write what is listed. The window scans and changes tags, the
// dialog only reads the index and the tags and is told when either has changed.
class TLibraryForm : public QDialog {
    Q_OBJECT
public:
    // `index` null: the index could not be opened, `problem` says why.
    // `messages` says why the tags cannot be read, when they cannot.
    TLibraryForm(const library::Index* index, const QString& problem, const MsgStr& messages,
                 QWidget* owner = nullptr);
    ~TLibraryForm() override;

    // Lists the items again (after a scan or a change of tags), saying whether a scan is
    // running now and what the last one could not read.
    void refresh(bool scanning, const QStringList& problems);
    // The file of the row chosen with Show File; empty when none.
    QString chosenFile() const { return chosenFile_; }
    int rowCount() const;
    // The items listed now, as the dialog shows them, to print or share.
    lists::ItemList listed() const;

Q_SIGNALS:
    void scanRequested();
    // The user chose "Tags" for the items of these hashes (`subject` names them).
    void tagsRequested(const QStringList& sha256s, const QString& subject);

private:
    void search();
    void showChosenFile();
    void exportListed();
    void askForTags();
    // The tag box's choices again, the one chosen kept when it is still given to an item.
    void fillTagBox();
    // The items of the name, type and duplicates asked for; then of the tag and words.
    std::vector<library::Entry> filtered() const;
    std::vector<library::Entry> matches() const;

    const library::Index* index_;
    QString problem_;
    // Null when the tags cannot be read (tagsProblem_ says why): the items are listed without.
    std::unique_ptr<library::TagStore> tags_;
    QString tagsProblem_;
    QString chosenFile_;
    QLineEdit* nameEdit_ = nullptr;
    QComboBox* typeBox_ = nullptr;
    QComboBox* tagBox_ = nullptr;
    QLineEdit* wordsEdit_ = nullptr;
    QCheckBox* duplicatesBox_ = nullptr;
    QStandardItemModel* model_ = nullptr;
    QTreeView* view_ = nullptr;
    QLabel* summary_ = nullptr;
    QLabel* scanState_ = nullptr;
    QPushButton* showFileBtn_ = nullptr;
    QPushButton* tagsBtn_ = nullptr;
    QPushButton* scanBtn_ = nullptr;
    QPushButton* printBtn_ = nullptr;
    QPushButton* exportBtn_ = nullptr;
};
