#include "outcomereport.h"

#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>

#include "commandframe.h"
#include "msg/msgstr.h"
#include "ops/keyboardchanges.h"
#include "platform/systemerror.h"
#include "safety/safetystore.h"
#include "windowparts.h"

namespace outcomereport {

void failWithTheOnlyItem(const WindowParts& parts, const std::vector<backup::Outcome>& outcomes) {
    if (outcomes.size() != 1) {
        return;
    }
    const backup::Outcome& only = outcomes.front();
    if (only.retried) {
        parts.frame.noteRetry();
    }
    if (only.emptied) {
        throw platform::SystemError(*only.error);  // its song is offered back instead
    }
    if (only.failed()) {
        // A change the keyboard did not show says where the slot's old item is kept.
        throw platform::SystemError(
            platform::CodedText::service(ops::failureText(only, parts.store, parts.messages)));
    }
}

void reportOutcomes(const WindowParts& parts, const QString& summary, const QString& failedHeading,
                    const std::vector<backup::Outcome>& outcomes) {
    QStringList failed;
    QStringList warned;
    for (const backup::Outcome& outcome : outcomes) {
        if (outcome.warning) {
            warned << outcome.slot.text() + ": " + parts.messages.codedText(*outcome.warning);
        }
        if (outcome.failed()) {
            const QString file = QFileInfo(outcome.file).fileName();
            const QString error = ops::failureText(outcome, parts.store, parts.messages);
            failed << (file.isEmpty()
                           ? QString("%1: %2").arg(outcome.slot.text(), error)
                           : QString("%1 (%2): %3").arg(outcome.slot.text(), file, error));
        }
    }
    QString text = summary;
    if (const QStringList retried = backup::JobSummary(outcomes).retried; !retried.isEmpty()) {
        text += " (" + parts.messages.retriedText(retried.join(", ")) + ")";
    }
    parts.status.setText(text);
    if (!failed.isEmpty()) {
        parts.showError(failedHeading + '\n' + (failed + warned).join('\n'));
    } else if (!warned.isEmpty()) {
        QMessageBox::warning(&parts.window, parts.title(), text + '\n' + warned.join('\n'));
    }
}

}  // namespace outcomereport
