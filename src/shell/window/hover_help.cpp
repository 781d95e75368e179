// Pointer feedback over the window and the Help button.

#include "config.h"
#include "form1.h"
#include "globals.h"

namespace lexivane {

void Form1::hoverOverButton() {
    if (form_.MousePointer() != PointerBusy) form_.setMousePointer(PointerCustom);
}

void Form1::hoverOverSurface() {
    if (form_.MousePointer() != PointerBusy) form_.setMousePointer(PointerDefault);
}

void Form1::PushButton6_Click() {
    Steps s = form_.steps(Handler::PushButton6_Click);
    s.run(100, [&] {
        form_.desktop().messageBox(QStringLiteral("Questions? Please contact Team Tallowick at ") +
                                       QStringLiteral(LEXIVANE_CONTACT_FORM),
                                   MsgOk, Globals::appTitle);
    });
}

} // namespace lexivane
