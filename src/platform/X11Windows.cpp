#include "platform/X11Windows.h"

#include <QByteArray>

#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include <unistd.h>
#include <xcb/xcb.h>

namespace {

// Long enough for any healthy server, short enough that a stopped one only delays a run.
constexpr std::chrono::seconds ServerTimeout{3};

// ICCCM WM_STATE values of a window that the window manager manages.
constexpr uint32_t NormalState = 1;
constexpr uint32_t IconicState = 3;

// Property lengths in 32-bit units. Four bytes per UTF-16 unit hold MaxWindowTitleLength
// complete characters even when the property is cut in the middle of a UTF-8 sequence.
constexpr uint32_t TitleLongs = MaxWindowTitleLength;
constexpr uint32_t ListLongs = 1 << 20;

struct TFreeDeleter
{
    void operator()(void *APointer) const { std::free(APointer); }
};
template <typename T> using TReply = std::unique_ptr<T, TFreeDeleter>;

struct TDisconnect
{
    void operator()(xcb_connection_t *AConnection) const { xcb_disconnect(AConnection); }
};
using TConnection = std::unique_ptr<xcb_connection_t, TDisconnect>;

enum TAtomIndex
{
    aNetClientList,
    aNetSupportingWmCheck,
    aNetWmName,
    aUtf8String,
    aNetWmPid,
    aNetWmWindowType,
    aTypeUtility,
    aTypeToolbar,
    aTypeDock,
    aTypeDesktop,
    aNetWmState,
    aStateSkipTaskbar,
    aWmState,
    aAtomCount
};

constexpr const char *AtomNames[aAtomCount] = {
    "_NET_CLIENT_LIST",
    "_NET_SUPPORTING_WM_CHECK",
    "_NET_WM_NAME",
    "UTF8_STRING",
    "_NET_WM_PID",
    "_NET_WM_WINDOW_TYPE",
    "_NET_WM_WINDOW_TYPE_UTILITY",
    "_NET_WM_WINDOW_TYPE_TOOLBAR",
    "_NET_WM_WINDOW_TYPE_DOCK",
    "_NET_WM_WINDOW_TYPE_DESKTOP",
    "_NET_WM_STATE",
    "_NET_WM_STATE_SKIP_TASKBAR",
    "WM_STATE",
};

struct TAtoms
{
    xcb_atom_t Atom[aAtomCount] = {};
    xcb_atom_t operator[](TAtomIndex AIndex) const { return Atom[AIndex]; }
};

// Only atoms that exist: an atom nobody created is on no window, and a query should not
// leave new atoms behind on the server.
TAtoms InternAtoms(xcb_connection_t *AConnection)
{
    xcb_intern_atom_cookie_t cookies[aAtomCount];
    for (int i = 0; i < aAtomCount; ++i)
        cookies[i] = xcb_intern_atom(AConnection, 1, uint16_t(strlen(AtomNames[i])), AtomNames[i]);
    TAtoms atoms;
    for (int i = 0; i < aAtomCount; ++i) {
        TReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(AConnection, cookies[i], nullptr));
        atoms.Atom[i] = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
    return atoms;
}

struct TPropertyRequest
{
    xcb_get_property_cookie_t Cookie{};
    bool Sent = false;
};

// Asking for the property None would only earn a BadAtom error.
TPropertyRequest RequestProperty(xcb_connection_t *AConnection, xcb_window_t AWindow, xcb_atom_t AProperty,
                                 xcb_atom_t AType, uint32_t ALongs)
{
    if (AProperty == XCB_ATOM_NONE)
        return {};
    return {xcb_get_property(AConnection, 0, AWindow, AProperty, AType, 0, ALongs), true};
}

TReply<xcb_get_property_reply_t> FetchProperty(xcb_connection_t *AConnection,
                                               const TPropertyRequest &ARequest)
{
    if (!ARequest.Sent)
        return nullptr;
    xcb_generic_error_t *error = nullptr;
    TReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(AConnection, ARequest.Cookie, &error));
    std::free(error);
    return reply;
}

std::vector<uint32_t> Values32(const xcb_get_property_reply_t *AReply)
{
    if (!AReply || AReply->format != 32)
        return {};
    const auto *values = static_cast<const uint32_t *>(xcb_get_property_value(AReply));
    return std::vector<uint32_t>(values, values + xcb_get_property_value_length(AReply) / 4);
}

QByteArray Bytes8(const xcb_get_property_reply_t *AReply)
{
    if (!AReply || AReply->format != 8)
        return {};
    QByteArray bytes(static_cast<const char *>(xcb_get_property_value(AReply)),
                     xcb_get_property_value_length(AReply));
    // Some clients store the C string's terminator too.
    const qsizetype end = bytes.indexOf('\0');
    if (end >= 0)
        bytes.truncate(end);
    return bytes;
}

