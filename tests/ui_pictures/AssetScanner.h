#pragma once

// Finds the picture names that QML and C++ sources pass to the asset lookup as literals:
// Assets.image("…") / Assets::image("…"), .symbol(…) and .animation(…). A literal followed by
// "+" starts a name built at run time and is reported as a prefix.

#include <string>
#include <vector>

namespace tarnel::test::pictures {

enum class AssetKind { Image, Symbol, Animation };

struct AssetReference {
  AssetKind kind;
  std::string name;
  bool isPrefix = false;  // the literal is the start of a name completed at run time
  int line = 0;           // 1-based line of the literal in the scanned text
};

std::vector<AssetReference> findAssetReferences(const std::string& text);

// "images", "symbols" or "animations": the asset folder of a kind.
const char* folderOf(AssetKind kind);

}  // namespace tarnel::test::pictures
