// A small X client for the tests of the task-bar window list and of ending programs. It
// opens the windows its arguments describe, prints "READY" and their ids once the server
// has them, and ends with exit code 0 on SIGTERM (exit code 1 when the display goes).
//
//   ak_x11testclient [--ignore-term] [--wm] --window SPEC [--window SPEC]...
//
// --ignore-term  prints "SIGTERM" for each SIGTERM and keeps running.
// --wm           also plays window manager: publishes _NET_SUPPORTING_WM_CHECK, lists the
//                managed windows in _NET_CLIENT_LIST in reverse order of creation (so the
//                list's order differs from the stacking order) and sets their WM_STATE.
// SPEC is a comma-separated list of key=value:
//   title=TEXT        _NET_WM_NAME (UTF-8); repeat=N repeats TEXT N times, after an
//                     optional prefix=TEXT
//   wmname=TEXT       WM_NAME as STRING (the UTF-8 argument stored as Latin-1)
//   type=NAME         _NET_WM_WINDOW_TYPE_<NAME in upper case>, e.g. utility, dialog
//   transient=previous|root   WM_TRANSIENT_FOR the window before this one, or the root
//   skiptaskbar=1     _NET_WM_STATE_SKIP_TASKBAR
//   pid=own|none|N    _NET_WM_PID (default own; N up to 4294967295)
//   machine=NAME      WM_CLIENT_MACHINE
//   map=0             left unmapped (withdrawn)
//   iconic=1          left unmapped with WM_STATE IconicState (with --wm)
//   managed=0         left out of _NET_CLIENT_LIST (with --wm)
//   override=1        override-redirect

#include <xcb/xcb.h>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/signalfd.h>
#include <unistd.h>
#include <vector>

namespace {

struct TWindowSpec
{
    std::string Title;
    std::string Prefix;
    bool HasTitle = false;
    int Repeat = 1;
    std::string WmName;
    bool HasWmName = false;
    std::string Type;
    std::string Transient;
    bool SkipTaskbar = false;
    std::string Pid = "own";
    std::string Machine;
    bool Map = true;
    bool Iconic = false;
    bool Managed = true;
    bool Override = false;
};

[[noreturn]] void Fail(const std::string &AMessage)
{
    std::fprintf(stderr, "ak_x11testclient: %s\n", AMessage.c_str());
    std::exit(2);
}

TWindowSpec ParseSpec(const std::string &AText)
{
    TWindowSpec spec;
    size_t start = 0;
    while (start <= AText.size()) {
        size_t end = AText.find(',', start);
        if (end == std::string::npos)
            end = AText.size();
        const std::string item = AText.substr(start, end - start);
        start = end + 1;
        if (item.empty())
            continue;
        const size_t eq = item.find('=');
        if (eq == std::string::npos)
            Fail("bad window item: " + item);
        const std::string key = item.substr(0, eq);
        const std::string value = item.substr(eq + 1);
        if (key == "title") {
            spec.Title = value;
            spec.HasTitle = true;
        } else if (key == "prefix") {
            spec.Prefix = value;
        } else if (key == "repeat") {
            spec.Repeat = std::atoi(value.c_str());
        } else if (key == "wmname") {
            spec.WmName = value;
            spec.HasWmName = true;
        } else if (key == "type") {
            spec.Type = value;
        } else if (key == "transient") {
            spec.Transient = value;
        } else if (key == "skiptaskbar") {
            spec.SkipTaskbar = value == "1";
        } else if (key == "pid") {
            spec.Pid = value;
        } else if (key == "machine") {
            spec.Machine = value;
        } else if (key == "map") {
            spec.Map = value != "0";
        } else if (key == "iconic") {
            spec.Iconic = value == "1";
        } else if (key == "managed") {
            spec.Managed = value != "0";
        } else if (key == "override") {
            spec.Override = value == "1";
        } else {
            Fail("unknown window key: " + key);
        }
    }
    return spec;
}

// Enough for the Latin-1 range, which is all a STRING property can hold.
std::string Utf8ToLatin1(const std::string &AText)
{
    std::string result;
    for (size_t i = 0; i < AText.size(); ++i) {
        const auto c = static_cast<unsigned char>(AText[i]);
        if ((c & 0xE0) == 0xC0 && i + 1 < AText.size()) {
            result += char(((c & 0x1F) << 6) | (static_cast<unsigned char>(AText[i + 1]) & 0x3F));
            ++i;
        } else {
            result += char(c);
        }
    }
    return result;
}

std::string Upper(std::string AText)
{
    for (char &c : AText)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return AText;
}

xcb_atom_t Atom(xcb_connection_t *AConnection, const std::string &AName)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        AConnection, xcb_intern_atom(AConnection, 0, uint16_t(AName.size()), AName.c_str()), nullptr);
    if (!reply)
        Fail("cannot intern " + AName);
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

void SetProperty(xcb_connection_t *AConnection, xcb_window_t AWindow, xcb_atom_t AProperty, xcb_atom_t AType,
                 uint8_t AFormat, const void *AData, size_t ACount)
{
    xcb_change_property(AConnection, XCB_PROP_MODE_REPLACE, AWindow, AProperty, AType, AFormat,
                        uint32_t(ACount), AData);
}

void SetText(xcb_connection_t *AConnection, xcb_window_t AWindow, xcb_atom_t AProperty, xcb_atom_t AType,
             const std::string &AText)
{
    SetProperty(AConnection, AWindow, AProperty, AType, 8, AText.data(), AText.size());
}

