#include "paneicons.h"

#include <QPainter>
#include <QSvgRenderer>

// The pictures live in this static library's resources, which a program linking it must
// register itself.
static void registerResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)done;
}

namespace {

QPixmap render(QSvgRenderer& svg, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    svg.render(&painter);
    return pixmap;
}

// Not cached: a pixmap kept in a static would outlive the application object.
QIcon load(const QString& name, const QString& selectedName = {}) {
    registerResources();
    QIcon icon;
    QSvgRenderer svg(":/icons/" + name);
    if (svg.isValid()) {
        for (int size : {16, 32}) {
            icon.addPixmap(render(svg, size));
        }
    }
    if (!selectedName.isEmpty()) {
        QSvgRenderer selected(":/icons/" + selectedName);
        for (int size : {16, 32}) {
            icon.addPixmap(render(selected, size), QIcon::Selected);
        }
    }
    return icon;
}

}  // namespace

QIcon PaneIcons::keyboard(int index) {
    if (index < 0 || index > 11) {
        return {};
    }
    // A listed folder opens while it is the selected node.
    return load(QString("kbd%1.svg").arg(index), index == 3 ? QString("kbd4.svg") : QString());
}

QIcon PaneIcons::toolbar(int index) {
    if (index < 0 || index > 8) {
        return {};
    }
    return load(QString("tool%1.svg").arg(index));
}

QIcon PaneIcons::application() {
    return load("nvbman.svg");
}
