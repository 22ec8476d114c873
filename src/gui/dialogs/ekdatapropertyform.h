#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>

class QDialogButtonBox;
class QLabel;
class QLineEdit;

// The properties of one entry of either pane: file name, type, size, folder, and for a ".nvb"
// file on the PC the item's 8-character name, which the user may change here. The dialog only
// shows what it is given and hands the entered name back; reading and rewriting the file is the
// window's work.
class TEkDataPropertyForm : public QDialog {
    Q_OBJECT
public:
    explicit TEkDataPropertyForm(QWidget* owner);

    void showFileName(const QString& name);
    // The type's word ("Regstration" is the keyboard software's own spelling here); nothing for
    // a type the keyboard does not have.
    void showType(std::uint16_t type);
    void showSize(std::uint32_t bytes);
    void showLocation(const QString& folder);
    void SetName(const QString& name);
    QString enteredName() const;
    // The name field and its label: shown for a PC file and for a keyboard item whose data holds
    // its name (renamed on the keyboard), hidden for other keyboard rows.
    void allowRename(bool allowed);
    // A "Versions..." button that runs `show` (the item's versions over this dialog): for a
    // keyboard item and a keyboard file.
    void offerVersions(std::function<void()> show);
    // Modal; true only after OK with a name that is not empty.
    bool execute();

    static QString typeWord(std::uint16_t type);
    // The keyboard keeps names of the characters from space (32) to '}' (125): every other
    // character, non-ASCII included, becomes '_'.
    static QString keyboardName(const QString& typed);

private:
    void NameEditChange(const QString& text);

    QLabel* fileNameLbl_;
    QLabel* typeLbl_;
    QLabel* sizeLbl_;
    QLabel* locateLbl_;
    QLabel* nameLbl_;
    QLineEdit* nameEdit_;
    QDialogButtonBox* buttons_;
    bool accepted_ = false;
};
