// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The locale's linguistic string order (LC_COLLATE), over byte strings in the system code page.

#include <string>
#include <string_view>

namespace platform {

// A key whose byte order (std::string's operator<) is the locale's collation order of `text`:
// comparing two keys gives the same answer as strcoll on the two texts, so a sorted container
// compares each text once instead of once per comparison.
std::string collationKey(std::string_view text);

// strcoll under the current LC_COLLATE: <0, 0 or >0.
int collate(std::string_view a, std::string_view b);

}  // namespace platform
