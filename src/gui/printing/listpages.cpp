#include "listpages.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>

#include "platform/savefile.h"

namespace lists {
namespace {

// Lines of a page besides its rows: the title and a blank line (every page keeps their room,
// so that each page holds as many rows), the headings, the page number.
constexpr int kOtherLines = 4;
// The text's height within its line.
constexpr qreal kTextOfLine = 0.62;
// Room between two columns, in characters' widths.
constexpr qreal kColumnGap = 2;
// No column is narrowed below this many characters.
constexpr int kNarrowestColumn = 6;

// Each column as wide as its widest cell, narrowed (the widest first) to fit `width`.
std::vector<qreal> columnWidths(const ItemList& list, const QFontMetricsF& metrics,
                                const QFontMetricsF& bold, qreal width) {
    const qreal gap = kColumnGap * metrics.averageCharWidth();
    std::vector<qreal> widths;
    for (int column = 0; column < list.headings.size(); ++column) {
        qreal widest = bold.horizontalAdvance(list.headings[column]);
        for (const QStringList& row : list.rows) {
            widest = std::max(widest, metrics.horizontalAdvance(row.value(column)));
        }
        widths.push_back(widest + gap);
    }
    const qreal narrowest = kNarrowestColumn * metrics.averageCharWidth() + gap;
    qreal total = 0;
    for (const qreal w : widths) {
        total += w;
    }
    while (total > width) {
        auto widest = std::max_element(widths.begin(), widths.end());
        if (*widest <= narrowest) {
            break;
        }
        const qreal cut = std::min(total - width, *widest - narrowest);
        *widest -= cut;
        total -= cut;
    }
    return widths;
}

void paintCells(QPainter& painter, const QStringList& cells, const ItemList& list,
                const std::vector<qreal>& widths, qreal top, qreal height, qreal gap) {
    qreal left = 0;
    for (int column = 0; column < int(widths.size()); ++column) {
        const qreal width = widths[std::size_t(column)] - gap;
        // Measured as the column was: the widest cell fits whole (a pixel of slack for the
        // rounding), a narrowed column's longer cells end in an ellipsis.
        const QString text = QFontMetricsF(painter.fontMetrics())
                                 .elidedText(cells.value(column), Qt::ElideRight, width + 1);
        const Qt::Alignment align =
            list.numberColumns.contains(column) ? Qt::AlignRight : Qt::AlignLeft;
        painter.drawText(QRectF(left, top, width, height), int(align | Qt::AlignVCenter), text);
        left += widths[std::size_t(column)];
    }
}

}  // namespace

int pageCount(const ItemList& list) {
    return std::max(1, int((list.rows.size() + kRowsPerPage - 1) / kRowsPerPage));
}

void paint(const ItemList& list, QPagedPaintDevice& device, int firstPage, int lastPage) {
    QPainter painter(&device);
    const QRectF page(0, 0, device.width(), device.height());
    const qreal line = page.height() / (kRowsPerPage + kOtherLines);
    QFont font = painter.font();
    font.setPixelSize(std::max(1, int(line * kTextOfLine)));
    QFont bold = font;
    bold.setBold(true);
    // Measured as the painter draws (and elides) them on this device.
    painter.setFont(bold);
    const QFontMetricsF boldMetrics(painter.fontMetrics());
    painter.setFont(font);
    const QFontMetricsF metrics(painter.fontMetrics());
    const std::vector<qreal> widths = columnWidths(list, metrics, boldMetrics, page.width());
    const qreal gap = kColumnGap * metrics.averageCharWidth();
    const int pages = pageCount(list);
    const int last = lastPage > 0 ? std::min(lastPage, pages) : pages;
    bool first = true;
    for (int number = std::max(1, firstPage); number <= last; ++number) {
        if (!first) {
            device.newPage();
        }
        first = false;
        qreal top = 0;
        painter.setFont(bold);
        if (number == 1) {
            painter.drawText(QRectF(0, top, page.width(), line), Qt::AlignLeft | Qt::AlignVCenter,
                             list.title);
        }
        top += 2 * line;
        paintCells(painter, list.headings, list, widths, top, line, gap);
        top += line;
        painter.drawLine(QPointF(0, top), QPointF(page.width(), top));
        painter.setFont(font);
        const std::size_t from = std::size_t(number - 1) * kRowsPerPage;
        const std::size_t to = std::min(list.rows.size(), from + kRowsPerPage);
        for (std::size_t row = from; row < to; ++row) {
            paintCells(painter, list.rows[row], list, widths, top, line, gap);
            top += line;
        }
        painter.drawText(QRectF(0, page.height() - line, page.width(), line),
                         Qt::AlignRight | Qt::AlignVCenter,
                         QStringLiteral("%1 / %2").arg(number).arg(pages));
    }
}

QByteArray toPdf(const ItemList& list) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setTitle(list.title);
        writer.setCreator(QStringLiteral("NvbMan"));
        writer.setPageSize(QPageSize(QPageSize::A4));
        constexpr qreal kMarginMillimetres = 15;
        writer.setPageMargins(QMarginsF(kMarginMillimetres, kMarginMillimetres, kMarginMillimetres,
                                        kMarginMillimetres),
                              QPageLayout::Millimeter);
        paint(list, writer);
    }  // the document is finished when its writer goes
    return bytes;
}

void save(const ItemList& list, Format format, const QString& path) {
    platform::saveFile(path, format == Format::Pdf ? toPdf(list) : textOf(list, format));
}

}  // namespace lists
