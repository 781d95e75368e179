#include "clipboard_handover.h"

#include <QAbstractNativeEventFilter>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QThread>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace lexivane {

namespace {
xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return a;
}

// Sees the manager's answer to our request among the events Qt reads.
struct Answer : QAbstractNativeEventFilter {
    xcb_window_t requestor = 0;
    bool arrived = false;
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) == XCB_SELECTION_NOTIFY &&
            reinterpret_cast<const xcb_selection_notify_event_t*>(event)->requestor == requestor)
            arrived = true;
        return false;
    }
};
} // namespace

void handOverClipboard(int timeoutMs) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !QGuiApplication::clipboard()->ownsClipboard()) return;
    xcb_connection_t* c = x11->connection();
    const xcb_atom_t manager = atom(c, "CLIPBOARD_MANAGER");
    const xcb_atom_t saveTargets = atom(c, "SAVE_TARGETS");
    const xcb_atom_t property = atom(c, "_LEXIVANE_CLIPBOARD_SAVED");
    if (manager == XCB_ATOM_NONE || saveTargets == XCB_ATOM_NONE || property == XCB_ATOM_NONE)
        return;
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, manager), nullptr);
    const bool managed = owner && owner->owner != XCB_NONE;
    std::free(owner);
    if (!managed) return;

    // A window of our own to receive the answer on.
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    Answer answer;
    answer.requestor = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, answer.requestor, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    qGuiApp->installNativeEventFilter(&answer);
    // The whole content is asked for: the property names no targets.
    xcb_delete_property(c, answer.requestor, property);
    xcb_convert_selection(c, answer.requestor, manager, saveTargets, property, XCB_CURRENT_TIME);
    xcb_flush(c);

    // The manager now asks us for the content; Qt's clipboard answers. Nothing the user does
    // is handled any more.
    QElapsedTimer waited;
    waited.start();
    while (!answer.arrived && waited.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
        if (!answer.arrived) QThread::msleep(2);
    }
    qGuiApp->removeNativeEventFilter(&answer);
    xcb_destroy_window(c, answer.requestor);
    xcb_flush(c);
}

} // namespace lexivane
