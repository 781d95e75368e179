// Pointer feedback over the window and the Help button.

#include "config.h"
#include "shell/globals.h"
#include "shell/steps.h"
#include "shell/window/form1.h"

namespace lexivane {

void Form1::hoverOverButton() {
    if (MousePointer() != 11) setMousePointer(99);
}

void Form1::hoverOverSurface() {
    if (MousePointer() != 11) setMousePointer(0);
}

void Form1::PushButton6_Click() {
    Steps s(desktop(), QStringLiteral("in Vandrel2021/08/31.Form1.PushButton6_Click "));
    s.run(100, [&] {
        desktop().messageBox(QStringLiteral("Questions? Please contact Team Tallowick at ") +
                                 QStringLiteral(LEXIVANE_CONTACT_FORM),
                             MsgOk, Globals::appTitle);
    });
}

} // namespace lexivane
