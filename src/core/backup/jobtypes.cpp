#include "jobtypes.h"

namespace backup {

JobSummary::JobSummary(const std::vector<Outcome>& outcomes) {
    for (const Outcome& outcome : outcomes) {
        if (outcome.retried) {
            retried << outcome.slot.text();
        }
        if (outcome.error.isEmpty()) {
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
