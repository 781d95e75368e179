#pragma once

namespace lexivane {
class Form;
}

// Start-up and shut-down of the main window.
namespace lexivane::Startup {

void Form_Load(Form& form);
void Form_QueryUnload(Form& form, bool& cancel, int unloadMode);
void Form_Unload(Form& form, bool& cancel);

} // namespace lexivane::Startup
