#include "settings.h"

namespace lexivane {

std::unique_ptr<SettingsStore> userSettingsStore() {
    return std::make_unique<FileSettingsStore>(FileSettingsStore::defaultFolder());
}

} // namespace lexivane
