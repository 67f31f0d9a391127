#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/engine/ListenProbe.h"

namespace helmsey::engine {

// One value of the desktop's proxy configuration: a GNOME schema and key with its value in
// GVariant text, or a KDE group and key of kioslaverc with its text value.
struct DesktopSetting {
  std::string scope;
  std::string key;
  std::string value;
};

// The proxy configuration of one desktop, reached through its own command-line tools.
class DesktopProxy {
 public:
  virtual ~DesktopProxy() = default;
  virtual std::string name() const = 0;
  // The present values of every setting `target` changes; none when they cannot be read.
  virtual std::optional<std::vector<DesktopSetting>> read() const = 0;
  // The settings that send the desktop's traffic to the local proxies, in the order to write.
  virtual std::vector<DesktopSetting> target(const Endpoint& http, const Endpoint& socks) const = 0;
  virtual bool write(const std::vector<DesktopSetting>& settings) const = 0;
  // True when `current` (as read()) sends the desktop's traffic to a proxy on this machine.
  virtual bool pointsAtLocalProxy(const std::vector<DesktopSetting>& current) const = 0;
  // The settings that switch the desktop's proxy off.
  virtual std::vector<DesktopSetting> off() const = 0;
};

// GNOME and the desktops that share its settings (gsettings), or KDE (kreadconfig5 and
// kwriteconfig5), as XDG_CURRENT_DESKTOP and the tools on PATH tell; none when neither is there.
std::unique_ptr<DesktopProxy> desktopProxyOrNone();
std::unique_ptr<DesktopProxy> desktopProxyNamed(const std::string& name);

// Sets the desktop's proxy and puts it back. The values found before the change are written to
// a journal first (flushed to disk), so that they come back on stop, after an engine crash, and
// at the next start after the client itself died.
//
// Every apply and restore of the process runs under one lock: the engine's own stop, the quit path
// and the way out after a lost display may put things back at the same moment.
//
// A damaged journal (truncated, emptied, overwritten in part) is set aside under a name of its
// own; the settings that can still be read from it are written back, and when the desktop's
// proxy mode was not among them while the desktop still points at a local proxy, the desktop's
// proxy is switched off rather than left on a port nobody listens on.
class SystemProxy {
 public:
  enum class Outcome {
    set,        // the desktop's proxy points at the local proxies
    noDesktop,  // no desktop whose proxy we know how to set: nothing changed
    failed,     // the desktop's proxy could not be set; what was changed is put back
  };

  explicit SystemProxy(std::filesystem::path journal) : journal_(std::move(journal)) {}

  // Fails when the journal cannot be written, the values cannot be read or written, or an
  // earlier journal could not be restored and must not be overwritten, or the program is leaving.
  Outcome apply(const Endpoint& http, const Endpoint& socks);
  // Writes back the journal's values and removes it; true when no journal is left.
  bool restore();
  bool pending() const;

  // The program is leaving at once: no apply of this process that has not begun yet changes the
  // desktop any more. One under way finishes first; a restore waits for it and finds its journal.
  static void refuseChanges();

 private:
  bool restoreLocked();

  std::filesystem::path journal_;
};

}  // namespace helmsey::engine