void SetCardinal(xcb_connection_t *AConnection, xcb_window_t AWindow, xcb_atom_t AProperty, xcb_atom_t AType,
                 uint32_t AValue)
{
    SetProperty(AConnection, AWindow, AProperty, AType, 32, &AValue, 1);
}

} // namespace

int main(int argc, char **argv)
{
    bool ignoreTerm = false;
    bool playWm = false;
    std::vector<TWindowSpec> specs;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--ignore-term")
            ignoreTerm = true;
        else if (arg == "--wm")
            playWm = true;
        else if (arg == "--window" && i + 1 < argc)
            specs.push_back(ParseSpec(argv[++i]));
        else
            Fail("unknown argument: " + arg);
    }

    // SIGTERM arrives through a descriptor, so the loop below sees it beside the display.
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigprocmask(SIG_BLOCK, &term, nullptr);
    const int signalFd = signalfd(-1, &term, SFD_CLOEXEC);
    if (signalFd < 0)
        Fail(std::string("signalfd: ") + std::strerror(errno));

    int screenNumber = 0;
    xcb_connection_t *c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c))
        Fail("cannot open the display");
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&screens);
    const xcb_window_t root = screens.data->root;

    const xcb_atom_t utf8 = Atom(c, "UTF8_STRING");
    const xcb_atom_t netWmName = Atom(c, "_NET_WM_NAME");
    const xcb_atom_t netWmPid = Atom(c, "_NET_WM_PID");
    const xcb_atom_t netWmType = Atom(c, "_NET_WM_WINDOW_TYPE");
    const xcb_atom_t netWmState = Atom(c, "_NET_WM_STATE");
    const xcb_atom_t skipTaskbar = Atom(c, "_NET_WM_STATE_SKIP_TASKBAR");
    const xcb_atom_t wmState = Atom(c, "WM_STATE");

    std::vector<xcb_window_t> windows;
    std::vector<xcb_window_t> managed;
    for (const TWindowSpec &spec : specs) {
        const xcb_window_t window = xcb_generate_id(c);
        const uint32_t values[] = {screens.data->white_pixel, spec.Override ? 1u : 0u};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window, root, 10, 10, 200, 100, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screens.data->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        if (spec.HasTitle) {
            std::string title = spec.Prefix;
            for (int i = 0; i < spec.Repeat; ++i)
                title += spec.Title;
            SetText(c, window, netWmName, utf8, title);
        }
        if (spec.HasWmName)
            SetText(c, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, Utf8ToLatin1(spec.WmName));
        if (!spec.Type.empty()) {
            const xcb_atom_t type = Atom(c, "_NET_WM_WINDOW_TYPE_" + Upper(spec.Type));
            SetProperty(c, window, netWmType, XCB_ATOM_ATOM, 32, &type, 1);
        }
        if (!spec.Transient.empty()) {
            if (spec.Transient == "previous" && windows.empty())
                Fail("transient=previous needs a window before it");
            const xcb_window_t owner = spec.Transient == "root" ? root : windows.back();
            SetCardinal(c, window, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, owner);
        }
        if (spec.SkipTaskbar)
            SetProperty(c, window, netWmState, XCB_ATOM_ATOM, 32, &skipTaskbar, 1);
        if (spec.Pid != "none")
            SetCardinal(c, window, netWmPid, XCB_ATOM_CARDINAL,
                        spec.Pid == "own" ? uint32_t(getpid())
                                          : uint32_t(std::strtoul(spec.Pid.c_str(), nullptr, 10)));
        if (!spec.Machine.empty())
            SetText(c, window, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING, spec.Machine);
        if (spec.Map && !spec.Iconic)
            xcb_map_window(c, window);
        if (playWm && spec.Managed && !spec.Override) {
            const uint32_t state[] = {spec.Iconic ? 3u : 1u, XCB_WINDOW_NONE};
            SetProperty(c, window, wmState, wmState, 32, state, 2);
            managed.insert(managed.begin(), window);
        }
        windows.push_back(window);
    }
    if (playWm) {
        const xcb_atom_t check = Atom(c, "_NET_SUPPORTING_WM_CHECK");
        const xcb_window_t checkWindow = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, checkWindow, root, -1, -1, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        SetCardinal(c, checkWindow, check, XCB_ATOM_WINDOW, checkWindow);
        SetCardinal(c, root, check, XCB_ATOM_WINDOW, checkWindow);
        SetProperty(c, root, Atom(c, "_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 32, managed.data(),
                    managed.size());
    }
    // A round trip: once it is answered, the server has every window and property.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    std::printf("READY");
    for (xcb_window_t window : windows)
        std::printf(" %u", window);
    std::printf("\n");
    std::fflush(stdout);

    pollfd fds[2] = {{signalFd, POLLIN, 0}, {xcb_get_file_descriptor(c), POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            Fail(std::string("poll: ") + std::strerror(errno));
        }
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info;
            if (read(signalFd, &info, sizeof info) != ssize_t(sizeof info))
                continue;
            if (!ignoreTerm) {
                xcb_disconnect(c);
                return 0;
            }
            std::printf("SIGTERM\n");
            std::fflush(stdout);
        }
        if (fds[1].revents) {
            while (xcb_generic_event_t *event = xcb_poll_for_event(c))
                std::free(event);
            if (xcb_connection_has_error(c))
                return 1;
        }
    }
}
