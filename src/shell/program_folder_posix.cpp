#include "program_folder.h"

#include <QFileInfo>

namespace lexivane {

QString earlyProgramFolder() {
    // Linux names the program in /proc; elsewhere this is empty.
    const QString program = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return program.isEmpty() ? QString() : QFileInfo(program).absolutePath();
}

} // namespace lexivane
