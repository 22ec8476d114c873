#include "windowactions.h"

#include <QAction>

WindowActions::WindowActions(const std::vector<ActionRow>& table,
                             const std::function<QString(const char*)>& translate, QObject* parent)
    : QObject(parent) {
    for (const ActionRow& row : table) {
        QAction* action =
            make(parent, *row.caption != '\0' ? translate(row.caption) : QString(),
                 row.hint != nullptr ? translate(row.hint) : QString(), row.icon, row.objectName);
        action->setShortcut(row.shortcut);
        if (row.run) {
            connect(action, &QAction::triggered, this, row.run);
        }
        actions_[std::size_t(row.act)] = action;
        uses_[std::size_t(row.act)] = row.use;
    }
}

QAction* WindowActions::make(QObject* parent, const QString& caption, const QString& hint,
                             ToolbarIcon icon, const char* objectName) {
    auto* action = new QAction(caption, parent);
    action->setObjectName(objectName);
    // The hint is a tool tip only: a status tip would cover the status line and the progress
    // bar while the pointer rests on a button, which it does during the command it started.
    if (!hint.isEmpty()) {
        action->setToolTip(hint);
    }
    if (icon != ToolbarIcon::None) {
        action->setIcon(PaneIcons::toolbar(icon));
    }
    return action;
}

void WindowActions::update(const WindowState& state) {
    for (std::size_t i = 0; i < kActCount; ++i) {
        if (actions_[i] == nullptr) {
            continue;
        }
        bool usable = true;
        switch (uses_[i]) {
            case ActionUse::Always:
                break;
            case ActionUse::Idle:
                usable = !state.busy;
                break;
            case ActionUse::AfterList:
                usable = !state.busy && state.listed;
                break;
            case ActionUse::DeleteHere:
                usable = !state.busy && state.deleteHere;
                break;
        }
        actions_[i]->setEnabled(usable);
    }
    for (QAction* action : idle_) {
        action->setEnabled(!state.busy);
    }
}
