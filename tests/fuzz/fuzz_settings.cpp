// Whatever the settings file holds, reading the filter choice gives a text that start-up turns
// into a number or one report, reading changes nothing on disk, and a choice written afterwards
// reads back unless the file is passed over.

#include "apperror.h"
#include "numeric.h"
#include "settings.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace lexivane;

namespace {

[[noreturn]] void fault(const char* what) {
    std::fprintf(stderr, "fuzz_settings: %s\n", what);
    std::abort();
}

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

const QString kSection = QStringLiteral("Lexivane");
const QString kKey = QStringLiteral("Combo1");

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Memory-backed when there is such a place: QSettings syncs every write to the disk.
    static QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                 ? QStringLiteral("/dev/shm/lexivane-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/lexivane-fuzz-XXXXXX"));
    if (!dir.isValid()) fault("no temporary folder");
    FileSettingsStore store(dir.path());
    // QSettings keeps files it has read and tells a rewrite by size and time alone, so every
    // input gets a file name of its own.
    static quint64 runs = 0;
    const QString app = QStringLiteral("Tallowick%1").arg(++runs);
    const QString file = store.fileFor(app);
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    {
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            fault("cannot write the settings file");
    }

    const QString stored = store.GetSetting(app, kSection, kKey, QStringLiteral("0"));
    if (contents(file) != bytes) fault("reading the setting changed the file");
    try {
        const qint16 n = CInt(stored, NumberFormat{u'.', u','});
        (void)n;
    } catch (const AppError& e) {
        if (e.description() != QStringLiteral("Type mismatch") &&
            e.description() != QStringLiteral("Overflow"))
            fault("the stored text fails otherwise than as a number");
    }

    store.SaveSetting(app, kSection, kKey, QStringLiteral("3"));
    // A file that is passed over (it has serialized data, which needs an '@') is read as the
    // default and left as it stands; any other takes the choice.
    if (store.GetSetting(app, kSection, kKey, QStringLiteral("0")) != QStringLiteral("3") &&
        (!bytes.contains('@') || stored != QStringLiteral("0") || contents(file) != bytes))
        fault("a choice written over this file does not read back");
    QFile::remove(file);
    return 0;
}
