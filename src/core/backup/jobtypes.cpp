#include "jobtypes.h"

#include "msg/msgstr.h"

namespace backup {

QString reasonText(const std::optional<platform::CodedText>& error, const MsgStr& messages) {
    return error ? messages.codedText(*error) : QString();
}

JobSummary::JobSummary(const std::vector<Outcome>& outcomes) {
    for (const Outcome& outcome : outcomes) {
        if (outcome.retried) {
            retried << outcome.slot.text();
        }
        if (!outcome.failed()) {
            ++done;
        } else {
            ++failed;
            lastError = outcome.error;
        }
        identical += outcome.identical ? 1 : 0;
        kept += outcome.keptCopy != 0 ? 1 : 0;
    }
}

}  // namespace backup
