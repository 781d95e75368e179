#include "settings.h"

#include <QSettings>
#include <windows.h>

namespace lexivane {

namespace {
// The branch of HKEY_CURRENT_USER kept for programs' settings.
const QString kBranch = QStringLiteral("Software\\VB and VBA Program Settings");

QString sectionKey(const QString& appName, const QString& section) {
    return kBranch + u'\\' + appName + u'\\' + section;
}

// Values are strings the system keeps typed; they are read and written as they are, in the
// native format.
class RegistrySettingsStore : public SettingsStore {
  public:
    QString GetSetting(const QString& appName, const QString& section, const QString& key,
                       const QString& defaultValue) override {
        // QSettings makes the key it is opened on: reading looks first, so that it makes none.
        HKEY handle = nullptr;
        const std::wstring path = sectionKey(appName, section).toStdWString();
        if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
            return defaultValue;
        RegCloseKey(handle);
        const QVariant stored =
            QSettings(QStringLiteral("HKEY_CURRENT_USER\\") + sectionKey(appName, section),
                      QSettings::NativeFormat)
                .value(key);
        return stored.isValid() ? stored.toString() : defaultValue;
    }

    void SaveSetting(const QString& appName, const QString& section, const QString& key,
                     const QString& value) override {
        QSettings s(QStringLiteral("HKEY_CURRENT_USER\\") + sectionKey(appName, section),
                    QSettings::NativeFormat);
        s.setValue(key, value);
        s.sync();
    }
};
} // namespace

std::unique_ptr<SettingsStore> userSettingsStore() {
    return std::make_unique<RegistrySettingsStore>();
}

} // namespace lexivane
