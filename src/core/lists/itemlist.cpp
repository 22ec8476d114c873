#include "itemlist.h"

#include <algorithm>

namespace lists {
namespace {

QByteArray csvField(const QString& text) {
    QByteArray field = text.toUtf8();
    if (field.contains(',') || field.contains('"') || field.contains('\n') ||
        field.contains('\r')) {
        field.replace("\"", "\"\"");
        field = '"' + field + '"';
    }
    return field;
}

QByteArray csvRecord(const QStringList& cells) {
    QList<QByteArray> fields;
    for (const QString& cell : cells) {
        fields << csvField(cell);
    }
    return fields.join(',') + "\r\n";
}

QString htmlRow(const QStringList& cells, const QList<int>& numberColumns, const char* tag) {
    QString row = QStringLiteral("<tr>");
    for (int column = 0; column < cells.size(); ++column) {
        const bool number = numberColumns.contains(column);
        row +=
            QStringLiteral("<%1%2>%3</%1>")
                .arg(QLatin1String(tag), number ? QStringLiteral(" class=\"number\"") : QString(),
                     cells[column].toHtmlEscaped());
    }
    return row + QStringLiteral("</tr>\n");
}

}  // namespace

void dropColumnIfEmpty(ItemList& list, int column) {
    if (column < 0 || column >= list.headings.size() ||
        std::any_of(list.rows.begin(), list.rows.end(),
                    [column](const QStringList& row) { return !row.value(column).isEmpty(); })) {
        return;
    }
    list.headings.removeAt(column);
    for (QStringList& row : list.rows) {
        if (column < row.size()) {
            row.removeAt(column);
        }
    }
    list.numberColumns.removeAll(column);
    for (int& number : list.numberColumns) {
        number -= number > column ? 1 : 0;
    }
}

std::optional<Format> formatNamed(const QString& word) {
    const QString lower = word.toLower();
    if (lower == QLatin1String("csv")) {
        return Format::Csv;
    }
    if (lower == QLatin1String("html") || lower == QLatin1String("htm")) {
        return Format::Html;
    }
    if (lower == QLatin1String("pdf")) {
        return Format::Pdf;
    }
    return std::nullopt;
}

QString suffixOf(Format format) {
    switch (format) {
        case Format::Html:
            return QStringLiteral("html");
        case Format::Pdf:
            return QStringLiteral("pdf");
        case Format::Csv:
            break;
    }
    return QStringLiteral("csv");
}

QByteArray toCsv(const ItemList& list) {
    QByteArray csv = csvRecord(list.headings);
    for (const QStringList& row : list.rows) {
        csv += csvRecord(row);
    }
    return csv;
}

QString toHtml(const ItemList& list) {
    QString page =
        QStringLiteral(
            "<!DOCTYPE html>\n<html lang=\"%1\">\n<head>\n<meta charset=\"utf-8\">\n"
            "<title>%2</title>\n<style>\n"
            "body { font-family: sans-serif; }\n"
            "table { border-collapse: collapse; }\n"
            "th, td { border: 1px solid #999; padding: 0.2em 0.5em; text-align: left; }\n"
            ".number { text-align: right; }\n"
            "</style>\n</head>\n<body>\n<h1>%2</h1>\n<table>\n")
            .arg(list.language.isEmpty() ? QStringLiteral("en") : list.language,
                 list.title.toHtmlEscaped());
    page += QStringLiteral("<thead>\n") + htmlRow(list.headings, list.numberColumns, "th") +
            QStringLiteral("</thead>\n<tbody>\n");
    for (const QStringList& row : list.rows) {
        page += htmlRow(row, list.numberColumns, "td");
    }
    return page + QStringLiteral("</tbody>\n</table>\n</body>\n</html>\n");
}

QByteArray textOf(const ItemList& list, Format format) {
    return format == Format::Html ? toHtml(list).toUtf8() : toCsv(list);
}

}  // namespace lists
