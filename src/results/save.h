#pragma once

namespace lexivane {
class Form;
}

namespace lexivane::Results {

// Save Results As Text File: the results list, one word per line.
void PushButton4_Click(Form& form);

} // namespace lexivane::Results
