#pragma once

#include <QString>
#include <vector>

#include "backup/jobtypes.h"

struct WindowParts;

// How the window says what became of a command's items.
namespace outcomereport {

// A command on one row fails as that row's transfer failed (the box says why); several rows
// report their outcomes afterwards. Notes a retried single transfer. Inside a command's frame.
void failWithTheOnlyItem(const WindowParts& parts, const std::vector<backup::Outcome>& outcomes);

// The status line's summary and, when some failed, the one error box naming each (with where
// a slot's old item is kept when the slot may no longer hold it).
void reportOutcomes(const WindowParts& parts, const QString& summary, const QString& failedHeading,
                    const std::vector<backup::Outcome>& outcomes);

}  // namespace outcomereport
