// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Names and tags written on older systems in their 8-bit code pages: GBK and Big5 from Chinese
// Windows, CP932 from Japanese, CP949 from Korean, CP1252 from Western European ones. Their
// bytes carry no mark of the code page; this guesses it from what each reading looks like.
// Any thread.

#include <QString>

#include <string>
#include <string_view>

namespace platform {

// The code page that users of a locale's language wrote names in on older systems, as iconv
// names it, from a locale name such as "zh_TW.UTF-8": GB18030 for Chinese in China, Singapore
// or without a region; Big5 (with the Hong Kong supplement where iconv has it) for Taiwan, Hong
// Kong and Macau; CP932 for Japanese; CP949 for Korean; CP1252 for every other language.
std::string legacyCharsetOfLocale(std::string_view localeName);

// The legacy code page that reads `bytes` (one name, one tag, or the start of a text file; not
// valid UTF-8) most plausibly: `preferred` (the locale's, above), GB18030, Big5, CP932 or CP1252.
// Each reading is scored by how usual its characters are in text of its language (common
// against rare or user-defined characters, letters in Latin words against Chinese characters
// glued into them, bytes that start no character of the page); `preferred` wins ties and close
// calls.
std::string mostPlausibleCharset(std::string_view bytes, const std::string& preferred);
// `bytes` read in that code page; a byte that starts no character of it shows as U+FFFD.
QString mostPlausibleReading(std::string_view bytes, const std::string& preferred);

}  // namespace platform
