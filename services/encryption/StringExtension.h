#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tarnel {

// The keyed digest to use in hmac(); each case names its hash function.
enum class CryptoAlgorithm { MD5, SHA1, SHA224, SHA256, SHA384, SHA512 };

// Length in bytes of the digest an algorithm produces (the hexadecimal text is twice as long).
std::size_t digestLength(CryptoAlgorithm algorithm);

// Texts are hashed as their UTF-8 bytes; every result is lowercase hexadecimal.
std::string hmac(std::string_view text, CryptoAlgorithm algorithm, std::string_view key);
std::string sha256(std::string_view text);
std::string md5(std::string_view text);

// The characters from `start` up to, not including, `end` (both counted from the start of the
// text), or to the end of the text when `end` is none. Characters are what the user sees as one
// (extended grapheme clusters): a flag, an emoji sequence or a letter with its accents is one.
// Positions past the end are taken as the end, and an end before the start gives the empty text.
std::string substring(std::string_view text, std::size_t start, std::optional<std::size_t> end = std::nullopt);

// Text equality as the platform's strings compare: canonically equivalent texts are equal
// (compared in Unicode normalisation form C), so "é" precomposed equals "e" with a combining
// accent; no case folding, no trimming, and compatibility forms ("ﬁ" and "fi") stay different.
// Bytes that are not UTF-8 compare byte for byte.
bool sameText(std::string_view a, std::string_view b);

// Whole-text checks. isDomain: a first label of ASCII letters, digits or hyphens, then one or more
// labels of at least two ASCII letters. isIPV4: four dotted decimal parts 0-255 (leading zeros
// allowed). isIPV6: exactly eight groups of one to four hexadecimal digits (no "::" shorthand).
bool isDomain(std::string_view text);
bool isIPV4(std::string_view text);
bool isIPV6(std::string_view text);
bool isIP(std::string_view text);

}  // namespace tarnel
