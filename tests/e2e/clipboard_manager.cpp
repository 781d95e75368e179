// A clipboard manager for the end-to-end tests, written from the freedesktop clipboard
// manager protocol: it owns CLIPBOARD_MANAGER, and only when a program asks it to
// (SAVE_TARGETS) does it fetch that program's clipboard text and then serve the clipboard
// itself. It never copies on its own, so a program that leaves without asking leaves nothing.
//   e2e-clipboard-manager [--silent]
// --silent takes the selection but never answers. Prints "ready" once it owns the selection.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <xcb/xcb.h>

namespace {
xcb_connection_t* c;
xcb_window_t me;

xcb_atom_t atom(const char* name) {
    auto* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(r);
    return a;
}

// The next event of one kind (others that arrive meanwhile are kept for later).
std::vector<xcb_generic_event_t*> pending;
xcb_generic_event_t* waitFor(uint8_t type) {
    for (;;) {
        xcb_generic_event_t* e = xcb_wait_for_event(c);
        if (!e) std::exit(1);
        if ((e->response_type & 0x7f) == type) return e;
        pending.push_back(e);
    }
}

std::string readProperty(xcb_atom_t property, xcb_atom_t* type) {
    std::string data;
    uint32_t offset = 0;
    for (;;) {
        auto* r = xcb_get_property_reply(
            c, xcb_get_property(c, 0, me, property, XCB_GET_PROPERTY_TYPE_ANY, offset, 1 << 20),
            nullptr);
        if (!r) break;
        *type = r->type;
        const int n = xcb_get_property_value_length(r);
        data.append(static_cast<const char*>(xcb_get_property_value(r)), size_t(n));
        offset += uint32_t(n) / 4;
        const bool more = r->bytes_after > 0;
        std::free(r);
        if (!more) break;
    }
    xcb_delete_property(c, me, property);
    xcb_flush(c);
    return data;
}

// Converts the selection to the target on our window; the data, or nothing on refusal.
bool fetch(xcb_atom_t selection, xcb_atom_t target, std::string& data, xcb_atom_t& type) {
    const xcb_atom_t into = atom("_E2E_MANAGER_DATA");
    xcb_convert_selection(c, me, selection, target, into, XCB_CURRENT_TIME);
    xcb_flush(c);
    auto* n = reinterpret_cast<xcb_selection_notify_event_t*>(waitFor(XCB_SELECTION_NOTIFY));
    const bool ok = n->property != XCB_NONE;
    std::free(n);
    if (!ok) return false;
    data = readProperty(into, &type);
    if (type != atom("INCR")) return true;
    // Large data comes in pieces, each announced by a new value of the property.
    data.clear();
    for (;;) {
        auto* p = reinterpret_cast<xcb_property_notify_event_t*>(waitFor(XCB_PROPERTY_NOTIFY));
        const bool newValue = p->state == XCB_PROPERTY_NEW_VALUE && p->atom == into;
        std::free(p);
        if (!newValue) continue;
        const std::string piece = readProperty(into, &type);
        if (piece.empty()) return true;
        data += piece;
    }
}

void notify(const xcb_selection_request_event_t* r, xcb_atom_t property) {
    xcb_selection_notify_event_t n{};
    n.response_type = XCB_SELECTION_NOTIFY;
    n.time = r->time;
    n.requestor = r->requestor;
    n.selection = r->selection;
    n.target = r->target;
    n.property = property;
    xcb_send_event(c, 0, r->requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<char*>(&n));
    xcb_flush(c);
}
} // namespace

int main(int argc, char** argv) {
    const bool silent = argc > 1 && std::strcmp(argv[1], "--silent") == 0;
    c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) return 1;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    me = xcb_generate_id(c);
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, me, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
    const xcb_atom_t manager = atom("CLIPBOARD_MANAGER"), clipboard = atom("CLIPBOARD");
    const xcb_atom_t saveTargets = atom("SAVE_TARGETS"), targets = atom("TARGETS");
    const xcb_atom_t utf8 = atom("UTF8_STRING");
    xcb_set_selection_owner(c, me, manager, XCB_CURRENT_TIME);
    xcb_flush(c);
    std::puts("ready");
    std::fflush(stdout);

    std::string saved;
    bool serving = false;
    for (;;) {
        xcb_generic_event_t* e;
        if (!pending.empty()) {
            e = pending.front();
            pending.erase(pending.begin());
        } else {
            e = xcb_wait_for_event(c);
        }
        if (!e) return 1;
        if ((e->response_type & 0x7f) == XCB_SELECTION_CLEAR) {
            auto* clear = reinterpret_cast<xcb_selection_clear_event_t*>(e);
            if (clear->selection == manager) return 0;
            if (clear->selection == clipboard) serving = false;
        } else if ((e->response_type & 0x7f) == XCB_SELECTION_REQUEST) {
            auto* r = reinterpret_cast<xcb_selection_request_event_t*>(e);
            if (r->selection == manager && r->target == saveTargets) {
                if (!silent) {
                    std::string text;
                    xcb_atom_t type = 0;
                    if (fetch(clipboard, utf8, text, type)) {
                        saved = text;
                        xcb_set_selection_owner(c, me, clipboard, XCB_CURRENT_TIME);
                        serving = true;
                    }
                    notify(r, r->property);
                }
            } else if (r->selection == clipboard && serving) {
                const xcb_atom_t property = r->property ? r->property : r->target;
                if (r->target == targets) {
                    const xcb_atom_t offered[] = {targets, utf8};
                    xcb_change_property(c, XCB_PROP_MODE_REPLACE, r->requestor, property,
                                        XCB_ATOM_ATOM, 32, 2, offered);
                    notify(r, property);
                } else if (r->target == utf8) {
                    xcb_change_property(c, XCB_PROP_MODE_REPLACE, r->requestor, property, utf8, 8,
                                        uint32_t(saved.size()), saved.data());
                    notify(r, property);
                } else {
                    notify(r, XCB_NONE);
                }
            } else {
                notify(r, XCB_NONE);
            }
        }
        std::free(e);
    }
}
