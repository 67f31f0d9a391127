#include "tests/shell_e2e/DesktopHosts.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace lumora::test {

namespace {

using Clock = std::chrono::steady_clock;

// Each host takes its place within a second even on a busy machine; one that has not after this
// long never will.
constexpr std::chrono::seconds kReadyBound{30};

struct XcbDisconnect {
  void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using Connection = std::unique_ptr<xcb_connection_t, XcbDisconnect>;

xcb_atom_t atom(xcb_connection_t* connection, const std::string& name) {
  const auto cookie = xcb_intern_atom(connection, 0, static_cast<uint16_t>(name.size()), name.c_str());
  std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(xcb_intern_atom_reply(connection, cookie, nullptr),
                                                                        &std::free);
  return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// The window a property of `window` names, or none.
xcb_window_t windowProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property) {
  const auto cookie = xcb_get_property(connection, 0, window, property, XCB_ATOM_WINDOW, 0, 1);
  std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
      xcb_get_property_reply(connection, cookie, nullptr), &std::free);
  if (!reply || reply->type != XCB_ATOM_WINDOW || xcb_get_property_value_length(reply.get()) < 4) return XCB_NONE;
  return *static_cast<xcb_window_t*>(xcb_get_property_value(reply.get()));
}

// A window manager that runs names its check window on the root window, and the check window
// names itself.
bool windowManagerReady(xcb_connection_t* connection, xcb_window_t root, xcb_atom_t check) {
  const xcb_window_t child = windowProperty(connection, root, check);
  return child != XCB_NONE && windowProperty(connection, child, check) == child;
}

bool trayReady(xcb_connection_t* connection, xcb_atom_t selection) {
  const auto cookie = xcb_get_selection_owner(connection, selection);
  std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> reply(
      xcb_get_selection_owner_reply(connection, cookie, nullptr), &std::free);
  return reply && reply->owner != XCB_NONE;
}

}  // namespace

DesktopHosts::DesktopHosts() {
  int screenNumber = 0;
  const Connection connection(xcb_connect(nullptr, &screenNumber));
  if (xcb_connection_has_error(connection.get())) {
    failure_ = "no connection to the display";
    return;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection.get()));
  for (int i = 0; i < screenNumber && screens.rem > 0; ++i) xcb_screen_next(&screens);
  const xcb_window_t root = screens.data->root;
  const xcb_atom_t check = atom(connection.get(), "_NET_SUPPORTING_WM_CHECK");
  const xcb_atom_t tray = atom(connection.get(), "_NET_SYSTEM_TRAY_S" + std::to_string(screenNumber));

  // One after the other, as a session starts them: the window manager places the tray host's panel.
  const std::vector<std::pair<std::vector<const char*>, std::function<bool()>>> hosts{
      {{"openbox", "--sm-disable", nullptr},
       [&] { return windowManagerReady(connection.get(), root, check); }},
      {{"trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "100", "--height", "24",
        nullptr},
       [&] { return trayReady(connection.get(), tray); }}};
  for (const auto& [arguments, ready] : hosts) {
    const std::string name = arguments.front();
    const pid_t child = spawn(arguments);
    if (child < 0) {
      failure_ = name + " could not be started";
      return;
    }
    children_.push_back(child);
    const auto deadline = Clock::now() + kReadyBound;
    while (!ready()) {
      if (::waitpid(child, nullptr, WNOHANG) == child) {
        children_.pop_back();
        failure_ = name + " ended before it took its place";
        return;
      }
      if (xcb_connection_has_error(connection.get())) {
        failure_ = "the display went away while " + name + " started";
        return;
      }
      if (Clock::now() > deadline) {
        failure_ = name + " did not take its place within " + std::to_string(kReadyBound.count()) + " s";
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
}

DesktopHosts::~DesktopHosts() {
  for (const pid_t child : children_) ::kill(child, SIGTERM);
  for (const pid_t child : children_) ::waitpid(child, nullptr, 0);
}

pid_t DesktopHosts::spawn(const std::vector<const char*>& arguments) {
  const pid_t parent = ::getpid();
  const pid_t child = ::fork();
  if (child == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    const int devNull = ::open("/dev/null", O_RDWR);
    ::dup2(devNull, STDIN_FILENO);
    ::dup2(devNull, STDOUT_FILENO);
    ::dup2(devNull, STDERR_FILENO);
    ::execvp(arguments[0], const_cast<char* const*>(arguments.data()));
    ::_exit(127);
  }
  return child;
}

}  // namespace lumora::test
