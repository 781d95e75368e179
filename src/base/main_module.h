#pragma once

// Small routines shared by the handlers. None shows a message: failures go to the
// calling handler's error report.

#include <QString>

namespace lexivane {
class Desktop;
class Form;
} // namespace lexivane

namespace lexivane::Main {

// The main window into the always-on-top layer and out of it.
void MakeTopmost(Desktop& desktop);
void MakeNotTopmost(Desktop& desktop);

// True when the path names something whose modification time can be read; never fails.
bool FileExists(const QString& path);

// True only for an ordinary file (not a folder, not hidden): the database and skin checks.
bool ordinaryFileExists(const QString& path);

// program folder + native separator + name
QString besideProgram(const QString& programFolder, const QString& name);

void ApplySkin(Form& form);

// Cuts the product name to the title limit at word boundaries and makes it the
// application title. Throws when it cannot be cut.
void SetAppTitle(const QString& productName = QStringLiteral("Lexivane"));
QString cutAppTitle(const QString& name);

} // namespace lexivane::Main
