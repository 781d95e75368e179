#pragma once

#include <QString>
#include <memory>

namespace lexivane {

// Per-user text settings addressed by application, section and key.
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    // The stored text, or the default when the key is absent. Never creates anything.
    virtual QString GetSetting(const QString& appName, const QString& section, const QString& key,
                               const QString& defaultValue) = 0;
    // Creates or replaces the value; reaches the disk before returning when it can.
    virtual void SaveSetting(const QString& appName, const QString& section, const QString& key,
                             const QString& value) = 0;
};

// One INI file per application name under a folder: <folder>/<appName>.conf,
// the section as its group.
class FileSettingsStore : public SettingsStore {
  public:
    explicit FileSettingsStore(QString folder);
    QString GetSetting(const QString& appName, const QString& section, const QString& key,
                       const QString& defaultValue) override;
    void SaveSetting(const QString& appName, const QString& section, const QString& key,
                     const QString& value) override;

    QString fileFor(const QString& appName) const;
    // The per-user settings folder of this platform.
    static QString defaultFolder();

  private:
    QString folder_;
};

// The per-user store of this platform: a FileSettingsStore in the settings folder, or the
// registry on Windows (HKEY_CURRENT_USER, the branch kept for programs' settings: a key per
// application name, below it a key per section, a string value per key).
std::unique_ptr<SettingsStore> userSettingsStore();

} // namespace lexivane
