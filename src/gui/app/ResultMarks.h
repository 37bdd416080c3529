// The marks that tell what became of a job at a glance: one drawn icon per result, each with its
// own shape as well as its own colour, and one for a file that no job took.
#pragma once

#include <QColor>
#include <QIcon>

#include "app/JobResult.h"

namespace ka::ui {

QIcon ResultMarkIcon(ka::JobResult result);
// A file left alone (present in one compared folder only).
QIcon AsideMarkIcon();
// The program's own icon, for the tray; with a red corner while the last cycle left jobs not
// done.
QIcon ProgramIcon(bool jobsNotDone = false);

// Text of a line whose job was not done.
inline QColor NotDoneColor() {
    return {0xB0, 0x00, 0x00};
}
// Text of a line nothing was asked of: a skipped pair, a file left alone.
inline QColor PassedOverColor() {
    return {0x70, 0x70, 0x70};
}

}  // namespace ka::ui
