#include "dirbrowseform.h"

#include <QDialogButtonBox>

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>
#include "dialogs/dialogbuttons.h"

TDirBrowseForm::TDirBrowseForm(QWidget* owner) : QDialog(owner) {
    setWindowTitle(tr("Directries"));
    model_ = new QFileSystemModel(this);
    model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    model_->setRootPath(QDir::rootPath());
    view_ = new QTreeView;
    view_->setObjectName("DirView");
    view_->setAccessibleName(tr("Folders"));
    view_->setModel(model_);
    view_->setRootIndex(model_->index(QDir::rootPath()).parent());
    view_->setHeaderHidden(true);
    for (int column = 1; column < model_->columnCount(); ++column) {
        view_->hideColumn(column);
    }
    view_->setIndentation(19);
    QDialogButtonBox* buttons = okCancelButtons(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_);
    layout->addWidget(buttons);
    resize(324, 466);
}

void TDirBrowseForm::setInitialFolder(const QString& folder) {
    result_ = folder;
    QString existing = QDir::cleanPath(QDir::fromNativeSeparators(folder));
    while (!existing.isEmpty() && !QFileInfo(existing).isDir()) {
        const QString up = QFileInfo(existing).path();
        existing = up == existing ? QString() : up;
    }
    if (existing.isEmpty()) {
        return;
    }
    const QModelIndex index = model_->index(existing);
    view_->setCurrentIndex(index);
    view_->scrollTo(index);
}

void TDirBrowseForm::accept() {
    const QModelIndex current = view_->currentIndex();
    if (current.isValid()) {
        QString path = QDir::toNativeSeparators(model_->filePath(current));
        if (!path.endsWith(QDir::separator())) {
            path += QDir::separator();
        }
        result_ = path;
    }
    QDialog::accept();
}
