// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The corpus of names from older systems (legacy_names.txt), written in their code pages, and
// how many of them a locale's code page reads as they were written. Shared by the code page
// test and the table that bench_legacy_names prints.

#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/code_page.h"
#include "platform/legacy_text.h"

namespace legacy_corpus {

struct Name {
    std::string codePage;  // the section's, as iconv names it
    QString text;
    std::string bytes;  // `text` in `codePage`
};

inline std::vector<Name> load(const std::string& path = VORELA_LEGACY_CORPUS) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::vector<Name> names;
    std::string codePage;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            codePage = line.substr(1, line.size() - 2);
            continue;
        }
        const QString text = QString::fromUtf8(line);
        const auto bytes = platform::CodePage::fromCharsetName(codePage).fromDisplay(text);
        if (!bytes) throw std::runtime_error(line + " has no form in " + codePage);
        names.push_back({codePage, text, *bytes});
    }
    return names;
}

// The code page of a locale such as "zh_TW.UTF-8", with its language's legacy code page.
inline platform::CodePage localePage(const std::string& locale) {
    const std::string codeset = locale.substr(locale.find('.') + 1);
    return platform::CodePage::fromCharsetName(codeset).withLegacyCharset(
        platform::legacyCharsetOfLocale(locale));
}

struct Count {
    int right = 0;
    int total = 0;
};

// Per corpus code page, how many names `page` shows as written; "all" sums them.
inline std::map<std::string, Count> readAsWritten(const std::vector<Name>& names,
                                                  const platform::CodePage& page) {
    std::map<std::string, Count> counts;
    for (const Name& n : names) {
        const bool right = page.toDisplay(n.bytes) == n.text;
        for (const std::string& key : {n.codePage, std::string("all")}) {
            counts[key].right += right;
            ++counts[key].total;
        }
    }
    return counts;
}

}  // namespace legacy_corpus
