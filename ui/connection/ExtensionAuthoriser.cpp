#include "ui/connection/ExtensionAuthoriser.h"

#include <QProcess>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

namespace lumora {

namespace fs = std::filesystem;

namespace {

constexpr int kCheckTimeoutMs = 20'000;
// The user may take a while over the password prompt.
constexpr int kPromptTimeoutMs = 5 * 60'000;

bool isExecutable(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

// A socket file someone listens on: a socket left behind by a service that stopped refuses.
bool listening(const fs::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode)) return false;
  sockaddr_un address{};
  if (path.string().size() >= sizeof address.sun_path) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.string().size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  // A full queue (EAGAIN) still means a listener.
  const bool answered =
      ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 || errno == EAGAIN;
  ::close(fd);
  return answered;
}

bool fileMentions(const fs::path& path, const std::string& word) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.find(word) != std::string::npos) return true;
  }
  return false;
}

// "pid,start-time,uid": the subject polkit can tell from a later process with the same id.
QString processSubject() {
  const pid_t pid = ::getpid();
  std::ifstream in("/proc/self/stat");
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto close = text.rfind(')');
  std::string start;
  if (close != std::string::npos && close + 2 < text.size()) {
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    // Fields after the name start at the state (3); the start time is field 22.
    for (int i = 3; i <= 22 && fields >> field; ++i) {
      if (i == 22) start = field;
    }
  }
  if (start.empty()) return QString::number(pid);
  return QStringLiteral("%1,%2,%3").arg(pid).arg(QString::fromStdString(start)).arg(::getuid());
}

struct RunResult {
  bool ran = false;
  int exitCode = -1;
  QString errorText;
};

RunResult run(const QString& program, const QStringList& arguments, const QByteArray& input, int timeoutMs) {
  QProcess process;
  process.setProcessChannelMode(QProcess::SeparateChannels);
  process.start(program, arguments);
  RunResult result;
  if (!process.waitForStarted(kCheckTimeoutMs)) return result;
  if (!input.isEmpty()) process.write(input);
  process.closeWriteChannel();
  if (!process.waitForFinished(timeoutMs)) {
    process.kill();
    process.waitForFinished(1000);
    return result;
  }
  result.ran = process.exitStatus() == QProcess::NormalExit;
  result.exitCode = process.exitCode();
  result.errorText = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
  return result;
}

}  // namespace

PolkitExtensionAuthoriser::PolkitExtensionAuthoriser(Options options) : options_(std::move(options)) {}

fs::path PolkitExtensionAuthoriser::hostProgramFor(const fs::path& programDirectory) {
  return programDirectory.parent_path() / TARNEL_LIBEXEC_DIR / "tarnel" / kHostName;
}

std::optional<QString> PolkitExtensionAuthoriser::installationProblem() {
  std::error_code error;
  const fs::path directory = fs::weakly_canonical(options_.programDirectory, error);
  // Only the packaged layout has the tunnel host beside it: <prefix>/bin next to <prefix>/libexec.
  if (error || directory.filename() != fs::path(TARNEL_BIN_DIR).filename()) {
    return QStringLiteral("Tarnel runs from %1, not from its installed place")
        .arg(QString::fromStdString(options_.programDirectory.string()));
  }
  const fs::path host = hostProgramFor(directory);
  if (!isExecutable(host)) {
    return QStringLiteral("the tunnel host %1 is not installed").arg(QString::fromStdString(host.string()));
  }
  return std::nullopt;
}

std::optional<QString> PolkitExtensionAuthoriser::serviceProblem() {
  if (!listening(options_.socketPath)) {
    return QStringLiteral("the tunnel host does not listen on %1")
        .arg(QString::fromStdString(options_.socketPath.string()));
  }
  return std::nullopt;
}

std::optional<QString> PolkitExtensionAuthoriser::kernelProblem() {
  const QString missing = QStringLiteral("this kernel has no transparent proxy (TPROXY) support for nftables");
  if (::geteuid() == 0) {
    // Root may ask the kernel itself: a dry run of a rule that uses the capture.
    const QByteArray probe =
        "table inet tarnel_probe {\n"
        "  chain probe {\n"
        "    type filter hook prerouting priority mangle; policy accept;\n"
        "    meta l4proto tcp tproxy ip to 127.0.0.1:9 accept\n"
        "  }\n"
        "}\n";
    const RunResult result =
        run(QString::fromStdString(options_.nftProgram), {QStringLiteral("--check"), QStringLiteral("-f"), QStringLiteral("-")},
            probe, kCheckTimeoutMs);
    if (!result.ran) return QStringLiteral("nft could not run");
    if (result.exitCode == 0) return std::nullopt;
    // nft's first line names the failure; the rest repeats the probe.
    return missing + QStringLiteral(" (") + result.errorText.section(QLatin1Char('\n'), 0, 0) + QLatin1Char(')');
  }
  std::error_code error;
  if (fs::exists(options_.loadedModules / "nft_tproxy", error)) return std::nullopt;
  utsname names{};
  if (::uname(&names) == 0) {
    const fs::path modules = options_.moduleRoot / names.release;
    if (fileMentions(modules / "modules.builtin", "nft_tproxy.ko") ||
        fileMentions(modules / "modules.dep", "nft_tproxy.ko")) {
      return std::nullopt;
    }
  }
  return missing;
}

ExtensionAuthoriser::Answer PolkitExtensionAuthoriser::check() { return runPkcheck(false); }

ExtensionAuthoriser::Answer PolkitExtensionAuthoriser::authorise() { return runPkcheck(true); }

ExtensionAuthoriser::Answer PolkitExtensionAuthoriser::runPkcheck(bool interactive) {
  // polkit grants everything to root.
  if (::geteuid() == 0) return {Authorisation::granted, {}};
  QStringList arguments{QStringLiteral("--action-id"), QString::fromLatin1(kPolkitAction), QStringLiteral("--process"),
                        processSubject()};
  if (interactive) arguments << QStringLiteral("--allow-user-interaction");
  const RunResult result = run(QString::fromStdString(options_.pkcheckProgram), arguments, {},
                               interactive ? kPromptTimeoutMs : kCheckTimeoutMs);
  if (!result.ran) return {Authorisation::refused, QStringLiteral("the authorisation check (pkcheck) did not finish")};
  switch (result.exitCode) {
    case 0:
      return {Authorisation::granted, {}};
    case 2:
      // Without interaction: an authentication would grant it. With it: no agent could ask.
      if (!interactive) return {Authorisation::needsApproval, {}};
      return {Authorisation::refused, QStringLiteral("no authentication agent is running")};
    case 3:
      return {Authorisation::refused, QStringLiteral("the authentication was dismissed")};
    default:
      return {Authorisation::refused,
              result.errorText.isEmpty() ? QStringLiteral("not authorised") : result.errorText};
  }
}

}  // namespace lumora
