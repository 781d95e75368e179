#include "program_folder.h"

#include <QDir>
#include <QFileInfo>
#include <vector>
#include <windows.h>

namespace lexivane {

QString earlyProgramFolder() {
    // A path may be longer than MAX_PATH: the buffer grows until the name fits.
    std::vector<wchar_t> name(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, name.data(), DWORD(name.size()));
        if (n == 0) return {};
        if (n < name.size()) {
            const QString program =
                QDir::fromNativeSeparators(QString::fromWCharArray(name.data(), n));
            return QFileInfo(program).absolutePath();
        }
        if (name.size() >= 32768) return {};
        name.resize(name.size() * 2);
    }
}

} // namespace lexivane
