#include "shell/settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

namespace lexivane {

FileSettingsStore::FileSettingsStore(QString folder) : folder_(std::move(folder)) {}

QString FileSettingsStore::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

QString FileSettingsStore::fileFor(const QString& appName) const {
    return QDir(folder_).filePath(appName + QStringLiteral(".conf"));
}

namespace {
// A settings file holds a few short lines. QSettings reads and rewrites the whole file on every
// choice, which for a 100 MB one took seconds and hundreds of megabytes here: a file past this
// is not ours to read or write.
constexpr qint64 kMaxFileSize = 1 << 20;

bool oversized(const QFileInfo& file) {
    return file.isFile() && file.size() > kMaxFileSize;
}
} // namespace

QString FileSettingsStore::GetSetting(const QString& appName, const QString& section,
                                      const QString& key, const QString& defaultValue) {
    const QString path = fileFor(appName);
    const QFileInfo file(path);
    if (!file.isFile() || oversized(file))
        return defaultValue; // QSettings would be harmless, but keep reading side-effect free
    QSettings s(path, QSettings::IniFormat);
    s.beginGroup(section);
    if (!s.contains(key)) return defaultValue;
    const QVariant v = s.value(key);
    // An INI value with commas reads back as a list; give the text as it stands.
    if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(QLatin1Char(','));
    return v.toString();
}

void FileSettingsStore::SaveSetting(const QString& appName, const QString& section,
                                    const QString& key, const QString& value) {
    if (oversized(QFileInfo(fileFor(appName)))) return;
    QDir().mkpath(folder_);
    QSettings s(fileFor(appName), QSettings::IniFormat);
    s.beginGroup(section);
    // Every start-up writes back the choice it restored: the same text again would cost a
    // rewrite and a flush to disk for nothing.
    const QVariant stored = s.value(key);
    if (stored.typeId() == QMetaType::QString && stored.toString() == value) return;
    s.setValue(key, value);
    s.endGroup();
    // A program killed right after a choice must still find it next time.
    s.sync();
}

} // namespace lexivane
