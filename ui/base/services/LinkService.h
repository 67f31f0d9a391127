#pragma once

// The addresses the pages open or show, built from host discovery's last answer (empty while
// none is held). Signed links (shop, shareAchievement) are made afresh on every call. Safe on
// any thread; none blocks for a request.

#include <string>

namespace lumora {

class LinkService {
 public:
  virtual ~LinkService() = default;

  virtual std::string officialDomain() = 0;  // the official site's host, no scheme
  virtual std::string officialEmail() = 0;
  // The flag image address of an ISO country code (any case); empty for an empty code.
  virtual std::string countryIcon(const std::string& countryCode) = 0;
  virtual std::string custom() = 0;          // customer service
  virtual std::string privacyUrl() = 0;
  virtual std::string serviceUrl() = 0;      // terms of service
  virtual std::string shop() = 0;            // signed payment page
  virtual std::string share() = 0;           // the personal invitation link
  virtual std::string shareHelp() = 0;       // invitation rules
  virtual std::string shareAchievement() = 0;  // signed invitation rewards page
  virtual std::string mobile() = 0;          // mobile download page
  virtual std::string downloadHost() = 0;    // bare host of downloads
};

}  // namespace lumora
