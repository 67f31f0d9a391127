#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tarnel::test {

// Creates a private temporary root and points HOME, XDG_CONFIG_HOME, XDG_DATA_HOME,
// XDG_CACHE_HOME, XDG_STATE_HOME and XDG_RUNTIME_DIR into it, so that every folder the program
// writes lies inside it; unsets the proxy variables. The root is
// removed when the object dies. One lives in every test process (see TestMain.cpp).
class TestHome {
 public:
  TestHome();
  ~TestHome();
  TestHome(const TestHome&) = delete;
  TestHome& operator=(const TestHome&) = delete;

  const std::filesystem::path& root() const { return root_; }

 private:
  std::filesystem::path root_;
};

// A fresh directory below the process's temporary root (or /tmp), removed on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Writes `bytes` as the file `name` in this directory; returns its path.
  std::filesystem::path write(const std::string& name, std::string_view bytes) const;

 private:
  std::filesystem::path path_;
};

}  // namespace tarnel::test
