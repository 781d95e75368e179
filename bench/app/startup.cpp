// bench_startup [RUNS] PROGRAM TITLE REFERENCE REFTITLE
// Start-up as a user sees it: from just before the program is started to its top-level
// window being viewable on the X server (DISPLAY, a window manager running), and to the
// window also carrying its title. PROGRAM and REFERENCE runs alternate, so both meet the
// same machine load; medians are printed with their ratio. Figures only, no verdict.

#include "bench_util.h"
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using lexivane::bench::median;

namespace {

xcb_connection_t* conn;
xcb_window_t root;
xcb_atom_t aClientList, aPid, aNetName, aUtf8;

double nowMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

xcb_atom_t atom(const char* name) {
    auto* r = xcb_intern_atom_reply(
        conn, xcb_intern_atom(conn, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : XCB_NONE;
    free(r);
    return a;
}

std::vector<uint32_t> prop32(xcb_window_t w, xcb_atom_t a, xcb_atom_t type) {
    auto* r = xcb_get_property_reply(conn, xcb_get_property(conn, 0, w, a, type, 0, 4096), nullptr);
    std::vector<uint32_t> out;
    if (r && r->format == 32) {
        auto* v = static_cast<uint32_t*>(xcb_get_property_value(r));
        out.assign(v, v + xcb_get_property_value_length(r) / 4);
    }
    free(r);
    return out;
}

std::string propText(xcb_window_t w, xcb_atom_t a, xcb_atom_t type) {
    auto* r = xcb_get_property_reply(conn, xcb_get_property(conn, 0, w, a, type, 0, 1024), nullptr);
    std::string out;
    if (r)
        out.assign(static_cast<const char*>(xcb_get_property_value(r)),
                   size_t(xcb_get_property_value_length(r)));
    free(r);
    return out;
}

struct Seen {
    double mapped = -1; // a window of the process is viewable
    double titled = -1; // ... and carries the expected title
    double cpu = -1;    // user + system time of the process and its helpers, to its end
};

double cpuMs(const rusage& u) {
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

// Looks through the window manager's client list for a window of pid.
void check(pid_t pid, const std::string& title, double t0, Seen& seen) {
    for (uint32_t w : prop32(root, aClientList, XCB_ATOM_WINDOW)) {
        const auto p = prop32(w, aPid, XCB_ATOM_CARDINAL);
        if (p.empty() || pid_t(p[0]) != pid) continue;
        auto* attr =
            xcb_get_window_attributes_reply(conn, xcb_get_window_attributes(conn, w), nullptr);
        const bool viewable = attr && attr->map_state == XCB_MAP_STATE_VIEWABLE;
        free(attr);
        if (!viewable) continue;
        const double t = nowMs() - t0;
        if (seen.mapped < 0) seen.mapped = t;
        if (seen.titled < 0 && propText(w, aNetName, aUtf8) == title) seen.titled = t;
    }
}

// One start: returns the times, or -1 on a timeout.
Seen startOnce(const char* program, const std::string& title) {
    const double t0 = nowMs();
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0); // its helpers end with it
        execl(program, program, static_cast<char*>(nullptr));
        _exit(127);
    }
    setpgid(pid, pid);
    Seen seen;
    pollfd fd{xcb_get_file_descriptor(conn), POLLIN, 0};
    while (seen.titled < 0 && nowMs() - t0 < 15000) {
        check(pid, title, t0, seen);
        if (seen.titled >= 0) break;
        // Wake on any change on the root (client list, frames mapped) or after 1 ms.
        poll(&fd, 1, 1);
        while (xcb_generic_event_t* e = xcb_poll_for_event(conn))
            free(e);
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            std::fprintf(stderr, "bench_startup: %s ended early (status %d)\n", program, status);
            return seen;
        }
    }
    kill(-pid, SIGTERM);
    // CPU time counts little of the machine's other load, unlike the wall time; it is
    // ended right after its window came, so this is nearly all start-up work.
    rusage usage{};
    if (wait4(pid, nullptr, 0, &usage) == pid) seen.cpu = cpuMs(usage);
    return seen;
}

} // namespace

