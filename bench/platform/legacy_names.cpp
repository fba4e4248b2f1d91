// SPDX-License-Identifier: GPL-3.0-or-later
// How names written on older systems read under today's locales: for each locale and each code
// page of the corpus (tests/platform/legacy_names.txt), how many names show as they were
// written, beside the rule before (UTF-8, else GB18030 alone, in every locale). Then what
// reading one such name costs, against one strict GB18030 conversion of it (the rule before).
// With --misses, each name read otherwise than written is listed under its locale.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "legacy_corpus.h"
#include "platform/charset_conversion.h"

namespace {

const char* const kCodePages[] = {"GBK", "CP950", "CP1252", "CP932"};

void printRow(const char* label, const std::map<std::string, legacy_corpus::Count>& counts) {
    std::printf("%-26s", label);
    for (const char* cp : kCodePages) {
        const legacy_corpus::Count c = counts.at(cp);
        std::printf("  %3d/%-3d", c.right, c.total);
    }
    const legacy_corpus::Count all = counts.at("all");
    std::printf("  %3d/%-3d %5.1f %%\n", all.right, all.total, 100.0 * all.right / all.total);
}

template <class F>
double microsecondsPerName(const std::vector<legacy_corpus::Name>& names, F read) {
    constexpr int kPasses = 50;
    const auto start = std::chrono::steady_clock::now();
    std::size_t sink = 0;
    for (int pass = 0; pass < kPasses; ++pass) {
        for (const legacy_corpus::Name& n : names) sink += read(n.bytes);
    }
    const std::chrono::duration<double, std::micro> spent =
        std::chrono::steady_clock::now() - start;
    if (sink == 0) std::puts("");  // keeps the reads
    return spent.count() / (kPasses * double(names.size()));
}

}  // namespace

int main(int argc, char** argv) {
    const bool misses = argc > 1 && std::string(argv[1]) == "--misses";
    const std::vector<legacy_corpus::Name> names = legacy_corpus::load();
    std::printf("%zu names, read as written, per code page they were written in\n\n", names.size());
    std::printf("%-26s", "locale");
    for (const char* cp : kCodePages) std::printf("  %-7s", cp);
    std::printf("  all\n");
    for (const char* locale :
         {"zh_CN.UTF-8", "zh_TW.UTF-8", "zh_HK.UTF-8", "ja_JP.UTF-8", "en_US.UTF-8", "zh_CN.GBK"}) {
        const platform::CodePage page = legacy_corpus::localePage(locale);
        printRow(locale, legacy_corpus::readAsWritten(names, page));
        for (const legacy_corpus::Name& n : names) {
            const QString shown = page.toDisplay(n.bytes);
            if (misses && shown != n.text) {
                std::printf("    %s %s -> %s\n", n.codePage.c_str(), n.text.toUtf8().constData(),
                            shown.toUtf8().constData());
            }
        }
    }
    std::map<std::string, legacy_corpus::Count> before;
    for (const legacy_corpus::Name& n : names) {
        const std::string charset = platform::charsets::isValidUtf8(n.bytes) ? "UTF-8" : "GB18030";
        const bool right = platform::charsets::strictText(charset, n.bytes) == n.text;
        for (const std::string& key : {n.codePage, std::string("all")}) {
            before[key].right += right;
            ++before[key].total;
        }
    }
    printRow("before (GB18030, any)", before);

    const platform::CodePage taiwan = legacy_corpus::localePage("zh_TW.UTF-8");
    const double rule = microsecondsPerName(
        names, [&](const std::string& bytes) { return taiwan.toDisplay(bytes).size(); });
    const double reference = microsecondsPerName(names, [](const std::string& bytes) {
        return platform::charsets::strictText("GB18030", bytes).value_or(QString()).size() + 1;
    });
    std::printf(
        "\nreading one name under zh_TW.UTF-8: %.2f us; one GB18030 conversion: %.2f us; "
        "ratio %.1f\n",
        rule, reference, rule / reference);
    return 0;
}
