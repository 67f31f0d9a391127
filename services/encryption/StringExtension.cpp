#include "services/encryption/StringExtension.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <unicode/ubrk.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unicode/utext.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "services/encryption/Hex.h"

namespace tarnel {
namespace {

// OpenSSL wants a valid pointer even for empty input.
const unsigned char* bytesOf(std::string_view text) {
  static const unsigned char kEmpty = 0;
  return text.empty() ? &kEmpty : reinterpret_cast<const unsigned char*>(text.data());
}

const EVP_MD* hashFor(CryptoAlgorithm algorithm) {
  switch (algorithm) {
    case CryptoAlgorithm::MD5: return EVP_md5();
    case CryptoAlgorithm::SHA1: return EVP_sha1();
    case CryptoAlgorithm::SHA224: return EVP_sha224();
    case CryptoAlgorithm::SHA256: return EVP_sha256();
    case CryptoAlgorithm::SHA384: return EVP_sha384();
    case CryptoAlgorithm::SHA512: return EVP_sha512();
  }
  return EVP_sha256();
}

std::string digestHex(std::string_view text, const EVP_MD* md) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytesOf(text), text.size(), out, &length, md, nullptr) != 1) return {};
  return detail::lowercaseHex(std::span<const std::uint8_t>(out, length));
}

// --- whole-text regular expressions -------------------------------------------------------------

struct CodeDeleter {
  void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct MatchDataDeleter {
  void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};

// A pattern that must cover the whole text: anchored at both ends, and "$" matches only at the
// very end (never before a final line feed), as a whole-text match demands.
class WholeTextPattern {
 public:
  explicit WholeTextPattern(const char* pattern) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    code_.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED,
                              PCRE2_ANCHORED | PCRE2_ENDANCHORED | PCRE2_DOLLAR_ENDONLY, &error, &offset,
                              nullptr));
  }

  // Safe from several threads at once: the compiled pattern is only read, match data is per call.
  bool matches(std::string_view text) const {
    if (!code_) return false;
    std::unique_ptr<pcre2_match_data, MatchDataDeleter> data(
        pcre2_match_data_create_from_pattern(code_.get(), nullptr));
    if (!data) return false;
    return pcre2_match(code_.get(), reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0, 0, data.get(),
                       nullptr) >= 0;
  }

 private:
  std::unique_ptr<pcre2_code, CodeDeleter> code_;
};

constexpr const char* kDomainPattern = R"(^[a-zA-Z0-9-]+(\.[a-zA-Z]{2,})+$)";
constexpr const char* kIPV4Pattern =
    R"(^(25[0-5]|2[0-4][0-9]|[0-1]?[0-9][0-9]?)\.(25[0-5]|2[0-4][0-9]|[0-1]?[0-9][0-9]?)\.)"
    R"((25[0-5]|2[0-4][0-9]|[0-1]?[0-9][0-9]?)\.(25[0-5]|2[0-4][0-9]|[0-1]?[0-9][0-9]?)$)";
constexpr const char* kIPV6Pattern = R"(^(?:[0-9a-fA-F]{1,4}:){7}[0-9a-fA-F]{1,4}$)";

// --- user-perceived characters ------------------------------------------------------------------

struct BreakIteratorDeleter {
  void operator()(UBreakIterator* it) const { ubrk_close(it); }
};
struct UTextDeleter {
  void operator()(UText* text) const { utext_close(text); }
};

// Byte offsets of every character boundary, from 0 to the text's size.
std::vector<std::size_t> characterBoundaries(std::string_view text) {
  std::vector<std::size_t> bounds{0};
  if (text.empty()) return bounds;
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UText, UTextDeleter> utext(
      utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status));
  std::unique_ptr<UBreakIterator, BreakIteratorDeleter> it(
      U_SUCCESS(status) ? ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status) : nullptr);
  if (U_SUCCESS(status) && it) ubrk_setUText(it.get(), utext.get(), &status);
  if (U_SUCCESS(status) && it) {
    ubrk_first(it.get());
    for (int32_t at = ubrk_next(it.get()); at != UBRK_DONE; at = ubrk_next(it.get())) {
      bounds.push_back(static_cast<std::size_t>(at));
    }
    if (bounds.back() == text.size()) return bounds;
  }
  // Without the break rules, fall back to code points (lead bytes start a character).
  bounds.assign(1, 0);
  for (std::size_t i = 1; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) bounds.push_back(i);
  }
  bounds.push_back(text.size());
  return bounds;
}

}  // namespace

