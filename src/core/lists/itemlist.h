#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// A list as the user prints it or shares it: the keyboard's items, the library's files. Written
// as CSV for a spreadsheet or as an HTML page; the window also prints it (a PDF file, a
// printer).
namespace lists {

struct ItemList {
    QString title;  // names what is listed and when, in the language of whoever asked
    QStringList headings;
    std::vector<QStringList> rows;  // as many cells as headings
    QList<int> numberColumns;       // right-aligned when printed
    QString language;               // "en", "ja": the HTML page's lang
};

// Leaves out `column` when no row has anything in it (a "Tags" column of a user who tags
// nothing); the number columns after it move along.
void dropColumnIfEmpty(ItemList& list, int column);

enum class Format { Csv, Html, Pdf };

// The format a file name's suffix or a --format word names ("csv", "html", "htm", "pdf", any
// case); none for another.
std::optional<Format> formatNamed(const QString& word);
QString suffixOf(Format format);

// RFC 4180: a heading row, then one record per row; fields with a comma, a quote or a line
// break in double quotes (quotes doubled); CRLF between records; UTF-8 without a byte order
// mark.
QByteArray toCsv(const ItemList& list);
// A page of its own (UTF-8): the title as its heading, one table.
QString toHtml(const ItemList& list);
// CSV or HTML (a PDF is printed: the window's printing/listpages.h).
QByteArray textOf(const ItemList& list, Format format);

}  // namespace lists
