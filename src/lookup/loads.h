#pragma once

namespace lexivane {
class Form;
}

// The length filter and the two list loads.
namespace lexivane::Lookup {

// Stores the chosen filter entry.
void Combo1_Click(Form& form);
// Selects a filter entry (-1: none) as the program does at start-up; raises the click
// notification when the selection changes. Throws for an index the list does not have.
void setComboListIndex(Form& form, int index);

void PushButton1_Click(Form& form); // Display Filtered List, or Stop
void PushButton3_Click(Form& form); // Display Entire List, or Stop

} // namespace lexivane::Lookup
