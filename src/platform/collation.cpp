// SPDX-License-Identifier: GPL-3.0-or-later
#include "collation.h"

#include <cstring>
#include <string>

namespace platform {

std::string collationKey(std::string_view text) {
    const std::string s(text.substr(0, text.find('\0')));
    std::string key(s.size() * 4 + 16, '\0');
    std::size_t n = std::strxfrm(key.data(), s.c_str(), key.size());
    if (n >= key.size()) {
        key.resize(n + 1);
        n = std::strxfrm(key.data(), s.c_str(), key.size());
    }
    // Exactly as long as the key: the buffer above is sized for the worst case, and keys are
    // kept per row by the lists.
    return std::string(key.data(), n);
}

int collate(std::string_view a, std::string_view b) {
    const std::string sa(a.substr(0, a.find('\0')));
    const std::string sb(b.substr(0, b.find('\0')));
    return std::strcoll(sa.c_str(), sb.c_str());
}

}  // namespace platform
