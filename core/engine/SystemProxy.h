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
};

// GNOME and the desktops that share its settings (gsettings), or KDE (kreadconfig5 and
// kwriteconfig5), as XDG_CURRENT_DESKTOP and the tools on PATH tell; none when neither is there.
std::unique_ptr<DesktopProxy> desktopProxyOrNone();
std::unique_ptr<DesktopProxy> desktopProxyNamed(const std::string& name);

// Sets the desktop's proxy and puts it back. The values found before the change are written to
// a journal first (flushed to disk), so that they come back on stop, after an engine crash, and
// at the next start after the client itself died.
class SystemProxy {
 public:
  explicit SystemProxy(std::filesystem::path journal) : journal_(std::move(journal)) {}

  // False when nothing was changed (no desktop, journal not writable, values unreadable, or an
  // earlier journal that could not be restored and must not be overwritten).
  bool apply(const Endpoint& http, const Endpoint& socks);
  // Writes back the journal's values and removes it; true when no journal is left.
  bool restore();
  bool pending() const;

 private:
  std::filesystem::path journal_;
};

}  // namespace helmsey::engine
