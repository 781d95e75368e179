#pragma once

#include <QImage>
#include <QPoint>

namespace lexivane {

// The program's own pictures, drawn in code so that nothing binary is kept in the sources.
QImage drawProgramIcon(int size);
// size by size; drawn for 32, finer at larger sizes
QImage drawHandPointer(int size = 32);
QPoint handPointerHotspot(); // at 32 by 32

} // namespace lexivane
