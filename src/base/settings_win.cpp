#include "settings.h"

#include <QSettings>

namespace lexivane {

namespace {
// Values are strings the system keeps typed; they are read and written as they are, in the
// native format.
class RegistrySettingsStore : public SettingsStore {
  public:
    QString GetSetting(const QString& appName, const QString& section, const QString& key,
                       const QString& defaultValue) override {
        QSettings s(keyOf(appName), QSettings::NativeFormat);
        s.beginGroup(section);
        const QVariant stored = s.value(key);
        return stored.isValid() ? stored.toString() : defaultValue;
    }

    void SaveSetting(const QString& appName, const QString& section, const QString& key,
                     const QString& value) override {
        QSettings s(keyOf(appName), QSettings::NativeFormat);
        s.beginGroup(section);
        s.setValue(key, value);
        s.endGroup();
        s.sync();
    }

  private:
    static QString keyOf(const QString& appName) {
        return QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\") +
               appName;
    }
};
} // namespace

std::unique_ptr<SettingsStore> userSettingsStore() {
    return std::make_unique<RegistrySettingsStore>();
}

} // namespace lexivane
