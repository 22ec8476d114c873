#pragma once

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>

// The OK and Cancel strip of the program's dialogs: OK is the default button (Enter), Cancel
// answers Escape; the buttons carry the names OkBtn and CancelBtn.
inline QDialogButtonBox* okCancelButtons(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("OkBtn");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("CancelBtn");
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}
