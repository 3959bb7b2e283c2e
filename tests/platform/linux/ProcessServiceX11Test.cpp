// Hiding and showing applications on X11: the front one is the active window's owner, hiding
// asks the window manager to iconify its windows, showing maps them and activates its top
// one, and every request is refused where there is no application or no display.
#include "platform/linux/ProcessServiceX11.h"

#include "mac/MacAppServiceOC.h"
#include "platform/Platform.h"
#include "platform/linux/PlatformLinux.h"
#include "support/CategoryMessages.h"
#include "support/EmulatedUsb.h"
#include "support/PrivateXServer.h"
#include "support/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace uvccam::platform {
namespace {

using testing::CategoryMessages;
using testing::PrivateXServer;
using testing::ScopedEnvironment;
using testing::waitFor;
using Window = std::uint32_t;

constexpr std::uint32_t kEditor = 4101;
constexpr std::uint32_t kViewer = 4102;
constexpr std::uint32_t kIconicState = 3;
constexpr std::uint32_t kSourcePager = 2;

// What the window manager was asked, in order.
struct Request {
    enum Kind { Iconify, Map, Activate } kind;
    Window window;
    std::uint32_t detail;  // the state asked for, or the activation's source

    bool operator==(const Request& other) const
    {
        return kind == other.kind && window == other.window && detail == other.detail;
    }
};

void PrintTo(const Request& request, std::ostream* out)
{
    const char* const kinds[] = { "iconify", "map", "activate" };
    *out << kinds[request.kind] << " 0x" << std::hex << request.window << std::dec << " (" << request.detail << ")";
}

// A window manager of the test's own on its own connection: it keeps the EWMH hints on the
// root window by hand and records the requests other clients send it. Managing, it
// redirects the root's substructure and acts as a minimal window manager would (iconify
// unmaps, a map request maps, an activation maps, raises and marks the window active);
// otherwise it only sets the hints, as a session without a window manager could have them.
class TestWindowManager {
public:
    explicit TestWindowManager(bool managing) : connection_(xcb_connect(nullptr, nullptr))
    {
        // Without a server the fixture fails in SetUp; nothing here may crash before.
        if (xcb_connection_has_error(connection_))
            return;
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        for (const char* name : { "_NET_ACTIVE_WINDOW", "_NET_CLIENT_LIST", "_NET_CLIENT_LIST_STACKING",
                                  "_NET_WM_PID", "_NET_SUPPORTING_WM_CHECK", "WM_CHANGE_STATE" })
            atoms_.push_back(atom(name));
        if (managing) {
            const std::uint32_t events = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
            xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &events);
            const Window check = createWindow();
            setWindows(check, supportingWmCheck(), { check });
            setWindows(root_, supportingWmCheck(), { check });
        }
        sync();
    }
    ~TestWindowManager() { xcb_disconnect(connection_); }

    // A mapped top-level window of `pid` (none with 0), on top of the others.
    Window openWindow(std::uint32_t pid)
    {
        const Window window = createWindow();
        if (pid != 0)
            xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, wmPid(), XCB_ATOM_CARDINAL, 32, 1, &pid);
        xcb_map_window(connection_, window);
        stacking_.push_back(window);
        publishClients();
        return window;
    }
    void closeWindow(Window window)
    {
        xcb_destroy_window(connection_, window);
        sync();
    }
    void setActive(Window window)
    {
        setWindows(root_, activeWindow(), { window });
        sync();
    }
    void removeActiveHint()
    {
        xcb_delete_property(connection_, root_, activeWindow());
        sync();
    }
    // Unmaps a window behind everybody's back, as if it had been hidden.
    void unmap(Window window)
    {
        xcb_unmap_window(connection_, window);
        sync();
    }

    // Handles what has come; call it while waiting.
    void processEvents()
    {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
            handle(event);
            std::free(event);
        }
        xcb_flush(connection_);
    }
    const std::vector<Request>& requests()
    {
        processEvents();
        return requests_;
    }
    bool isViewable(Window window)
    {
        xcb_get_window_attributes_reply_t* reply
            = xcb_get_window_attributes_reply(connection_, xcb_get_window_attributes(connection_, window), nullptr);
        const bool viewable = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(reply);
        return viewable;
    }
    // The root's child on top of all others.
    Window topmost()
    {
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root_), nullptr);
        const int count = tree ? xcb_query_tree_children_length(tree) : 0;
        const Window top = count > 0 ? xcb_query_tree_children(tree)[count - 1] : 0;
        std::free(tree);
        return top;
    }
    Window activeHint()
    {
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            connection_, xcb_get_property(connection_, 0, root_, activeWindow(), XCB_ATOM_WINDOW, 0, 1), nullptr);
        const Window active = reply && xcb_get_property_value_length(reply) == 4
            ? *static_cast<const Window*>(xcb_get_property_value(reply))
            : 0;
        std::free(reply);
        return active;
    }

