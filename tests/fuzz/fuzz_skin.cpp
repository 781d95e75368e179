// Whatever bytes stand in x/o.cjs, reading the skin gives a style sheet of clean text or one
// failure that start-up reports, and the window's kinds of controls take any sheet it gives.
// Painting is left out: a sheet may ask for any look, a huge font among them.

#include "apperror.h"
#include "skin_file.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace lexivane;

namespace {

[[noreturn]] void fault(const char* what) {
    std::fprintf(stderr, "fuzz_skin: %s\n", what);
    std::abort();
}

void needApplication() {
    static int argc = 1;
    static char name[] = "fuzz_skin";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance()) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    needApplication();
    // Memory-backed when there is such a place.
    static QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                 ? QStringLiteral("/dev/shm/lexivane-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/lexivane-fuzz-XXXXXX"));
    if (!dir.isValid()) fault("no temporary folder");
    const QString path = dir.filePath(QStringLiteral("o.cjs"));
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            fault("cannot write the skin file");
    }
    QString sheet;
    try {
        sheet = readSkinFile(path);
    } catch (const AppError& e) {
        if (!e.description().startsWith(QStringLiteral("Cannot load skin file ") + path))
            fault("a failure that does not name the skin file");
        return 0;
    }
    if (sheet.isEmpty() || sheet.contains(QChar(0))) fault("an empty sheet or one with NUL");
    const QByteArray bom("\xef\xbb\xbf");
    if (sheet.toUtf8() != (bytes.startsWith(bom) ? bytes.mid(bom.size()) : bytes))
        fault("the sheet is not the file's text");

    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* frame = new QGroupBox(QStringLiteral("Filter By Length Of Word"));
    auto* inFrame = new QVBoxLayout(frame);
    inFrame->addWidget(new QComboBox);
    inFrame->addWidget(new QPushButton(QStringLiteral("Display Filtered List")));
    layout->addWidget(frame);
    auto* list = new QTreeWidget;
    list->setHeaderLabel(QStringLiteral("Result(s)"));
    new QTreeWidgetItem(list, {QStringLiteral("word")});
    layout->addWidget(list);
    layout->addWidget(new QPushButton(QStringLiteral("Help")));
    window.setStyleSheet(sheet);
    for (QWidget* w : window.findChildren<QWidget*>()) {
        w->ensurePolished();
        (void)w->sizeHint();
    }
    (void)window.sizeHint();
    return 0;
}
