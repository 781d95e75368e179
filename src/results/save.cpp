#include "save.h"

#include "apperror.h"
#include "form.h"
#include "globals.h"
#include "main_module.h"
#include "results_model.h"
#include "text_file.h"

#include <memory>

namespace lexivane::Results {

void PushButton4_Click(Form& form) {
    Steps s = form.steps(Handler::PushButton4_Click);
    Desktop& desktop = form.desktop();
    CommonDialog& dialog = form.CommonDialog1;
    s.run(108, [&] { dialog.Flags = 2621953; });
    s.run(110, [&] { dialog.DialogTitle = QStringLiteral("Save"); });
    s.run(112,
          [&] { dialog.Filter = QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*|"); });
    s.run(114, [&] { dialog.ShowSave(desktop); });
    QString name;
    s.run(116, [&] { name = dialog.FileName; });
    if (s.test(
            118, [&] { return name.isEmpty(); }, false))
        return;

    int answer = 0;
    if (s.test(120, [&] { return Main::FileExists(name); }))
        s.run(122, [&] {
            answer = desktop.messageBox(QStringLiteral("Are you sure you wish to overwrite ") +
                                            name + QStringLiteral(" ?"),
                                        MsgYesNo, Globals::appTitle);
        });
    else
        s.run(124, [&] { answer = AnswerYes; });
    if (s.test(
            126, [&] { return answer != AnswerYes; }, false))
        return;

    s.run(128, [&] { form.setMousePointer(PointerBusy); });

    std::unique_ptr<TextFileWriter> file;
    bool writeFailed = false;
    s.run(130, [&] {
        auto f = std::make_unique<TextFileWriter>(name);
        if (!f->open()) throw AppError(f->errorString());
        file = std::move(f);
    });
    // A save started inside this one's yields keeps this one's hook and gives it back.
    const std::function<void()> outer = form.abandonSave;
    form.abandonSave = [&file, outer] {
        if (file) file->abandon();
        file.reset();
        if (outer) outer();
    };
    struct Restore {
        std::function<void()>& hook;
        std::function<void()> outer;
        ~Restore() { hook = outer; }
    } restore{form.abandonSave, outer};

    int n = 0;
    s.run(132, [&] { n = form.ListItems().Count(); });
    for (int i = 1; i <= n; ++i) {
        s.run(134, [&] { desktop.yieldBetweenRows(); });
        // A file that did not open or failed a write has been reported once; the rest of
        // the rows would fail the same way.
        if (writeFailed || !file) continue;
        if (!s.run(136, [&] {
                if (!file->writeLine(form.ListItems().Text(i))) throw AppError(file->errorString());
            }))
            writeFailed = true;
    }

    s.run(140, [&] {
        if (!file) return;
        const std::unique_ptr<TextFileWriter> f = std::move(file);
        if (writeFailed) {
            f->abandon();
            return;
        }
        if (!f->commit()) throw AppError(f->errorString());
    });
    s.run(142, [&] { form.setMousePointer(PointerArrow); });
}

} // namespace lexivane::Results
