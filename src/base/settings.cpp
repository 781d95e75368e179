#include "settings.h"

#include "regular_file.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <map>
#include <string>
#include <vector>

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
// QSettings keeps a few maps of every key in the file, some hundreds of bytes each: a file of
// more lines than this is not ours either.
constexpr qsizetype kMaxLines = 4096;

enum class FileState { Missing, Usable, PassedOver };

// QSettings opens the file by name and would wait on a FIFO, or read a device for ever: the
// file is looked at first, without blocking. A FIFO, a device, a folder, an unreadable file or
// one past the limits is passed over (a format's reader refusing it would not stop QSettings
// from writing over it).
FileState stateOf(const QString& path) {
    auto f = common::RegularFile::open(QFile::encodeName(path).toStdString());
    if (!f) return f.error().errorNumber == ENOENT ? FileState::Missing : FileState::PassedOver;
    const auto text = f->readAll(size_t(kMaxFileSize));
    if (!text || std::count(text->begin(), text->end(), '\n') >= kMaxLines)
        return FileState::PassedOver;
    return FileState::Usable;
}

// The settings format of this program: INI lines, every value kept as the text it is. QSettings'
// own INI format decodes values as it reads them, serialized data among them, and believed a
// list's count there (a few bytes asked for gigabytes); this one decodes nothing, and a save
// gives back every line it does not change byte for byte.
//
// "[group]" starts a group; "name = value" is the key group/name with the text after '=' as its
// value, spaces around it left out; anything else (a comment, a blank line) is kept as it is.

// The whole file as read, under a key no line can make, so that the writer has it again.
const QString kFileKey = QStringLiteral("\n");
// Every key of a group holds the group's name again: the values of a group with a longer name
// are left in the text and not read (the program's own group is short), or a long name over
// many lines would hold far more memory than the file is large.
constexpr qsizetype kMaxGroupChars = 64;

struct Line {
    qsizetype start = 0, end = 0;           // the line without its line end
    QString group;                          // the group it is in, or that it starts
    QString key;                            // group/name for a value line, else empty
    qsizetype valueStart = 0, valueEnd = 0; // the value's bytes
    bool header = false;
};

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

qsizetype bomLength(const QByteArray& bytes) {
    return bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
}

// Calls `use` with each line of `bytes`, in order.
template <class Use> void forEachLine(const QByteArray& bytes, Use&& use) {
    QString group;
    Line line;
    for (qsizetype at = bomLength(bytes); at < bytes.size(); at = line.end + 1) {
        qsizetype end = bytes.indexOf('\n', at);
        if (end < 0) end = bytes.size();
        line = Line();
        line.start = at;
        line.end = end;
        qsizetype a = at, b = end;
        while (a < b && isSpace(bytes[a]))
            ++a;
        while (b > a && isSpace(bytes[b - 1]))
            --b;
        const QByteArrayView text(bytes.constData() + a, b - a);
        const qsizetype equals = text.indexOf('=');
        if (text.startsWith('[') && text.endsWith(']')) {
            group = QString::fromUtf8(text.sliced(1, text.size() - 2));
            line.header = true;
        } else if (!text.startsWith(';') && !text.startsWith('#') && equals > 0) {
            qsizetype nameEnd = a + equals, valueStart = a + equals + 1;
            while (nameEnd > a && isSpace(bytes[nameEnd - 1]))
                --nameEnd;
            while (valueStart < b && isSpace(bytes[valueStart]))
                ++valueStart;
            const QString name = QString::fromUtf8(bytes.constData() + a, nameEnd - a);
            if (group.size() <= kMaxGroupChars)
                line.key = group.isEmpty() ? name : group + QLatin1Char('/') + name;
            line.valueStart = valueStart;
            line.valueEnd = b;
        }
        line.group = group;
        use(line);
    }
}

bool readText(QIODevice& device, QSettings::SettingsMap& map) {
    // Read as large as it is: asked for the most it may hold, QIODevice sets that much aside.
    if (device.size() > kMaxFileSize) return false;
    const QByteArray bytes = device.readAll();
    if (bytes.size() > kMaxFileSize) return false;
    // The first line of a key holds its value; a later one is passed over.
    forEachLine(bytes, [&](const Line& line) {
        if (!line.key.isEmpty() && !map.contains(line.key))
            map.insert(line.key, QString::fromUtf8(bytes.constData() + line.valueStart,
                                                   line.valueEnd - line.valueStart));
    });
    map.insert(kFileKey, bytes);
    return true;
}

