#include "editing.h"

#include "form.h"
#include "results_model.h"

#include <Qt>

namespace lexivane::Results {

void PushButton2_Click(Form& form) {
    Steps s = form.steps(Handler::PushButton2_Click);
    // While a load or a save runs the words stay; only the header goes back.
    if (s.test(100, [&] { return form.MousePointer() != PointerBusy; }))
        s.run(100, [&] { form.ListItems().Clear(); });
    s.run(102, [&] { form.ListItems().setHeaderText(Text::resultsHeader); });
}

void ListView1_KeyDown(Form& form, int& keyCode, int /*shift*/) {
    if (keyCode != Qt::Key_Delete) return;
    ListView1_DblClick(form);
}

void ListView1_DblClick(Form& form) {
    if (form.MousePointer() == PointerBusy || form.ListItems().Count() == 0) return;
    const int selected = form.controls().selectedResult();
    if (selected == 0) return;
    form.ListItems().Remove(selected);
}

} // namespace lexivane::Results
