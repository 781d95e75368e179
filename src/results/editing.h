#pragma once

namespace lexivane {
class Form;
}

// Thinning out and clearing the results list.
namespace lexivane::Results {

void PushButton2_Click(Form& form); // Clear Results
// keyCode: a Qt key code; the list goes on to handle the key as it would without us.
void ListView1_KeyDown(Form& form, int& keyCode, int shift);
void ListView1_DblClick(Form& form);

} // namespace lexivane::Results
