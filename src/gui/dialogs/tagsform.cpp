#include "tagsform.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "library/itemtags.h"
#include "msg/msgstr.h"
#include "platform/systemerror.h"

TTagsForm::TTagsForm(const QString& subject, const QStringList& tags, const QString& note,
                     bool notesDiffer, QWidget* owner)
    : QDialog(owner) {
    setObjectName("TagsForm");
    setWindowTitle(tr("Tags"));
    auto* about = new QLabel(tr("Tags and note of %1. They belong to the item itself: every copy "
                                "of it, in any file or slot, has them.")
                                 .arg(subject));
    about->setWordWrap(true);
    tagsEdit_ = new QLineEdit(tags.join(", "));
    tagsEdit_->setObjectName("TagsEdit");
    tagsEdit_->setAccessibleName(tr("Tags"));
    tagsEdit_->setAccessibleDescription(
        tr("Tags with commas between them, such as: pads, live set"));
    tagsEdit_->setPlaceholderText(tr("pads, live set"));
    noteEdit_ = new QLineEdit(note);
    noteEdit_->setObjectName("NoteEdit");
    noteEdit_->setAccessibleName(tr("Note"));
    if (notesDiffer) {
        noteEdit_->setPlaceholderText(tr("(each item keeps its own note)"));
    }
    auto* fields = new QFormLayout;
    auto* tagsLabel = new QLabel(tr("&Tags:"));
    tagsLabel->setBuddy(tagsEdit_);
    auto* noteLabel = new QLabel(tr("&Note:"));
    noteLabel->setBuddy(noteEdit_);
    fields->addRow(tagsLabel, tagsEdit_);
    fields->addRow(noteLabel, noteEdit_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("OkBtn");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("CancelBtn");
    connect(buttons, &QDialogButtonBox::accepted, this, &TTagsForm::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(about);
    layout->addLayout(fields);
    layout->addWidget(buttons);
}

QStringList TTagsForm::tags() const {
    QStringList tags;
    for (const QString& tag : tagsEdit_->text().split(',', Qt::SkipEmptyParts)) {
        if (!tag.trimmed().isEmpty()) {
            tags << tag.trimmed();
        }
    }
    return tags;
}

QString TTagsForm::note() const {
    return noteEdit_->text();
}

bool TTagsForm::noteEdited() const {
    return noteEdit_->isModified();
}

void TTagsForm::accept() {
    try {
        for (const QString& tag : tags()) {
            library::TagStore::checkedTag(tag);
        }
        library::TagStore::checkNote(note());
    } catch (const platform::SystemError& error) {
        QMessageBox::warning(this, windowTitle(), MsgStr().codedText(error.coded()));
        return;
    }
    QDialog::accept();
}
