#pragma once

// Reading of the interface's text files and of the places in the code that look texts up,
// shared by the text tests.

#include <QString>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace lumora::test {

// One message of a Qt Linguist file.
struct Message {
  std::string id;  // UTF-8
  QString source;
  QString translation;
  QString translationType;  // empty for a finished text; "unfinished", "vanished", ...
  long long line = 0;
};

struct Catalog {
  std::filesystem::path path;
  QString language;
  std::vector<Message> messages;
  QString error;  // XML or structure error; empty when the file read cleanly

  const Message* find(std::string_view id) const;
};

Catalog readCatalog(const std::filesystem::path& path);

// The three files of the interface, in the order English, Simplified, Traditional Chinese.
struct LanguageFile {
  const char* language;  // the TS language attribute
  const char* fileName;
};
const std::vector<LanguageFile>& languageFiles();

// A key written as a literal in qsTrId("…"), qtTrId("…") or QT_TRID_NOOP("…").
struct KeyUse {
  std::string key;  // UTF-8, escapes resolved
  std::string place;  // "file:line"
};

// Finds the literal keys in one source text; calls whose argument is not a string literal
// (a model value looked up at run time) are skipped.
std::vector<KeyUse> extractKeys(std::string_view text, const std::string& fileName);

// Every key used in the .qml, .js, .cpp and .h files below the given folders (missing folders
// are skipped); places are given relative to root.
std::vector<KeyUse> scanKeys(const std::filesystem::path& root, const std::vector<std::string>& folders);

// One line per key use that has no finished text in one of the catalogues.
std::vector<std::string> missingTexts(const std::vector<KeyUse>& uses, const std::vector<Catalog>& catalogs);

// The argument numbers (%1, %2, …) a text uses, sorted, each once.
std::vector<int> argumentNumbers(const QString& text);

// How many printf-style conversions (%@, %d, %lld, …) a key holds: a key written as a format
// is filled with that many arguments, so its texts need as many %N.
int formatConversions(std::string_view key);

}  // namespace lumora::test
