#include "keyboardlist.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>

#include "icons/paneicons.h"
#include "panes/kbdpanemodel.h"
#include "panes/keyboardpicture.h"

namespace lists {

ItemList keyboardList(const KeyboardPicture& picture, const KbdListModel& model,
                      const QString& keyboard) {
    constexpr int kSizeColumn = 3;
    constexpr int kTagsColumn = 5;
    ItemList list;
    list.title =
        QCoreApplication::translate("KeyboardList", "%1: the keyboard's list, %2")
            .arg(keyboard, QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat));
    list.headings = QStringList{QCoreApplication::translate("KeyboardList", "Slot"),
                                QCoreApplication::translate("KeyboardList", "Name"),
                                QCoreApplication::translate("KeyboardList", "Type"),
                                QCoreApplication::translate("KeyboardList", "Size(byte)"),
                                QCoreApplication::translate("KeyboardList", "On PC"),
                                QCoreApplication::translate("KeyboardList", "Tags")};
    list.numberColumns = {kSizeColumn};
    list.language = QLocale().name().section('_', 0, 0);
    for (const PictureRow* row : picture.slots()) {
        const library::SlotView& view = row->view;
        list.rows.push_back({row->slot ? row->slot->text() : QString(), row->caption,
                             view.holdsItem ? kbdpane::typeWord(view.type) : QString(),
                             view.holdsItem ? QString::number(view.size) : QString(),
                             model.onPcText(view),
                             view.holdsItem ? model.tagsText(view) : QString()});
    }
    dropColumnIfEmpty(list, kTagsColumn);
    return list;
}

}  // namespace lists
