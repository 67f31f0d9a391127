#include "tests/support/TestHome.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "platform/UserDefaults.h"

namespace tarnel::test {
namespace {

std::filesystem::path makeTempDirectory(const std::filesystem::path& parent, const char* prefix) {
  std::string pattern = (parent / (std::string(prefix) + "XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed for " + pattern);
  }
  return pattern;
}

std::filesystem::path tempParent() {
  if (const char* root = std::getenv("TARNEL_TEST_ROOT"); root != nullptr && *root != '\0') {
    return root;
  }
  return std::filesystem::temp_directory_path();
}

}  // namespace

TestHome::TestHome() : root_(makeTempDirectory(std::filesystem::temp_directory_path(), "tarnel-test-")) {
  const auto make = [this](const char* name) {
    auto dir = root_ / name;
    std::filesystem::create_directories(dir);
    return dir.string();
  };
  setenv("HOME", make("home").c_str(), 1);
  setenv("XDG_CONFIG_HOME", make("config").c_str(), 1);
  setenv("XDG_DATA_HOME", make("data").c_str(), 1);
  setenv("XDG_CACHE_HOME", make("cache").c_str(), 1);
  setenv("XDG_STATE_HOME", make("state").c_str(), 1);
  const std::string runtime = make("runtime");
  chmod(runtime.c_str(), 0700);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  setenv("TARNEL_TEST_ROOT", root_.c_str(), 1);
  for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy",
                           "ALL_PROXY", "no_proxy", "NO_PROXY"}) {
    unsetenv(name);
  }
}

TestHome::~TestHome() {
  // Settings are written behind: a change the last test made may still be on its way to the
  // file, and a write that lands after the removal would leave the folder behind.
  platform::UserDefaults::flushAll();
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

TempDir::TempDir() : path_(makeTempDirectory(tempParent(), "dir-")) {}

std::filesystem::path TempDir::write(const std::string& name, std::string_view bytes) const {
  const auto file = path_ / name;
  std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return file;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace tarnel::test
