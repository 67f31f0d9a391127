#pragma once

namespace lumora {

// What the app state asks of the connection front when the user picks a new country or node:
// stop what runs, then start again.
class ConnectFront {
 public:
  virtual ~ConnectFront() = default;

  // Restart the game-console listener after the next connection. Any thread.
  virtual void setNeedSwitch(bool need) = 0;
  // Ends the connection or the attempt under way; blocks until it has. Any thread but the GUI's.
  virtual void disconnect() = 0;
  // The connect button's toggle, with the analytics record on or off. GUI thread.
  virtual void toggleConnection(bool record) = 0;
};

}  // namespace lumora
