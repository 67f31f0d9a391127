#include "core/CrashCapture.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <mutex>

#include "core/engine/EnginePaths.h"
#include "platform/AtomicFile.h"

namespace helmsey {
namespace {

struct FatalSignal {
  int number;
  const char* name;
};

constexpr std::array<FatalSignal, 7> kFatalSignals{{
    {SIGSEGV, "SIGSEGV"},
    {SIGBUS, "SIGBUS"},
    {SIGILL, "SIGILL"},
    {SIGFPE, "SIGFPE"},
    {SIGABRT, "SIGABRT"},
    {SIGTRAP, "SIGTRAP"},
    {SIGSYS, "SIGSYS"},
}};

constexpr int kMaxFrames = 64;
constexpr std::size_t kAlternateStackSize = 64 * 1024;

// Everything the handler touches is made before any crash: no allocation, no lock inside it.
int crashFd = -1;
std::atomic_flag writing = ATOMIC_FLAG_INIT;
struct sigaction previousActions[kFatalSignals.size()];
alignas(16) unsigned char alternateStack[kAlternateStackSize];

std::mutex stateMutex;
bool registered = false;
std::optional<std::string> handedOver;

void writeText(const char* text) {
  std::size_t left = std::strlen(text);
  while (left > 0) {
    const ssize_t n = ::write(crashFd, text, left);
    if (n <= 0) return;
    text += n;
    left -= static_cast<std::size_t>(n);
  }
}

void writeNumber(long long value) {
  char digits[24];
  int i = sizeof digits - 1;
  digits[i] = '\0';
  const bool negative = value < 0;
  unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
  do {
    digits[--i] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0 && i > 1);
  if (negative) digits[--i] = '-';
  writeText(digits + i);
}

void onFatalSignal(int number, siginfo_t* info, void*) {
  std::size_t index = 0;
  while (index < kFatalSignals.size() && kFatalSignals[index].number != number) ++index;
  if (crashFd >= 0 && !writing.test_and_set()) {
    writeText("Crashed: signal ");
    writeNumber(number);
    writeText(" (");
    writeText(index < kFatalSignals.size() ? kFatalSignals[index].name : "?");
    writeText(")\n");
    writeText("Fault address: 0x");
    char hex[2 * sizeof(void*) + 1];
    auto address = reinterpret_cast<std::uintptr_t>(info != nullptr ? info->si_addr : nullptr);
    for (int i = static_cast<int>(sizeof hex) - 2; i >= 0; --i) {
      hex[i] = "0123456789abcdef"[address & 0xf];
      address >>= 4;
    }
    hex[sizeof hex - 1] = '\0';
    writeText(hex);
    writeText("\nProcess: ");
    writeNumber(::getpid());
    writeText("\nTime: ");
    writeNumber(static_cast<long long>(::time(nullptr)));
    writeText("\nBacktrace:\n");
    void* frames[kMaxFrames];
    const int count = ::backtrace(frames, kMaxFrames);
    ::backtrace_symbols_fd(frames, count, crashFd);
    ::fsync(crashFd);
  }
  // Let the signal do what it would have done without us: the earlier handler, or the default.
  // A fault the kernel raised comes back by itself when the instruction runs again (with its
  // true address); a signal that was sent (abort, raise, kill) is sent again.
  if (index < kFatalSignals.size()) ::sigaction(number, &previousActions[index], nullptr);
  if (info == nullptr || info->si_code <= 0) ::raise(number);
}

std::string readAll(const std::filesystem::path& file) {
  const auto content = platform::readWholeFile(file);
  return content ? content->bytes : std::string();
}

// A crash log of an earlier launch joins the report that waits to be handed over.
void carryOver(const std::filesystem::path& log, const std::filesystem::path& report) {
  const std::string crash = readAll(log);
  if (crash.empty()) return;
  std::string waiting = readAll(report);
  if (!waiting.empty() && waiting.back() != '\n') waiting.push_back('\n');
  if (platform::replaceFileAtomically(report, waiting + crash, 0600)) {
    std::error_code ignored;
    std::filesystem::remove(log, ignored);
  }
}

}  // namespace

void registerCrashHandle() {
  std::lock_guard lock(stateMutex);
  if (registered) return;
  registered = true;
  const auto log = engine::crashLogFile();
  platform::ensureDirectory(log.parent_path());
  carryOver(log, engine::crashReportFile());
  crashFd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);

  // The first backtrace loads the unwinder, which allocates: do it now, not in the handler.
  void* frames[4];
  ::backtrace(frames, 4);

  // A stack overflow leaves no stack to run the handler on (for the thread that registers).
  stack_t stack{};
  stack.ss_sp = alternateStack;
  stack.ss_size = sizeof alternateStack;
  ::sigaltstack(&stack, nullptr);

  for (std::size_t i = 0; i < kFatalSignals.size(); ++i) {
    struct sigaction action {};
    action.sa_sigaction = onFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    ::sigaction(kFatalSignals[i].number, &action, &previousActions[i]);
  }
}

void crashHandle(const std::function<void(std::optional<std::vector<std::string>>)>& crashContentAction) {
  std::string text;
  {
    std::lock_guard lock(stateMutex);
    const auto report = engine::crashReportFile();
    // Without the handler of this launch, the crash log may still be an earlier launch's.
    if (!registered) carryOver(engine::crashLogFile(), report);
    text = readAll(report);
    if (text.empty()) return;
    std::error_code ignored;
    std::filesystem::remove(report, ignored);
    handedOver = text;
  }
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (crashContentAction) crashContentAction(std::move(lines));
}

std::string crashReportText() {
  std::lock_guard lock(stateMutex);
  if (handedOver) return *handedOver;
  return readAll(engine::crashReportFile());
}

}  // namespace helmsey
