#pragma once

// The account operations of the sign-in, registration, verification, password, invitation,
// deletion and settings pages, and the signed-in account as the service library holds it.
// Every operation blocks the calling thread for its requests (run it on a worker, never on the
// GUI thread), is safe on any thread, and reports failures as values.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "services/model/LoginModels.h"
#include "ui/base/services/ServiceTypes.h"

namespace lumora {

class AccountService {
 public:
  virtual ~AccountService() = default;

  // Signs in; on success the new login is held (loginInfo()) before this returns.
  virtual ServiceError login(const std::string& email, const std::string& password, std::int64_t force,
                             const std::string& code) = 0;
  // Turns the current guest account into a registered one; on success the login is held.
  virtual ServiceError registerAccount(const std::string& email, const std::string& password,
                                       const std::string& code, bool moreDevices) = 0;
  // Confirms the account's e-mail address with the mailed code; stores nothing.
  virtual ServiceError verify(const std::string& code) = 0;
  // Has a code mailed to `email` (for a password reset when `isForget`).
  virtual ServiceError getVerificationCode(const std::string& email, bool isForget) = 0;
  virtual ServiceError forgetPassword(const std::string& email, const std::string& password,
                                      const std::string& code) = 0;
  virtual ServiceError changePassword(const std::string& oldPassword, const std::string& newPassword) = 0;
  // Binds the account to an inviter's code; the held login is not changed.
  virtual ServiceError bindInvitationCode(const std::string& code) = 0;
  // Deletes the account on the server (the password as typed).
  virtual ServiceError delUser(const std::string& password) = 0;
  // Unbinds device `deviceId` of user `userId` (sign-out, and removal on the device list).
  virtual ServiceError logout(const std::string& userId, const std::string& deviceId) = 0;
  // Fetches the user's own invitation code into the held login; a failure changes nothing.
  virtual void getShareInfo() = 0;
  // The token that opens the official site signed in; empty for a guest and on any failure.
  virtual std::string getOfficialToken() = 0;

  // The held sign-in result (a copy) and its user id ("" when nobody has signed in).
  virtual tarnel::Login loginInfo() = 0;
  virtual std::string userId() = 0;
  // Replaces the held login, or changes it in place with no other write in between; both store it.
  virtual void setLoginInfo(const tarnel::Login& login) = 0;
  virtual void modifyLoginInfo(const std::function<void(tarnel::Login&)>& change) = 0;
  // Accounts that signed in before, oldest first; mail domains the sign-in form offers.
  virtual std::vector<std::string> historyAccount() = 0;
  virtual std::vector<std::string> emailSuffix() = 0;
};

}  // namespace lumora
