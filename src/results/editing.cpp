// Thinning out and clearing the results list.

#include "shell/steps.h"
#include "shell/window/form1.h"

#include <QItemSelectionModel>
#include <QTreeView>

namespace lexivane {

void Form1::PushButton2_Click() {
    Steps s(desktop(), QStringLiteral("in Vandrel2021/08/31.Form1.PushButton2_Click "));
    // While a load or a save runs the words stay; only the header goes back.
    if (s.test(100, [&] { return MousePointer() != 11; })) s.run(100, [&] { ListItems->Clear(); });
    s.run(102, [&] { ListItems->setHeaderText(Text::resultsHeader); });
}

void Form1::ListView1_KeyDown(int& keyCode, int /*shift*/) {
    if (keyCode != 46) return;
    ListView1_DblClick();
}

void Form1::ListView1_DblClick() {
    if (MousePointer() == 11 || ListItems->Count() == 0) return;
    const QModelIndexList selected = ListView1->selectionModel()->selectedRows();
    if (selected.isEmpty()) return;
    ListItems->Remove(selected.first().row() + 1);
}

} // namespace lexivane