// UTF8_STRING as UTF-8; STRING and COMPOUND_TEXT as Latin-1, the character set both start in.
QString DecodeTitle(const xcb_get_property_reply_t *AReply, xcb_atom_t AUtf8String)
{
    const QByteArray bytes = Bytes8(AReply);
    QString title = AReply && AReply->type == AUtf8String && AUtf8String != XCB_ATOM_NONE
                        ? QString::fromUtf8(bytes)
                        : QString::fromLatin1(bytes);
    if (title.size() > MaxWindowTitleLength) {
        title.truncate(MaxWindowTitleLength);
        if (title.back().isHighSurrogate()) // never half a character
            title.chop(1);
    }
    return title;
}

QByteArray FirstLabel(const QByteArray &AHost)
{
    const qsizetype dot = AHost.indexOf('.');
    return (dot < 0 ? AHost : AHost.left(dot)).toLower();
}

// WM_CLIENT_MACHINE may hold the short or the full name of a host.
bool IsThisMachine(const QByteArray &AMachine)
{
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return true;
    const QByteArray machine = FirstLabel(AMachine);
    return machine == FirstLabel(name) || machine == "localhost";
}

xcb_window_t FirstWindow(xcb_connection_t *AConnection, xcb_window_t AWindow, xcb_atom_t AProperty)
{
    const auto reply =
        FetchProperty(AConnection, RequestProperty(AConnection, AWindow, AProperty, XCB_ATOM_WINDOW, 1));
    const std::vector<uint32_t> values = Values32(reply.get());
    return values.empty() ? xcb_window_t(XCB_WINDOW_NONE) : values.front();
}

// A window manager that died leaves its root properties behind; only one whose check
// window still points at itself is alive.
bool HasLiveWindowManager(xcb_connection_t *AConnection, xcb_window_t ARoot, const TAtoms &AAtoms)
{
    const xcb_window_t check = FirstWindow(AConnection, ARoot, AAtoms[aNetSupportingWmCheck]);
    return check != XCB_WINDOW_NONE &&
           FirstWindow(AConnection, check, AAtoms[aNetSupportingWmCheck]) == check;
}

// The window manager's client list, or the root's children when no window manager keeps one.
std::vector<xcb_window_t> TopLevelWindows(xcb_connection_t *AConnection, xcb_window_t ARoot,
                                          const TAtoms &AAtoms, bool &AManaged)
{
    AManaged = false;
    if (HasLiveWindowManager(AConnection, ARoot, AAtoms)) {
        const auto reply =
            FetchProperty(AConnection, RequestProperty(AConnection, ARoot, AAtoms[aNetClientList],
                                                       XCB_ATOM_WINDOW, ListLongs));
        if (reply && reply->type == XCB_ATOM_WINDOW) {
            AManaged = true;
            return Values32(reply.get());
        }
    }
    TReply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(AConnection, xcb_query_tree(AConnection, ARoot), nullptr));
    if (!tree)
        return {};
    const xcb_window_t *children = xcb_query_tree_children(tree.get());
    return std::vector<xcb_window_t>(children, children + xcb_query_tree_children_length(tree.get()));
}

struct TWindowRequests
{
    xcb_window_t Window = XCB_WINDOW_NONE;
    xcb_get_window_attributes_cookie_t Attributes{};
    TPropertyRequest TransientFor, Types, States, NetName, WmName, Pid, Machine, WmState;
};

bool Contains(const std::vector<uint32_t> &AValues, xcb_atom_t AAtom)
{
    return AAtom != XCB_ATOM_NONE && std::find(AValues.begin(), AValues.end(), AAtom) != AValues.end();
}

// Everything about one window, or nothing when it does not qualify (or vanished meanwhile).
bool ReadTaskbarWindow(xcb_connection_t *AConnection, xcb_window_t ARoot, const TAtoms &AAtoms, bool AManaged,
                       const TWindowRequests &ARequests, TTaskbarWindow &AWindow)
{
    xcb_generic_error_t *error = nullptr;
    TReply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(AConnection, ARequests.Attributes, &error));
    std::free(error);
    const auto transientFor = FetchProperty(AConnection, ARequests.TransientFor);
    const auto types = FetchProperty(AConnection, ARequests.Types);
    const auto states = FetchProperty(AConnection, ARequests.States);
    const auto netName = FetchProperty(AConnection, ARequests.NetName);
    const auto wmName = FetchProperty(AConnection, ARequests.WmName);
    const auto pid = FetchProperty(AConnection, ARequests.Pid);
    const auto machine = FetchProperty(AConnection, ARequests.Machine);
    const auto wmState = FetchProperty(AConnection, ARequests.WmState);

    // Override-redirect windows (menus, tooltips) bypass any window manager and task bar.
    if (!attributes || attributes->override_redirect)
        return false;
    // A managed window counts as shown while iconified or on another desktop, as a
    // minimised program is still on the task bar.
    const std::vector<uint32_t> state = Values32(wmState.get());
    const bool shown = attributes->map_state == XCB_MAP_STATE_VIEWABLE ||
                       (AManaged && !state.empty() && (state[0] == NormalState || state[0] == IconicState));
    if (!shown)
        return false;
    // Transient for the root window stands for "owned by the whole group", like a window
    // owned by the desktop.
    const std::vector<uint32_t> owner = Values32(transientFor.get());
    if (!owner.empty() && owner[0] != XCB_WINDOW_NONE && owner[0] != ARoot)
        return false;
    const std::vector<uint32_t> typeList = Values32(types.get());
    for (TAtomIndex type : {aTypeUtility, aTypeToolbar, aTypeDock, aTypeDesktop}) {
        if (Contains(typeList, AAtoms[type]))
            return false;
    }
    if (Contains(Values32(states.get()), AAtoms[aStateSkipTaskbar]))
        return false;

    QString title = DecodeTitle(netName.get(), AAtoms[aUtf8String]);
    if (title.isEmpty())
        title = DecodeTitle(wmName.get(), AAtoms[aUtf8String]);
    if (title.isEmpty())
        return false;

    const std::vector<uint32_t> pidValue = Values32(pid.get());
    pid_t processId = 0;
    // Values beyond pid_t's range would turn into "every process" or a group for kill().
    if (pid && pid->type == XCB_ATOM_CARDINAL && !pidValue.empty() && pidValue[0] <= uint32_t(INT_MAX))
        processId = pid_t(pidValue[0]);
    const QByteArray machineName = Bytes8(machine.get());
    if (!machineName.isEmpty() && !IsThisMachine(machineName))
        processId = 0;

    AWindow = TTaskbarWindow{title, ARequests.Window, processId};
    return true;
}

