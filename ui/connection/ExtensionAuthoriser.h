#pragma once

#include <QString>

#include <filesystem>
#include <optional>

namespace lumora {

// What tunnel mode needs of this machine before it can be chosen: the installed tunnel host, a
// kernel that can capture traffic, and the user's authorisation. Every call may block (it may
// start programs or wait for the user): workers only.
class ExtensionAuthoriser {
 public:
  enum class Authorisation {
    granted,
    // The user can grant it by authenticating (the desktop's authentication prompt).
    needsApproval,
    refused,
  };
  struct Answer {
    Authorisation authorisation = Authorisation::refused;
    QString reason;  // why it is refused
  };

  virtual ~ExtensionAuthoriser() = default;

  // None when the tunnel host is installed and this program is the installed one; otherwise
  // what is missing.
  virtual std::optional<QString> installationProblem() = 0;
  // None when the installed tunnel host's socket listens (its service is enabled); otherwise why
  // not. Asked only once the installation is sound.
  virtual std::optional<QString> serviceProblem() { return std::nullopt; }
  // None when the kernel can capture traffic transparently; otherwise why not.
  virtual std::optional<QString> kernelProblem() = 0;
  // Whether this user may use tunnel mode now, without asking anything.
  virtual Answer check() = 0;
  // Asks the user to authenticate and waits for the answer.
  virtual Answer authorise() = 0;
};

// The real checks: the package layout around the running program, the tunnel host's socket,
// the kernel's transparent-proxy support and polkit (through pkcheck).
class PolkitExtensionAuthoriser final : public ExtensionAuthoriser {
 public:
  struct Options {
    // The folder of the running program (its installed place is <prefix>/bin).
    std::filesystem::path programDirectory;
    // The tunnel host's listening socket.
    std::filesystem::path socketPath = "/run/io.tarnelmacos.ne.sock";
    std::string pkcheckProgram = "pkcheck";
    std::string nftProgram = "nft";
    // Where the kernel's module lists are; the loaded modules are under /sys/module.
    std::filesystem::path moduleRoot = "/lib/modules";
    std::filesystem::path loadedModules = "/sys/module";
  };

  static constexpr const char* kPolkitAction = "io.tarnelmacos.ne.connect";
  static constexpr const char* kHostName = "io.tarnelmacos.ne";

  explicit PolkitExtensionAuthoriser(Options options);

  std::optional<QString> installationProblem() override;
  std::optional<QString> serviceProblem() override;
  std::optional<QString> kernelProblem() override;
  Answer check() override;
  Answer authorise() override;

  // The tunnel host that belongs to a program installed in `programDirectory`.
  static std::filesystem::path hostProgramFor(const std::filesystem::path& programDirectory);

 private:
  Answer runPkcheck(bool interactive);

  Options options_;
};

}  // namespace lumora
