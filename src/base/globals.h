#pragma once

// Program-wide state shared by the window's handlers.

#include "ado.h"

#include <QString>
#include <memory>

namespace lexivane::Globals {

extern std::unique_ptr<ado::Object> dbConnection;
// Caption of the load button that started the running load; shared by both load buttons.
extern QString savedCaption;
// Title of every box that names none of its own.
extern QString appTitle;

inline const QString productName = QStringLiteral("Lexivane");

// Back to the state of a fresh start (tests run several windows in one process).
void reset();

} // namespace lexivane::Globals
