#include "shell/settings.h"

#include "common/regular_file.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <cerrno>

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

enum class FileState { Missing, Usable, PassedOver };

// QSettings opens the file by name and would wait on a FIFO, or read a device for ever: the
// file is looked at first, without blocking. A FIFO, a device, a folder, an unreadable file
// or one past the size limit is passed over. So is one with a serialized value: QSettings
// decodes every such value of the file, and a list's count in it is believed, so a few bytes
// ask for gigabytes. This program writes plain text only.
FileState stateOf(const QString& path) {
    common::RegularFile f;
    if (!f.open(QFile::encodeName(path).toStdString()))
        return f.errorNumber() == ENOENT ? FileState::Missing : FileState::PassedOver;
    std::string text;
    if (f.status().st_size > kMaxFileSize || !f.readAll(text, size_t(kMaxFileSize)))
        return FileState::PassedOver;
    return text.find("@Variant(") == std::string::npos ? FileState::Usable : FileState::PassedOver;
}
} // namespace

QString FileSettingsStore::GetSetting(const QString& appName, const QString& section,
                                      const QString& key, const QString& defaultValue) {
    const QString path = fileFor(appName);
    // Reading stays side-effect free: QSettings is not made for a file that is not there.
    if (stateOf(path) != FileState::Usable) return defaultValue;
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
    if (stateOf(fileFor(appName)) == FileState::PassedOver) return;
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
