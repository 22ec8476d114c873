#include "paneicons.h"

#include <QCoreApplication>
#include <QPainter>
#include <QSvgRenderer>

#include "data/datatypes.h"
#include "kbddrv/itemkinds.h"

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

// Small icons (the tree, small icons, list, details) and large ones (the large-icon view).
constexpr int kIconSizes[] = {16, 32};

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
        for (int size : kIconSizes) {
            icon.addPixmap(render(svg, size));
        }
    }
    if (!selectedName.isEmpty()) {
        QSvgRenderer selected(":/icons/" + selectedName);
        for (int size : kIconSizes) {
            icon.addPixmap(render(selected, size), QIcon::Selected);
        }
    }
    return icon;
}

}  // namespace

QIcon PaneIcons::keyboard(int index) {
    if (index < kbdpane::AreaNotListed || index > kbdpane::KeyboardIcon) {
        return {};
    }
    // A listed folder opens while it is the selected node.
    const QString selected = index == kbdpane::FolderListed
                                 ? QString("kbd%1.svg").arg(int(kbdpane::FolderListedOpen))
                                 : QString();
    return load(QString("kbd%1.svg").arg(index), selected);
}

QIcon PaneIcons::toolbar(ToolbarIcon icon) {
    if (icon < ToolbarIcon::LargeIcon || icon > ToolbarIcon::Delete) {
        return {};
    }
    return load(QString("tool%1.svg").arg(int(icon)));
}

QIcon PaneIcons::application() {
    return load("nvbman.svg");
}

namespace kbdpane {

namespace {

// The keyboard list's picture of each kind of item.
struct TypeIcon {
    std::uint16_t type;
    Icon icon;
};

constexpr TypeIcon kTypeIcons[] = {
    {DataType::Tone, ToneIcon},
    {DataType::DSP, DspIcon},
    {DataType::Song, SongIcon},
    {DataType::Rhythm, RhythmIcon},
    {DataType::Registration, RegistrationIcon},
};

}  // namespace

QString typeWord(std::uint16_t type) {
    const mls850::ItemKind* kind = mls850::itemKindOf(type);
    // Translated where the item-kind table marks it, in the keyboard list's context.
    return kind != nullptr ? QCoreApplication::translate("KbdListModel", kind->listWord)
                           : QString();
}

Icon typeIcon(std::uint16_t type) {
    for (const TypeIcon& entry : kTypeIcons) {
        if (entry.type == type) {
            return entry.icon;
        }
    }
    return EmptySlot;  // an unknown type keeps the blank page
}

}  // namespace kbdpane