private:
    xcb_atom_t atom(const char* name)
    {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, 0, std::uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return value;
    }
    xcb_atom_t activeWindow() const { return atoms_[0]; }
    xcb_atom_t clientList() const { return atoms_[1]; }
    xcb_atom_t clientListStacking() const { return atoms_[2]; }
    xcb_atom_t wmPid() const { return atoms_[3]; }
    xcb_atom_t supportingWmCheck() const { return atoms_[4]; }
    xcb_atom_t wmChangeState() const { return atoms_[5]; }

    Window createWindow()
    {
        const Window window = xcb_generate_id(connection_);
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, root_, 0, 0, 64, 48, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        return window;
    }
    void setWindows(Window window, xcb_atom_t property, const std::vector<Window>& windows)
    {
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, property, XCB_ATOM_WINDOW, 32,
                            std::uint32_t(windows.size()), windows.data());
    }
    // The client list in the order of opening, the stacking list bottom to top.
    void publishClients()
    {
        std::vector<Window> opened = stacking_;
        std::sort(opened.begin(), opened.end());
        setWindows(root_, clientList(), opened);
        setWindows(root_, clientListStacking(), stacking_);
        sync();
    }
    void raise(Window window)
    {
        stacking_.erase(std::remove(stacking_.begin(), stacking_.end(), window), stacking_.end());
        stacking_.push_back(window);
        const std::uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(connection_, window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        publishClients();
    }
    void handle(const xcb_generic_event_t* event)
    {
        const std::uint8_t type = event->response_type & 0x7F;
        if (type == XCB_MAP_REQUEST) {
            const Window window = reinterpret_cast<const xcb_map_request_event_t*>(event)->window;
            requests_.push_back({ Request::Map, window, 0 });
            xcb_map_window(connection_, window);
        } else if (type == XCB_CLIENT_MESSAGE) {
            const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event);
            if (message->type == wmChangeState()) {
                requests_.push_back({ Request::Iconify, message->window, message->data.data32[0] });
                if (message->data.data32[0] == kIconicState)
                    xcb_unmap_window(connection_, message->window);
            } else if (message->type == activeWindow()) {
                requests_.push_back({ Request::Activate, message->window, message->data.data32[0] });
                xcb_map_window(connection_, message->window);
                raise(message->window);
                setWindows(root_, activeWindow(), { message->window });
            }
        }
    }
    void sync() { std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr)); }

    xcb_connection_t* connection_;
    Window root_ = 0;
    std::vector<xcb_atom_t> atoms_;
    std::vector<Window> stacking_;
    std::vector<Request> requests_;
};

// A private X server with the editor's two windows and the viewer's one, the viewer on top
// and active, on the Linux platform the host gets.
class ApplicationsOnX11 : public ::testing::Test {
protected:
    explicit ApplicationsOnX11(bool managing = true) : windowManager(managing)
    {
        editorBack = windowManager.openWindow(kEditor);
        editorTop = windowManager.openWindow(kEditor);
        viewer = windowManager.openWindow(kViewer);
        windowManager.setActive(viewer);
        Platform::install(PlatformLinux::create());
    }
    ~ApplicationsOnX11() override { Platform::install(nullptr); }
    void SetUp() override { ASSERT_TRUE(server->error().isEmpty()) << server->error().toStdString(); }

