#include "tests/ui_texts/TextCatalog.h"

#include <QFile>
#include <QXmlStreamReader>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <set>

namespace lumora::test {

const Message* Catalog::find(std::string_view id) const {
  for (const auto& message : messages) {
    if (message.id == id) return &message;
  }
  return nullptr;
}

const std::vector<LanguageFile>& languageFiles() {
  static const std::vector<LanguageFile> files{
      {"en", "tarnel_en.ts"}, {"zh_CN", "tarnel_zh_CN.ts"}, {"zh_TW", "tarnel_zh_TW.ts"}};
  return files;
}

namespace {

// Reads the children of one <message>; the reader stands on its start element.
Message readMessage(QXmlStreamReader& xml) {
  Message message;
  message.id = xml.attributes().value(QStringLiteral("id")).toString().toStdString();
  message.line = xml.lineNumber();
  while (xml.readNextStartElement()) {
    if (xml.name() == QStringLiteral("source")) {
      message.source = xml.readElementText();
    } else if (xml.name() == QStringLiteral("translation")) {
      message.translationType = xml.attributes().value(QStringLiteral("type")).toString();
      message.translation = xml.readElementText();
    } else {
      xml.skipCurrentElement();
    }
  }
  return message;
}

}  // namespace

Catalog readCatalog(const std::filesystem::path& path) {
  Catalog catalog;
  catalog.path = path;
  QFile file(QString::fromStdString(path.string()));
  if (!file.open(QIODevice::ReadOnly)) {
    catalog.error = QStringLiteral("cannot open the file");
    return catalog;
  }
  QXmlStreamReader xml(&file);
  if (!xml.readNextStartElement() || xml.name() != QStringLiteral("TS")) {
    catalog.error = QStringLiteral("no <TS> root element");
    return catalog;
  }
  catalog.language = xml.attributes().value(QStringLiteral("language")).toString();
  while (xml.readNextStartElement()) {
    if (xml.name() != QStringLiteral("context")) {
      xml.skipCurrentElement();
      continue;
    }
    while (xml.readNextStartElement()) {
      if (xml.name() == QStringLiteral("message")) {
        catalog.messages.push_back(readMessage(xml));
      } else {
        xml.skipCurrentElement();
      }
    }
  }
  if (xml.hasError()) {
    catalog.error = QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString());
  }
  return catalog;
}

namespace {

bool isIdentifierChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; }

void skipSpace(std::string_view text, size_t& at) {
  while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at])) != 0) ++at;
}

// Reads one quoted literal starting at its opening quote; false when it does not close.
bool readLiteral(std::string_view text, size_t& at, std::string& out) {
  const char quote = text[at++];
  while (at < text.size()) {
    const char c = text[at++];
    if (c == quote) return true;
    if (c == '\n') return false;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (at >= text.size()) return false;
    const char escaped = text[at++];
    switch (escaped) {
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      default: out += escaped; break;
    }
  }
  return false;
}

}  // namespace

std::vector<KeyUse> extractKeys(std::string_view text, const std::string& fileName) {
  static const std::string_view kCalls[] = {"qsTrId", "qtTrId", "QT_TRID_NOOP"};
  std::vector<std::pair<size_t, std::string>> found;
  for (const auto call : kCalls) {
    for (size_t pos = text.find(call); pos != std::string_view::npos; pos = text.find(call, pos + 1)) {
      if (pos > 0 && isIdentifierChar(text[pos - 1])) continue;
      size_t at = pos + call.size();
      skipSpace(text, at);
      if (at >= text.size() || text[at] != '(') continue;
      ++at;
      skipSpace(text, at);
      std::string key;
      bool literal = false;
      // C++ joins adjacent literals ("a" "b"); QML has no such form, so this only adds.
      while (at < text.size() && (text[at] == '"' || text[at] == '\'')) {
        if (!readLiteral(text, at, key)) break;
        literal = true;
        skipSpace(text, at);
      }
      if (literal && at < text.size() && (text[at] == ')' || text[at] == ',')) found.emplace_back(pos, key);
    }
  }
  std::sort(found.begin(), found.end());
  std::vector<KeyUse> uses;
  for (auto& [pos, key] : found) {
    const auto line = 1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(pos), '\n');
    uses.push_back({std::move(key), fileName + ":" + std::to_string(line)});
  }
  return uses;
}

std::vector<KeyUse> scanKeys(const std::filesystem::path& root, const std::vector<std::string>& folders) {
  static const std::set<std::string> kExtensions{".qml", ".js", ".cpp", ".h"};
  std::vector<std::filesystem::path> files;
  for (const auto& folder : folders) {
    const auto dir = root / folder;
    if (!std::filesystem::is_directory(dir)) continue;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
      if (entry.is_regular_file() && kExtensions.count(entry.path().extension().string()) != 0) {
        files.push_back(entry.path());
      }
    }
  }
  std::sort(files.begin(), files.end());
  std::vector<KeyUse> uses;
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    auto found = extractKeys(text, std::filesystem::relative(file, root).string());
    uses.insert(uses.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
  }
  return uses;
}

std::vector<std::string> missingTexts(const std::vector<KeyUse>& uses, const std::vector<Catalog>& catalogs) {
  std::vector<std::string> missing;
  for (const auto& use : uses) {
    for (const auto& catalog : catalogs) {
      const Message* message = catalog.find(use.key);
      if (message == nullptr || message->translation.isEmpty() || !message->translationType.isEmpty()) {
        missing.push_back("\"" + use.key + "\" (" + use.place + ") has no text in " +
                          catalog.path.filename().string());
      }
    }
  }
  return missing;
}

std::vector<int> argumentNumbers(const QString& text) {
  std::set<int> numbers;
  for (qsizetype i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != u'%' || !text[i + 1].isDigit()) continue;
    int number = 0;
    qsizetype j = i + 1;
    // QString::arg reads at most two digits.
    for (; j < text.size() && j < i + 3 && text[j].isDigit(); ++j) number = number * 10 + text[j].digitValue();
    if (number > 0) numbers.insert(number);
    i = j - 1;
  }
  return {numbers.begin(), numbers.end()};
}

int formatConversions(std::string_view key) {
  int count = 0;
  for (size_t i = 0; i < key.size(); ++i) {
    if (key[i] != '%') continue;
    if (i + 1 < key.size() && key[i + 1] == '%') {
      ++i;
      continue;
    }
    size_t j = i + 1;
    while (j < key.size() && key[j] == 'l') ++j;
    if (j < key.size() && std::string_view("@dius").find(key[j]) != std::string_view::npos) {
      ++count;
      i = j;
    }
  }
  return count;
}

}  // namespace lumora::test
