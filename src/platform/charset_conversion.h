// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Conversions between character sets through glibc's iconv, for the code page and the reading
// of names from older systems. Any thread: each thread keeps converters of its own.

#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace platform::charsets {

inline constexpr char kUtf8[] = "UTF-8";

// Converts all of `in` from `from` to `to` into `out`. A sequence that is invalid in the source
// or has no form in the target is replaced by `replacement` (one per byte) or, without one,
// fails the conversion. False also when iconv knows one of the names not.
bool convert(const std::string& to, const std::string& from, std::string_view in, std::string& out,
             const char* replacement);

// The text of `bytes` when all of them are valid in `charset`.
std::optional<QString> strictText(const std::string& charset, std::string_view bytes);

bool isValidUtf8(std::string_view bytes);
bool knownToIconv(const std::string& charset);

}  // namespace platform::charsets
