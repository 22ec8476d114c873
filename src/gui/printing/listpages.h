#pragma once

#include <QString>

#include "lists/itemlist.h"

class QPagedPaintDevice;

namespace lists {

// Rows on a printed page: the headings repeat at the top of each page, and the first page
// carries the title; every page says its number.
inline constexpr int kRowsPerPage = 50;

// The number of pages `list` takes when printed.
int pageCount(const ItemList& list);

// Paints the list onto `device` (a PDF writer, a printer, a print preview), page by page. Only
// the pages from `firstPage` to `lastPage` (from 1; 0: to the end) are painted.
void paint(const ItemList& list, QPagedPaintDevice& device, int firstPage = 1, int lastPage = 0);

// The list as a PDF document (A4), as printed.
QByteArray toPdf(const ItemList& list);

// Writes the list to `path` in `format`, whole or not at all (a file of that name is replaced in
// one step). Throws platform::FileError when it cannot be written.
void save(const ItemList& list, Format format, const QString& path);

}  // namespace lists
