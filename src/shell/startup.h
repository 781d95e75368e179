#pragma once

#include <QString>
#include <memory>

namespace lexivane {
class Form;
namespace db {
class ReadAhead;
}
} // namespace lexivane

// Start-up and shut-down of the main window.
namespace lexivane::Startup {

void Form_Load(Form& form);
// Begins reading the word database of `programFolder` before start-up opens it, so that the
// reading goes on while the window is made; the context's data objects take it.
std::shared_ptr<db::ReadAhead> ReadDatabaseAhead(const QString& programFolder);
void Form_QueryUnload(Form& form, bool& cancel, int unloadMode);
void Form_Unload(Form& form, bool& cancel);

} // namespace lexivane::Startup
