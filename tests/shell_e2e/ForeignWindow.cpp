#include "tests/shell_e2e/ForeignWindow.h"

#include <poll.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace lumora::test {

namespace {

// Far longer than any X server takes to show a window, however busy the machine.
constexpr int kShowWaitMs = 30000;

}  // namespace

ForeignWindow::ForeignWindow() : connection_(xcb_connect(nullptr, nullptr)) {
  if (!xcb_connection_has_error(connection_)) focused_ = showAndFocus();
}

ForeignWindow::~ForeignWindow() {
  if (window_ != 0) {
    xcb_destroy_window(connection_, window_);
    xcb_flush(connection_);
  }
  xcb_disconnect(connection_);
}

bool ForeignWindow::showAndFocus() {
  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
  if (!screen) return false;
  window_ = xcb_generate_id(connection_);
  const std::uint32_t values[] = {screen->white_pixel, XCB_EVENT_MASK_EXPOSURE};
  xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen->root, 500, 100, 300, 200, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK,
                    values);
  xcb_map_window(connection_, window_);
  xcb_flush(connection_);
  // Only a window that shows can take the focus: its first exposure says it does, once the
  // window manager has framed and mapped it.
  const int descriptor = xcb_get_file_descriptor(connection_);
  for (;;) {
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
      const bool exposed = (event->response_type & 0x7f) == XCB_EXPOSE;
      std::free(event);
      if (exposed) return giveFocusTo(window_);
    }
    if (xcb_connection_has_error(connection_)) return false;
    pollfd wait{descriptor, POLLIN, 0};
    if (::poll(&wait, 1, kShowWaitMs) <= 0) return false;
  }
}

bool ForeignWindow::giveFocusTo(std::uint32_t window) {
  const xcb_void_cookie_t cookie =
      xcb_set_input_focus_checked(connection_, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
  xcb_generic_error_t* error = xcb_request_check(connection_, cookie);
  const bool taken = error == nullptr;
  std::free(error);
  return taken;
}

}  // namespace lumora::test