// A name or a value this format can hold as it stands: on one line, without spaces at its ends
// (and a name without '=', a group without ']').
bool writable(QStringView text, QStringView forbidden) {
    if (text.isEmpty()) return true;
    const auto space = [](QChar c) { return c == u' ' || c == u'\t'; };
    return !space(text.front()) && !space(text.back()) && !text.contains(u'\n') &&
           !text.contains(u'\r') && std::none_of(forbidden.begin(), forbidden.end(), [&](QChar c) {
               return text.contains(c);
           });
}

bool writeText(QIODevice& device, const QSettings::SettingsMap& map) {
    const QByteArray bytes = map.value(kFileKey).toByteArray();
    // The values to write, by key; a key left here when the file is done is a new one.
    std::map<QString, QString> pending;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it)
        if (it.key() != kFileKey) pending.emplace(it.key(), it.value().toString());
    const QByteArray eol = bytes.contains("\r\n") ? "\r\n" : "\n";
    // The file's own lines, each with its line end and the changed values put in; after the last
    // value (or the header) of each group its new keys go.
    std::vector<QByteArray> out;
    std::map<QString, size_t> lastOfGroup;
    out.push_back(bytes.first(bomLength(bytes)));
    bool failed = false;
    forEachLine(bytes, [&](const Line& line) {
        QByteArray text = bytes.mid(line.start, line.end + 1 - line.start);
        if (!line.key.isEmpty()) {
            const auto found = pending.find(line.key);
            // A key's later lines, and those of a key removed (which this program never does),
            // stay as they are.
            if (found != pending.end()) {
                // Compared as text: bytes that are not UTF-8 read as another text than they are.
                if (QString::fromUtf8(bytes.mid(
                        line.valueStart, line.valueEnd - line.valueStart)) != found->second) {
                    if (!writable(found->second, {})) failed = true;
                    text = bytes.mid(line.start, line.valueStart - line.start) +
                           found->second.toUtf8() +
                           bytes.mid(line.valueEnd, line.end + 1 - line.valueEnd);
                }
                pending.erase(found);
            }
        }
        if (!line.key.isEmpty() || line.header) lastOfGroup[line.group] = out.size();
        out.push_back(std::move(text));
    });
    if (failed) return false;
    const auto endLine = [&](QByteArray& text) {
        if (!text.endsWith('\n')) text += eol;
    };
    for (const auto& [key, value] : pending) {
        const qsizetype slash = key.lastIndexOf(QLatin1Char('/'));
        const QString group = slash < 0 ? QString() : key.first(slash);
        if (!writable(value, {}) || !writable(QStringView(key).sliced(slash + 1), u"=") ||
            !writable(group, u"]"))
            return false;
        const QByteArray line =
            (slash < 0 ? key : key.sliced(slash + 1)).toUtf8() + '=' + value.toUtf8() + eol;
        auto anchor = lastOfGroup.find(group);
        if (anchor == lastOfGroup.end() && group.isEmpty()) {
            out.front() += line; // before the first group
            continue;
        }
        if (anchor == lastOfGroup.end()) {
            // A blank line before the new group, unless it is the first thing in the file.
            const bool first = out.size() == 1;
            if (!first) endLine(out.back());
            out.push_back((first ? QByteArray() : eol) + '[' + group.toUtf8() + ']' + eol);
            anchor = lastOfGroup.emplace(group, out.size() - 1).first;
        }
        endLine(out[anchor->second]);
        out[anchor->second] += line;
    }
    QByteArray all;
    for (const QByteArray& text : out)
        all += text;
    return device.write(all) == all.size();
}

QSettings::Format textFormat() {
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("conf"), readText, writeText);
    return format;
}

} // namespace

QString FileSettingsStore::GetSetting(const QString& appName, const QString& section,
                                      const QString& key, const QString& defaultValue) {
    const QString path = fileFor(appName);
    // Reading stays side-effect free: QSettings is not made for a file that is not there.
    if (stateOf(path) != FileState::Usable) return defaultValue;
    QSettings s(path, textFormat());
    s.beginGroup(section);
    if (!s.contains(key)) return defaultValue;
    return s.value(key).toString();
}

void FileSettingsStore::SaveSetting(const QString& appName, const QString& section,
                                    const QString& key, const QString& value) {
    if (stateOf(fileFor(appName)) == FileState::PassedOver) return;
    QDir().mkpath(folder_);
    QSettings s(fileFor(appName), textFormat());
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
