#include "windowlayout.h"

#include <QAction>
#include <QActionGroup>
#include <QHeaderView>
#include <QMainWindow>
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

void WindowLayout::restore() {
    // Each restore* refuses what it cannot read and then changes nothing. Qt puts a window
    // whose screen has gone onto one that exists.
    window_.restoreGeometry(store_.layoutValue(kGeometryKey).toByteArray());
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
}