std::size_t digestLength(CryptoAlgorithm algorithm) {
  return static_cast<std::size_t>(EVP_MD_get_size(hashFor(algorithm)));
}

std::string hmac(std::string_view text, CryptoAlgorithm algorithm, std::string_view key) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (key.size() > static_cast<std::size_t>(INT_MAX)) return {};
  if (HMAC(hashFor(algorithm), bytesOf(key), static_cast<int>(key.size()), bytesOf(text), text.size(), out,
           &length) == nullptr) {
    return {};
  }
  return detail::lowercaseHex(std::span<const std::uint8_t>(out, length));
}

std::string sha256(std::string_view text) { return digestHex(text, EVP_sha256()); }

std::string md5(std::string_view text) { return digestHex(text, EVP_md5()); }

std::string substring(std::string_view text, std::size_t start, std::optional<std::size_t> end) {
  const auto bounds = characterBoundaries(text);
  const std::size_t count = bounds.size() - 1;
  const std::size_t from = std::min(start, count);
  const std::size_t to = std::min(end.value_or(count), count);
  if (to <= from) return {};
  return std::string(text.substr(bounds[from], bounds[to] - bounds[from]));
}

bool isDomain(std::string_view text) {
  static const WholeTextPattern pattern(kDomainPattern);
  return pattern.matches(text);
}

bool isIPV4(std::string_view text) {
  static const WholeTextPattern pattern(kIPV4Pattern);
  return pattern.matches(text);
}

bool isIPV6(std::string_view text) {
  static const WholeTextPattern pattern(kIPV6Pattern);
  return pattern.matches(text);
}

bool isIP(std::string_view text) { return isIPV4(text) || isIPV6(text); }

namespace {

// The NFC form of a UTF-8 text as UTF-16; none when the text is not UTF-8 or ICU fails.
std::optional<std::u16string> nfcOf(std::string_view text) {
  UErrorCode status = U_ZERO_ERROR;
  const UNormalizer2* nfc = unorm2_getNFCInstance(&status);
  if (U_FAILURE(status) || text.size() > static_cast<std::size_t>(INT32_MAX) / 2) return std::nullopt;
  std::u16string wide(text.size(), u'\0');  // UTF-16 never needs more units than UTF-8 has bytes
  int32_t wideLength = 0;
  u_strFromUTF8(wide.data(), static_cast<int32_t>(wide.size()), &wideLength, text.data(),
                static_cast<int32_t>(text.size()), &status);
  if (U_FAILURE(status)) return std::nullopt;
  wide.resize(static_cast<std::size_t>(wideLength));
  if (unorm2_isNormalized(nfc, wide.data(), wideLength, &status) && U_SUCCESS(status)) return wide;
  status = U_ZERO_ERROR;
  const int32_t needed = unorm2_normalize(nfc, wide.data(), wideLength, nullptr, 0, &status);
  if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return std::nullopt;
  std::u16string normal(static_cast<std::size_t>(needed), u'\0');
  status = U_ZERO_ERROR;
  unorm2_normalize(nfc, wide.data(), wideLength, normal.data(), needed, &status);
  if (U_FAILURE(status)) return std::nullopt;
  return normal;
}

}  // namespace

bool sameText(std::string_view a, std::string_view b) {
  if (a == b) return true;
  const auto left = nfcOf(a);
  const auto right = nfcOf(b);
  return left && right && *left == *right;
}

}  // namespace tarnel
