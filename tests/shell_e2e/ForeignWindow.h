#pragma once

#include <cstdint>

struct xcb_connection_t;

namespace lumora::test {

// A window of another program: an X client of its own on the current DISPLAY, as a mail
// program is that the user switches to. Once it shows it takes the keyboard focus; when the
// object goes, so does the window. The X focus is set directly, as the window manager sets it
// on a click, so no focus rule of the window manager decides it.
class ForeignWindow {
 public:
  ForeignWindow();
  ~ForeignWindow();
  ForeignWindow(const ForeignWindow&) = delete;
  ForeignWindow& operator=(const ForeignWindow&) = delete;

  // False when the window could not be shown or given the focus.
  bool hasFocus() const { return focused_; }
  // Hands the keyboard focus to the X window `window` (another client's), as the window manager
  // does when the user switches back to it; false when the server refused it.
  bool giveFocusTo(std::uint32_t window);

 private:
  bool showAndFocus();

  xcb_connection_t* connection_ = nullptr;
  std::uint32_t window_ = 0;
  bool focused_ = false;
};

}  // namespace lumora::test
