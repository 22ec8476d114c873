#pragma once

#include <QString>
#include <functional>

#include "lists/itemlist.h"

class QWidget;

namespace lists {

// How a failure is said: an error box over the window that asked.
using ShowError = std::function<void(const QString& text)>;

// Writes `list` to `path` as CSV, HTML or PDF by the file name's ending; a name of another kind
// or a file that cannot be written is said through `showError`, and nothing is written.
bool saveSaying(const ItemList& list, const QString& path, const ShowError& showError);

// Asks where to write `list` (starting in `folder`; the type chosen gives a name typed without
// an ending its own), then writes it as saveSaying does. Returns the file written; empty when
// the user cancelled or it failed.
QString askAndSave(QWidget* parent, const ItemList& list, const QString& folder,
                   const ShowError& showError);

// Qt's print preview of `list`, from which the user prints it.
void preview(QWidget* parent, const ItemList& list);

}  // namespace lists
