// Copying the results list to the clipboard as column-aligned text.

#include "shell/globals.h"
#include "shell/main_module.h"
#include "shell/steps.h"
#include "shell/window/form1.h"
#include "shell/window/report_list.h"

#include <vector>

namespace lexivane {

namespace Main {

void CopyListToClipboard(Form1& form, ReportList& list) {
    Desktop& desktop = form.desktop();
    if (list.rowCount() == 0) return;

    std::vector<qsizetype> widths;
    const int columns = list.columnCount();
    for (int k = 1; k <= columns; ++k) {
        qsizetype width = 0;
        const int rows = list.rowCount();
        for (int r = 1; r <= rows; ++r) {
            desktop.yield();
            width = std::max(width, list.cellText(r, k).size());
        }
        widths.push_back(width);
    }

    const int rows = list.rowCount();
    // A user who ticked nothing wants the whole list, not an emptied clipboard.
    bool anyTicked = false;
    for (int r = 1; r <= rows && !anyTicked; ++r)
        anyTicked = list.isChecked(r);

    QString text;
    for (int r = 1; r <= rows; ++r) {
        form.setCaption(QStringLiteral("Copying ") + QString::number(r) + QStringLiteral(" of ") +
                        QString::number(list.rowCount()));
        desktop.yield();
        if (anyTicked && !list.isChecked(r)) continue;
        const int cols = list.columnCount();
        for (int k = 1; k <= cols; ++k) {
            desktop.yield();
            const QString cell = list.cellText(r, k);
            const qsizetype width = size_t(k - 1) < widths.size() ? widths[size_t(k - 1)] : 0;
            text += cell;
            if (width >= cell.size()) text += QString(width - cell.size(), u' ');
            text += u'\t';
        }
        text.chop(1);
        while (text.endsWith(u' '))
            text.chop(1);
        text += QStringLiteral("\r\n");
    }

    ClearClipboard(desktop);
    SetClipboardText(desktop, text, 0);
}

void ClearClipboard(Desktop& desktop) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        try {
            if (desktop.clipboardClear()) return;
        } catch (const std::exception&) {
            // another attempt
        }
    }
}

bool SetClipboardText(Desktop& desktop, const QString& text, int format) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        try {
            if (desktop.clipboardSetText(text, format)) return true;
        } catch (const std::exception&) {
            // another attempt
        }
    }
    return false;
}

} // namespace Main

void Form1::PushButton5_Click() {
    Steps s(desktop(), QStringLiteral("in Vandrel2021/08/31.Form1.PushButton5_Click "));
    s.run(118, [&] { Main::CopyListToClipboard(*this, *ListItems); });
    s.run(134, [&] {
        desktop().messageBox(
            QStringLiteral("Results have been copied to the clipboard.\r\rClick a text area where "
                           "you normally type and press Ctrl+V to paste the clipboard."),
            MsgOk, Globals::appTitle);
    });
}

} // namespace lexivane