    static ProcessService& processes() { return Platform::current().process(); }
    // Waits until the window manager has had `count` requests; all of them.
    std::vector<Request> requestsOnceThereAre(std::size_t count)
    {
        waitFor([&] { return windowManager.requests().size() >= count; });
        return windowManager.requests();
    }

    std::optional<PrivateXServer> server { std::in_place };
    TestWindowManager windowManager;
    Window editorBack = 0;
    Window editorTop = 0;
    Window viewer = 0;
    MacAppServiceOC application;
};

TEST_F(ApplicationsOnX11, TheFrontApplicationIsTheOwnerOfTheActiveWindow)
{
    ProcessSerialNumber front;
    ASSERT_EQ(processes().frontProcess(front), kProcessSuccess);
    EXPECT_EQ(front, (ProcessSerialNumber { 0, kViewer }));
    windowManager.setActive(editorBack);
    ASSERT_EQ(processes().frontProcess(front), kProcessSuccess);
    EXPECT_EQ(front, (ProcessSerialNumber { 0, kEditor }));
}

TEST_F(ApplicationsOnX11, HidingIconifiesEveryWindowOfTheFrontApplicationAndNoOther)
{
    windowManager.setActive(editorBack);
    ASSERT_EQ(application.hideShowWindowFromDock(false), kProcessSuccess);
    EXPECT_EQ(application.rememberedProcess(), (ProcessSerialNumber { 0, kEditor }));
    const std::vector<Request> requests = requestsOnceThereAre(2);
    EXPECT_EQ(requests, (std::vector<Request> { { Request::Iconify, editorBack, kIconicState },
                                                { Request::Iconify, editorTop, kIconicState } }));
    EXPECT_FALSE(windowManager.isViewable(editorBack));
    EXPECT_FALSE(windowManager.isViewable(editorTop));
    EXPECT_TRUE(windowManager.isViewable(viewer));
}

TEST_F(ApplicationsOnX11, ShowingMapsTheHiddenWindowsAgainAndActivatesTheTopOne)
{
    windowManager.setActive(editorTop);
    ASSERT_EQ(application.hideShowWindowFromDock(false), kProcessSuccess);
    requestsOnceThereAre(2);
    // Another application is in front by now; showing brings back the one hidden.
    windowManager.setActive(viewer);
    ASSERT_EQ(application.hideShowWindowFromDock(true), kProcessSuccess);
    const std::vector<Request> requests = requestsOnceThereAre(5);
    EXPECT_EQ(std::vector<Request>(requests.begin() + 2, requests.end()),
              (std::vector<Request> { { Request::Map, editorBack, 0 },
                                      { Request::Map, editorTop, 0 },
                                      { Request::Activate, editorTop, kSourcePager } }));
    EXPECT_TRUE(windowManager.isViewable(editorBack));
    EXPECT_TRUE(windowManager.isViewable(editorTop));
    EXPECT_EQ(windowManager.activeHint(), editorTop);
}

// What the active-window hint may say when no application is in front.
struct NothingInFront {
    const char* name;
    void (*arrange)(TestWindowManager& windowManager, Window viewer);
};

class NothingInFrontOnX11 : public ApplicationsOnX11, public ::testing::WithParamInterface<NothingInFront> {
};

TEST_P(NothingInFrontOnX11, HidingIsRefusedAndNothingIsRemembered)
{
    GetParam().arrange(windowManager, viewer);
    ProcessSerialNumber front { 7, 7 };
    EXPECT_EQ(processes().frontProcess(front), kProcessNotFound);
    EXPECT_EQ(front, (ProcessSerialNumber { 7, 7 })) << "left untouched";
    EXPECT_EQ(application.hideShowWindowFromDock(false), kProcessNotFound);
    EXPECT_TRUE(application.rememberedProcess().isNoProcess());
    EXPECT_EQ(application.hideShowWindowFromDock(true), kProcessNotFound);
}

