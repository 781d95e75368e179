// Prints the X server's current pointer picture: "WIDTHxHEIGHT HOTX,HOTY" (XFixes), so the
// end-to-end tests can see which picture the program gave the pointer and where its hotspot is.

#include <cstdio>
#include <cstdlib>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

int main() {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) return 1;
    std::free(xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr));
    auto* image = xcb_xfixes_get_cursor_image_reply(c, xcb_xfixes_get_cursor_image(c), nullptr);
    if (!image) return 1;
    std::printf("%ux%u %u,%u\n", image->width, image->height, image->xhot, image->yhot);
    std::free(image);
    xcb_disconnect(c);
    return 0;
}
