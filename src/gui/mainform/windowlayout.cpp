#include "windowlayout.h"

#include <algorithm>

#include <QAction>
#include <QActionGroup>
#include <QHeaderView>
#include <QMainWindow>
#include <QScreen>
#include <QSplitter>

#include "platform/settingsstore.h"

namespace {

const QString kGeometryKey = QStringLiteral("Geometry");
const QString kDocksKey = QStringLiteral("Docks");
const QString kSplitterGroup = QStringLiteral("Splitter/");
const QString kColumnsGroup = QStringLiteral("Columns/");
const QString kColumnCountSuffix = QStringLiteral("/Count");
const QString kChoiceGroup = QStringLiteral("View/");
// Bumped when the window's docks change, so that an older layout of them is not used.
constexpr int kDocksVersion = 1;

}  // namespace

WindowLayout::WindowLayout(QMainWindow& window, platform::SettingsStore& store)
    : window_(window), store_(store) {}

void WindowLayout::addSplitter(QSplitter* splitter, const QString& key) {
    splitters_.emplace_back(splitter, key);
}

void WindowLayout::addColumns(QHeaderView* header, const QString& key) {
    columns_.emplace_back(header, key);
}

void WindowLayout::addChoice(QActionGroup* group, const QString& key) {
    choices_.emplace_back(group, key);
}

void WindowLayout::addToggle(QAction* action, const QString& key) {
    toggles_.emplace_back(action, key);
}

void WindowLayout::restore() {
    // Each restore* refuses what it cannot read and then changes nothing. Qt puts a window
    // whose screen has gone onto one that exists.
    window_.restoreGeometry(store_.layoutValue(kGeometryKey).toByteArray());
    fitOnScreen();
    window_.restoreState(store_.layoutValue(kDocksKey).toByteArray(), kDocksVersion);
    for (const auto& [splitter, key] : splitters_) {
        splitter->restoreState(store_.layoutValue(kSplitterGroup + key).toByteArray());
    }
    for (const auto& [header, key] : columns_) {
        bool isNumber = false;
        const int count =
            store_.layoutValue(kColumnsGroup + key + kColumnCountSuffix).toInt(&isNumber);
        if (isNumber && count == header->count()) {
            header->restoreState(store_.layoutValue(kColumnsGroup + key).toByteArray());
        }
    }
    for (const auto& [group, key] : choices_) {
        bool isNumber = false;
        const int chosen = store_.layoutValue(kChoiceGroup + key).toInt(&isNumber);
        for (QAction* action : group->actions()) {
            if (isNumber && action->data().toInt() == chosen) {
                action->setChecked(true);
            }
        }
    }
    for (const auto& [action, key] : toggles_) {
        // Only what save() writes: a damaged value ("damaged" would read as true) is no choice.
        const QString stored = store_.layoutValue(kChoiceGroup + key).toString();
        if (stored == QLatin1String("true") || stored == QLatin1String("false")) {
            action->setChecked(stored == QLatin1String("true"));
        }
    }
}

void WindowLayout::fitOnScreen() {
    // Qt takes a stored size as it is: one larger than the screen (a settings file edited by
    // hand, or written on a larger screen) would make a window of gigabytes that takes seconds
    // to draw, its edges out of reach. Done before the window is shown, so no such window is
    // ever drawn.
    const QScreen* screen = window_.screen();
    if (screen == nullptr) {
        return;
    }
    const QRect available = screen->availableGeometry();
    QRect frame = window_.geometry();
    frame.setSize(frame.size().boundedTo(available.size()));
    frame.moveLeft(std::clamp(frame.left(), available.left(), available.right() - frame.width() + 1));
    frame.moveTop(std::clamp(frame.top(), available.top(), available.bottom() - frame.height() + 1));
    if (frame != window_.geometry()) {
        window_.setGeometry(frame);
    }
}

void WindowLayout::save() {
    store_.setLayoutValue(kGeometryKey, window_.saveGeometry());
    store_.setLayoutValue(kDocksKey, window_.saveState(kDocksVersion));
    for (const auto& [splitter, key] : splitters_) {
        store_.setLayoutValue(kSplitterGroup + key, splitter->saveState());
    }
    for (const auto& [header, key] : columns_) {
        store_.setLayoutValue(kColumnsGroup + key, header->saveState());
        store_.setLayoutValue(kColumnsGroup + key + kColumnCountSuffix, header->count());
    }
    for (const auto& [group, key] : choices_) {
        if (const QAction* checked = group->checkedAction()) {
            store_.setLayoutValue(kChoiceGroup + key, checked->data());
        }
    }
    for (const auto& [action, key] : toggles_) {
        store_.setLayoutValue(kChoiceGroup + key, action->isChecked());
    }
}
