// Whatever the settings file holds, reading the filter choice gives a text that start-up turns
// into a number or one report, reading changes nothing on disk, a choice written afterwards
// reads back, and the store never holds more memory than a few times the file's size (where
// the sanitizer runtime counts it).

#include "apperror.h"
#include "numeric.h"
#include "settings.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LEXIVANE_COUNT_MEMORY 1
#include <sanitizer/allocator_interface.h>
#endif
#endif

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

// The most the store may hold at once beyond what was held before: QSettings' own bookkeeping,
// a few copies of the file's text, and its maps of every key, some hundreds of bytes a line.
constexpr std::int64_t kFixedBytes = 64 * 1024;
constexpr std::int64_t kBytesPerFileByte = 16;
constexpr std::int64_t kBytesPerLine = 512;

std::atomic<std::int64_t> g_held{0}, g_peak{0};

#ifdef LEXIVANE_COUNT_MEMORY
void onAllocate(const volatile void*, std::size_t n) {
    const std::int64_t now = g_held += std::int64_t(n);
    std::int64_t peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
}
void onFree(const volatile void* p) {
    g_held -= std::int64_t(__sanitizer_get_allocated_size(const_cast<const void*>(p)));
}
#endif

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

    // What QSettings and Qt set up once, on the first use, is not the file's.
    static const bool warm = [&] {
        store.SaveSetting(QStringLiteral("Warm"), kSection, kKey, QStringLiteral("3"));
        store.GetSetting(QStringLiteral("Warm"), kSection, kKey, QStringLiteral("0"));
#ifdef LEXIVANE_COUNT_MEMORY
        __sanitizer_install_malloc_and_free_hooks(onAllocate, onFree);
#endif
        return true;
    }();
    (void)warm;
    g_peak = g_held.load();
    const std::int64_t before = g_held;
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
    // A file past the store's limits is passed over and left as it is.
    if (size <= 1 << 20 && bytes.count('\n') < 4096 &&
        store.GetSetting(app, kSection, kKey, QStringLiteral("0")) != QStringLiteral("3"))
        fault("a choice written over this file does not read back");
    if (g_peak - before > kFixedBytes + kBytesPerFileByte * std::int64_t(size) +
                              kBytesPerLine * (bytes.count('\n') + 1))
        fault("the store held more memory than the file's size allows");
    QFile::remove(file);
    return 0;
}
