#pragma once

#include <QString>

namespace lexivane {

// The folder of the running program as the system tells it before Qt has started, in Qt's form
// (the same QCoreApplication::applicationDirPath() gives later); empty when it cannot tell.
QString earlyProgramFolder();

} // namespace lexivane
