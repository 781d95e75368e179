#pragma once

#include <QImage>
#include <QPoint>

namespace lexivane {

// The program's own pictures, drawn in code so that nothing binary is kept in the sources.
QImage drawProgramIcon(int size);
QImage drawHandPointer(); // 32 x 32
QPoint handPointerHotspot();

} // namespace lexivane
