#include "settings.h"

#include "regular_file.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <optional>
#include <string>
#include <string_view>

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

// What one escape after a backslash gives, as QSettings reads it: a character, or nothing.
std::optional<char16_t> escapedChar(std::string_view v, size_t& i) {
    const char e = v[i++];
    const int base = e == 'x' ? 16 : (e >= '0' && e <= '7') ? 8 : 0;
    if (base == 0) {
        static constexpr std::string_view from = "abfnrtv\"?'\\", to = "\a\b\f\n\r\t\v\"?'\\";
        const size_t k = from.find(e);
        return k == std::string_view::npos ? std::nullopt : std::optional<char16_t>(to[k]);
    }
    unsigned value = base == 8 ? unsigned(e - '0') : 0;
    bool any = base == 8;
    for (; i < v.size(); ++i) {
        const char c = v[i];
        const int d = (c >= '0' && c <= '9')   ? c - '0'
                      : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                      : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                               : 99;
        if (d >= base) break;
        value = (value * unsigned(base) + unsigned(d)) & 0xffffU; // a UTF-16 unit, as Qt keeps it
        any = true;
    }
    return any ? std::optional<char16_t>(char16_t(value)) : std::nullopt;
}

// Whether a value, or an element of the list it may be, begins with serialized data once its
// quotes and escapes are undone. Spaces and control characters are passed over wherever they
// stand, as an escaped line end is.
bool valueHoldsSerialized(std::string_view v) {
    static constexpr std::u16string_view kinds[] = {u"@Variant(", u"@DateTime("};
    constexpr size_t longest = kinds[1].size();
    bool inQuotes = false;
    std::u16string head;
    const auto add = [&](char16_t c) {
        if (c <= u' ' || head.size() >= longest) return false;
        head += c;
        return std::any_of(std::begin(kinds), std::end(kinds),
                           [&](std::u16string_view k) { return head == k; });
    };
    for (size_t i = 0; i < v.size();) {
        const char c = v[i++];
        if (c == '\\') {
            if (i == v.size()) break;
            if (const auto e = escapedChar(v, i); e && add(*e)) return true;
        } else if (c == '"') {
            inQuotes = !inQuotes;
        } else if (c == ',' && !inQuotes) {
            head.clear();
        } else if (add(char16_t(static_cast<unsigned char>(c)))) {
            return true;
        }
    }
    return false;
}

// QSettings decodes every value of the file as it reads it, serialized data included, and it
// believes a list's count in it: a few bytes ask for gigabytes. This program writes plain text. The
// lines are cut as QSettings cuts them: quotes and an escaped line end carry a line on, and ';'
// outside quotes ends it.
bool fileHoldsSerialized(std::string_view s) {
    if (s.starts_with("\xEF\xBB\xBF")) s.remove_prefix(3);
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && std::string_view(" \t\n\r").find(s[i]) != std::string_view::npos)
            ++i;
        if (i == s.size()) break;
        const size_t start = i;
        if (s[i] == ';') {
            while (i < s.size() && s[i] != '\n' && s[i] != '\r')
                ++i;
            continue;
        }
        bool inQuotes = false;
        size_t equals = std::string_view::npos;
        for (; i < s.size(); ++i) {
            const char c = s[i];
            if (c == '\\') {
                if (i + 1 < s.size()) ++i;
                if (i + 1 < s.size() && (s.substr(i, 2) == "\r\n" || s.substr(i, 2) == "\n\r")) ++i;
            } else if (c == '"') {
                inQuotes = !inQuotes;
            } else if (c == '=' && !inQuotes && equals == std::string_view::npos) {
                equals = i;
            } else if (!inQuotes && (c == '\n' || c == '\r' || c == ';')) {
                break;
            }
        }
        if (s[start] != '[' && equals != std::string_view::npos &&
            valueHoldsSerialized(s.substr(equals + 1, i - equals - 1)))
            return true;
    }
    return false;
}

// QSettings opens the file by name and would wait on a FIFO, or read a device for ever: the
// file is looked at first, without blocking. A FIFO, a device, a folder, an unreadable file,
// one past the size limit or one with serialized data is passed over.
FileState stateOf(const QString& path) {
    auto f = common::RegularFile::open(QFile::encodeName(path).toStdString());
    if (!f) return f.error().errorNumber == ENOENT ? FileState::Missing : FileState::PassedOver;
    const auto text = f->readAll(size_t(kMaxFileSize));
    if (!text) return FileState::PassedOver;
    return fileHoldsSerialized(*text) ? FileState::PassedOver : FileState::Usable;
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
