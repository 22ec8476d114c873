#pragma once

#include <QDialog>
#include <QStringList>

class QLineEdit;

// "Tags...": the tags and the note of one item or several (the tags they all have; their note
// when they share one). The tags are written with commas between them; each is checked as
// the user leaves the dialog with OK, which stays open on a tag that cannot be one.
class TTagsForm : public QDialog {
    Q_OBJECT
public:
    // `subject` names what is tagged ("TON_Velvet.nvb", "3 items").
    TTagsForm(const QString& subject, const QStringList& tags, const QString& note,
              bool notesDiffer, QWidget* owner = nullptr);

    QStringList tags() const;
    QString note() const;
    // Whether the user wrote in the note (several items with different notes keep theirs
    // otherwise).
    bool noteEdited() const;

    void accept() override;

private:
    QLineEdit* tagsEdit_ = nullptr;
    QLineEdit* noteEdit_ = nullptr;
};