bool EnumerateTaskbarWindows(QList<TTaskbarWindow> &AList)
{
    int screenNumber = 0;
    const TConnection connection(xcb_connect(nullptr, &screenNumber));
    xcb_connection_t *c = connection.get();
    if (xcb_connection_has_error(c))
        return false;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    if (screens.rem <= 0)
        return false;
    const xcb_window_t root = screens.data->root;

    const TAtoms atoms = InternAtoms(c);
    bool managed = false;
    const std::vector<xcb_window_t> windows = TopLevelWindows(c, root, atoms, managed);

    // All questions first, then all answers: one round trip for the whole list.
    std::vector<TWindowRequests> requests;
    requests.reserve(windows.size());
    for (xcb_window_t window : windows) {
        TWindowRequests r;
        r.Window = window;
        r.Attributes = xcb_get_window_attributes(c, window);
        r.TransientFor = RequestProperty(c, window, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 1);
        r.Types = RequestProperty(c, window, atoms[aNetWmWindowType], XCB_ATOM_ATOM, ListLongs);
        r.States = RequestProperty(c, window, atoms[aNetWmState], XCB_ATOM_ATOM, ListLongs);
        r.NetName = RequestProperty(c, window, atoms[aNetWmName], atoms[aUtf8String], TitleLongs);
        r.WmName = RequestProperty(c, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, TitleLongs);
        r.Pid = RequestProperty(c, window, atoms[aNetWmPid], XCB_ATOM_CARDINAL, 1);
        r.Machine = RequestProperty(c, window, XCB_ATOM_WM_CLIENT_MACHINE, XCB_GET_PROPERTY_TYPE_ANY, 64);
        if (managed)
            r.WmState = RequestProperty(c, window, atoms[aWmState], atoms[aWmState], 2);
        requests.push_back(r);
    }
    QList<TTaskbarWindow> list;
    for (const TWindowRequests &r : requests) {
        TTaskbarWindow window;
        if (ReadTaskbarWindow(c, root, atoms, managed, r, window))
            list.append(window);
    }
    // A connection that broke midway answered nothing more: not a complete list.
    if (xcb_connection_has_error(c))
        return false;
    AList = std::move(list);
    return true;
}

} // namespace

bool GetTaskbarWindows(QList<TTaskbarWindow> &AList)
{
    AList.clear();
    struct TJob
    {
        std::mutex Lock;
        std::condition_variable Finished;
        bool Done = false;
        bool Ok = false;
        QList<TTaskbarWindow> Windows;
    };
    const auto job = std::make_shared<TJob>();
    // xcb waits for a server without a time limit, so the conversation runs on a thread
    // of its own that can be left behind when the server does not answer. It ends by
    // itself if the server ever answers, or with the program.
    std::thread worker;
    try {
        worker = std::thread([job] {
            QList<TTaskbarWindow> windows;
            const bool ok = EnumerateTaskbarWindows(windows);
            const std::lock_guard lock(job->Lock);
            job->Ok = ok;
            job->Windows = std::move(windows);
            job->Done = true;
            job->Finished.notify_one();
        });
    } catch (const std::system_error &) {
        return false;
    }
    std::unique_lock lock(job->Lock);
    if (!job->Finished.wait_for(lock, ServerTimeout, [&job] { return job->Done; })) {
        lock.unlock();
        worker.detach();
        return false;
    }
    lock.unlock();
    worker.join();
    if (!job->Ok)
        return false;
    AList = std::move(job->Windows);
    return true;
}
