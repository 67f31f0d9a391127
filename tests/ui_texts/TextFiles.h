#pragma once

#include <filesystem>
#include <vector>

#include "tests/ui_texts/TextCatalog.h"

namespace lumora::test {

// The checked-in text files (the source folder comes in from the build).
inline std::filesystem::path textsFolder() { return std::filesystem::path(TARNEL_SOURCE_DIR) / "ui/base/i18n"; }

inline std::vector<Catalog> readTextFiles() {
  std::vector<Catalog> catalogs;
  for (const auto& file : languageFiles()) catalogs.push_back(readCatalog(textsFolder() / file.fileName));
  return catalogs;
}

}  // namespace lumora::test