INSTANTIATE_TEST_SUITE_P(
    Hints, NothingInFrontOnX11,
    ::testing::Values(
        NothingInFront { "NoHint", [](TestWindowManager& wm, Window) { wm.removeActiveHint(); } },
        NothingInFront { "NoWindowActive", [](TestWindowManager& wm, Window) { wm.setActive(0); } },
        NothingInFront { "ActiveWindowWithoutProcessId",
                         [](TestWindowManager& wm, Window) { wm.setActive(wm.openWindow(0)); } },
        NothingInFront { "ActiveWindowClosed", [](TestWindowManager& wm, Window viewer) { wm.closeWindow(viewer); } }),
    [](const ::testing::TestParamInfo<NothingInFront>& row) { return std::string(row.param.name); });

TEST_F(ApplicationsOnX11, ApplicationsWithoutWindowsAreRefusedAndNothingIsSent)
{
    const ProcessSerialNumber refused[] = { {}, { 0, 4999 }, { 1, kEditor } };
    for (const ProcessSerialNumber& process : refused) {
        EXPECT_EQ(processes().showHideProcess(process, false), kProcessNotFound) << process.high << ":" << process.low;
        EXPECT_EQ(processes().showHideProcess(process, true), kProcessNotFound) << process.high << ":" << process.low;
        EXPECT_EQ(processes().setFrontProcess(process), kProcessNotFound) << process.high << ":" << process.low;
    }
    // The backend's requests reach the server in order: once this one has come, any
    // earlier one would have too.
    ASSERT_EQ(processes().setFrontProcess({ 0, kViewer }), kProcessSuccess);
    EXPECT_EQ(requestsOnceThereAre(1), (std::vector<Request> { { Request::Activate, viewer, kSourcePager } }));
}

TEST_F(ApplicationsOnX11, AServerThatGoesAwayLeavesRefusals)
{
    ProcessSerialNumber front;
    ASSERT_EQ(processes().frontProcess(front), kProcessSuccess);
    server.reset();
    EXPECT_EQ(application.hideShowWindowFromDock(false), kProcessNotFound);
    EXPECT_EQ(processes().showHideProcess(front, true), kProcessNotFound);
    EXPECT_EQ(processes().setFrontProcess(front), kProcessNotFound);
}

class ApplicationsWithoutAWindowManager : public ApplicationsOnX11 {
protected:
    ApplicationsWithoutAWindowManager() : ApplicationsOnX11(false) {}
};

TEST_F(ApplicationsWithoutAWindowManager, BringingOneToTheFrontMapsAndRaisesItsTopWindow)
{
    windowManager.unmap(editorTop);
    ASSERT_EQ(processes().setFrontProcess({ 0, kEditor }), kProcessSuccess);
    EXPECT_TRUE(waitFor([&] { return windowManager.isViewable(editorTop) && windowManager.topmost() == editorTop; }));
    EXPECT_TRUE(windowManager.requests().empty());
}

TEST(ApplicationsWithoutADisplay, EveryRequestIsRefusedWithOneMessage)
{
    ScopedEnvironment environment;
    environment.unset("DISPLAY");
    CategoryMessages messages("uvccam.linux.desktop");
    Platform::install(PlatformLinux::create());
    EXPECT_TRUE(messages.texts().isEmpty()) << "nothing is tried before the first request";

    MacAppServiceOC application;
    EXPECT_EQ(application.hideShowWindowFromDock(false), kProcessNotFound);
    EXPECT_EQ(application.hideShowWindowFromDock(true), kProcessNotFound);
    ProcessSerialNumber front;
    EXPECT_EQ(Platform::current().process().frontProcess(front), kProcessNotFound);
    EXPECT_EQ(Platform::current().process().setFrontProcess({ 0, 1 }), kProcessNotFound);
    Platform::install(nullptr);
    EXPECT_EQ(messages.texts().size(), 1) << messages.texts().join(QLatin1Char('\n')).toStdString();
}

}  // namespace
}  // namespace uvccam::platform
