// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the finder's content search, which reads files block by block: its answer
// must be the one a plain search of the whole file gives. The input is: one byte for the
// locale, one of flags (ignore case, whole word, phrase starts with the padding), two for a
// padding length, one for the padding byte, one for the phrase length, the phrase, and the
// file's own bytes. The padding goes before the file's bytes (and, when asked, before the
// phrase), so that matches fall on and across the reader's block boundaries.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "search/criteria.h"
#include "search/wildcards.h"

namespace {

// Whether `phrase` occurs in `text` (both already through the translation table), as a whole
// word when asked: Knuth-Morris-Pratt, linear even for the long runs the padding makes.
bool plainSearch(const std::string& text, const std::string& phrase, bool wholeWord) {
    const std::size_t n = text.size();
    const std::size_t m = phrase.size();
    if (m == 0) return true;
    if (n < m) return false;
    std::vector<std::size_t> border(m, 0);
    for (std::size_t i = 1, k = 0; i < m; ++i) {
        while (k > 0 && phrase[i] != phrase[k]) k = border[k - 1];
        if (phrase[i] == phrase[k]) ++k;
        border[i] = k;
    }
    const auto& delimiters = search::searchTables().delimiters;
    const auto isDelimiter = [&](std::size_t at) {
        return delimiters[static_cast<unsigned char>(text[at])];
    };
    for (std::size_t i = 0, k = 0; i < n; ++i) {
        while (k > 0 && text[i] != phrase[k]) k = border[k - 1];
        if (text[i] == phrase[k]) ++k;
        if (k < m) continue;
        const std::size_t start = i + 1 - m;
        k = border[k - 1];
        if (!wholeWord) return true;
        if ((start == 0 || isDelimiter(start - 1)) && (i + 1 == n || isDelimiter(i + 1)))
            return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6) return 0;
    fuzz_support::useLocale(data[0]);
    const unsigned flags = data[1];
    const std::size_t padding = static_cast<std::size_t>(data[2]) << 8 | data[3];
    const char padByte = static_cast<char>(data[4]);
    std::string_view rest(reinterpret_cast<const char*>(data) + 6, size - 6);
    const std::string_view phraseBytes = rest.substr(0, data[5]);
    rest.remove_prefix(phraseBytes.size());

    search::ContentCriteria criteria;
    criteria.setIgnoreCase(flags & 1);
    criteria.setWholeWord(flags & 2);
    std::string phrase = (flags & 4) ? std::string(padding, padByte) : std::string();
    phrase += phraseBytes;
    criteria.setPhrase(phrase);

    std::string file(padding, padByte);
    file += rest;
    static const std::string path = fuzz_support::scratchFolder() + "content";
    fuzz_support::putFile(path, file);

    const unsigned char* table = criteria.translationTable();
    for (char& c : file) c = static_cast<char>(table[static_cast<unsigned char>(c)]);
    const bool expected = plainSearch(file, criteria.searchPhrase(), criteria.wholeWord());
    fuzz_support::check(search::fileContainsPhrase(path, criteria) == expected,
                        "the block-wise search answers as a search of the whole file");
    return 0;
}
