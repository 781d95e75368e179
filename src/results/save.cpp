// Writing the results list to a text file, one word per line.

#include "results/text_encoding.h"
#include "shell/apperror.h"
#include "shell/globals.h"
#include "shell/main_module.h"
#include "shell/steps.h"
#include "shell/window/form1.h"

#include <QSaveFile>
#include <memory>

namespace lexivane {

void Form1::PushButton4_Click() {
    Steps s(desktop(), QStringLiteral("in Vandrel2021/08/31.Form1.PushButton4_Click "));
    s.run(108, [&] { CommonDialog1.Flags = 2621953; });
    s.run(110, [&] { CommonDialog1.DialogTitle = QStringLiteral("Save"); });
    s.run(112, [&] {
        CommonDialog1.Filter = QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*|");
    });
    s.run(114, [&] { CommonDialog1.ShowSave(desktop()); });
    QString name;
    s.run(116, [&] { name = CommonDialog1.FileName; });
    if (s.test(
            118, [&] { return name.isEmpty(); }, false))
        return;

    int answer = 0;
    if (s.test(120, [&] { return Main::FileExists(name); }))
        s.run(122, [&] {
            answer = desktop().messageBox(QStringLiteral("Are you sure you wish to overwrite ") +
                                              name + QStringLiteral(" ?"),
                                          MsgYesNo, Globals::appTitle);
        });
    else
        s.run(124, [&] { answer = AnswerYes; });
    if (s.test(
            126, [&] { return answer != AnswerYes; }, false))
        return;

    s.run(128, [&] { setMousePointer(11); });

    // The words go to a copy beside the target that replaces it only when complete,
    // so a failed or interrupted save never loses the old file.
    std::unique_ptr<QSaveFile> file;
    bool writeFailed = false;
    s.run(130, [&] {
        auto f = std::make_unique<QSaveFile>(name);
        if (!f->open(QIODevice::WriteOnly)) throw AppError(f->errorString());
        file = std::move(f);
    });
    abandonSave = [&] {
        if (file) {
            file->cancelWriting();
            file->commit(); // drops the unfinished copy
            file.reset();
        }
    };
    struct Forget {
        std::function<void()>& hook;
        ~Forget() { hook = nullptr; }
    } forget{abandonSave};

    const SystemTextEncoder encoder;
    QByteArray line;
    int n = 0;
    s.run(132, [&] { n = ListItems->Count(); });
    for (int i = 1; i <= n; ++i) {
        s.run(134, [&] { desktop().yield(); });
        // A file that did not open or failed a write has been reported once; the rest of
        // the rows would fail the same way.
        if (writeFailed || !file) continue;
        if (!s.run(136, [&] {
                line.clear();
                encoder.append(line, ListItems->Text(i));
                line += "\r\n";
                if (file->write(line) != line.size()) throw AppError(file->errorString());
            }))
            writeFailed = true;
    }

    s.run(140, [&] {
        if (!file) return;
        std::unique_ptr<QSaveFile> f = std::move(file);
        if (writeFailed) {
            f->cancelWriting();
            f->commit();
            return;
        }
        if (!f->commit()) throw AppError(f->errorString());
    });
    s.run(142, [&] { setMousePointer(1); });
}

} // namespace lexivane