int main(int argc, char** argv) {
    int a = 1, runs = 10;
    if (argc == 6) runs = std::atoi(argv[a++]);
    if (argc - a != 4 || runs < 1) {
        std::fprintf(stderr, "usage: bench_startup [RUNS] PROGRAM TITLE REFERENCE REFTITLE\n");
        return 2;
    }
    const char* program = argv[a];
    const char* slash = std::strrchr(program, '/');
    const char* name = slash ? slash + 1 : program;
    const std::string title = argv[a + 1];
    const char* reference = argv[a + 2];
    const std::string refTitle = argv[a + 3];

    conn = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(conn)) {
        std::fprintf(stderr, "bench_startup: cannot open the display\n");
        return 1;
    }
    root = xcb_setup_roots_iterator(xcb_get_setup(conn)).data->root;
    aClientList = atom("_NET_CLIENT_LIST");
    aPid = atom("_NET_WM_PID");
    aNetName = atom("_NET_WM_NAME");
    aUtf8 = atom("UTF8_STRING");
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(conn, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(conn);
    const xcb_atom_t wmCheck = atom("_NET_SUPPORTING_WM_CHECK");
    for (int i = 0; prop32(root, wmCheck, XCB_ATOM_WINDOW).empty(); ++i) {
        if (i == 50) {
            std::fprintf(stderr, "bench_startup: no window manager seen; results may not come\n");
            break;
        }
        usleep(100000);
    }

    // One start of each first, unmeasured: the files are then in the page cache for both.
    startOnce(program, title);
    startOnce(reference, refTitle);
    std::vector<double> pm, pt, rm, rt, pc, rc;
    for (int i = 0; i < runs; ++i) {
        usleep(150000);
        const Seen p = startOnce(program, title);
        usleep(150000);
        const Seen r = startOnce(reference, refTitle);
        if (p.mapped >= 0) pm.push_back(p.mapped);
        if (p.titled >= 0) pt.push_back(p.titled);
        if (r.mapped >= 0) rm.push_back(r.mapped);
        if (r.titled >= 0) rt.push_back(r.titled);
        if (p.cpu >= 0 && p.titled >= 0) pc.push_back(p.cpu);
        if (r.cpu >= 0 && r.titled >= 0) rc.push_back(r.cpu);
        std::printf("  run %2d: program mapped %7.1f ms, titled %7.1f ms | reference mapped %7.1f "
                    "ms, titled %7.1f ms | cpu %6.1f / %6.1f ms\n",
                    i + 1, p.mapped, p.titled, r.mapped, r.titled, p.cpu, r.cpu);
    }
    const double pM = median(pm), pT = median(pt), rM = median(rm), rT = median(rt);
    std::printf("start-up, median of %d (%zu/%zu program and %zu/%zu reference runs complete)\n",
                runs, pm.size(), pt.size(), rm.size(), rt.size());
    std::printf("  window viewable:        %-10s %8.1f ms   empty QWidget %8.1f ms   ratio %5.2f\n",
                name, pM, rM, rM > 0 ? pM / rM : 0);
    std::printf("  viewable, title shown:  %-10s %8.1f ms   empty QWidget %8.1f ms   ratio %5.2f   "
                "(target <= 500 ms)\n",
                name, pT, rT, rT > 0 ? pT / rT : 0);
    const double pC = median(pc), rC = median(rc);
    std::printf("  CPU time (user + sys, helpers included): %-10s %8.1f ms   empty QWidget %8.1f ms"
                "   ratio %5.2f\n",
                name, pC, rC, rC > 0 ? pC / rC : 0);
    xcb_disconnect(conn);
    return 0;
}
