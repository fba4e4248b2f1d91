// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/criteria.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "search/wildcards.h"

namespace search {
namespace {

constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600LL;
constexpr std::int64_t kMsPerDay = 86400000;

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

const std::int64_t kDays1899To1970 = -daysFromCivil(1899, 12, 30);

bool hasTimePart(DateTime v) {
    return v - std::trunc(v) != 0;
}
bool hasDatePart(DateTime v) {
    return std::trunc(v) != 0;
}

// The three cases of a bound: a date only compares dates, a time only compares times of day,
// both compare the whole value. `before` chooses <= over >=. Compared in whole milliseconds,
// so that a bound equal to the time (inclusive) is not lost to rounding of the fraction.
bool withinBound(DateTime t, DateTime bound, bool before) {
    auto ms = [](DateTime v) { return static_cast<std::int64_t>(std::llround(v * kMsPerDay)); };
    std::int64_t value = ms(t);
    const std::int64_t day = static_cast<std::int64_t>(std::trunc(t)) * kMsPerDay;
    if (!hasTimePart(bound)) {
        value = day;
    } else if (!hasDatePart(bound)) {
        value -= day;
    }
    return before ? value <= ms(bound) : value >= ms(bound);
}

bool pairMatches(platform::FileTime utc, DateTime before, DateTime after) {
    if (before == 0 && after == 0) return true;
    const DateTime t = fileTimeToLocalDateTime(utc);
    if (before != 0 && !withinBound(t, before, true)) return false;
    if (after != 0 && !withinBound(t, after, false)) return false;
    return true;
}

// Closes the descriptor on every way out.
struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

// Reads until `size` bytes are in or the file ends; -1 on an error.
long readFully(int fd, unsigned char* into, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, into + got, size - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<long>(got);
}

// The byte values that translate to `target`: at most two with our tables (a letter and its
// capital); `count` tells how many there are (more than two makes the scans go byte by byte).
struct ByteSet {
    ByteSet(const unsigned char* table, unsigned char target) {
        for (int b = 0; b < 256; ++b) {
            if (table[b] != target) continue;
            if (count < 2) bytes[count] = static_cast<unsigned char>(b);
            ++count;
        }
        if (count == 1) bytes[1] = bytes[0];
    }
    unsigned char bytes[2] = {0, 0};
    int count = 0;
};

// Finds candidate starts of the phrase: positions whose first and last phrase bytes both
// match, sixteen positions at a time; the caller verifies the bytes between. Gives the same
// positions a byte-by-byte scan would accept before its full comparison.
class CandidateScanner {
public:
    CandidateScanner(const unsigned char* table, const unsigned char* phrase, std::size_t len)
        : table_(table),
          phrase_(phrase),
          len_(len),
          first_(table, phrase[0]),
          last_(table, phrase[len - 1]) {}

    // The first candidate in [from, last], or last + 1.
    std::size_t next(const unsigned char* data, std::size_t from, std::size_t last) const {
#if defined(__x86_64__)
        if (hasAvx2_ && first_.count <= 2 && last_.count <= 2 && nextAvx2(data, from, last)) {
            return from;
        }
#endif
#ifdef __SSE2__
        if (first_.count <= 2 && last_.count <= 2) {
            const __m128i f0 = _mm_set1_epi8(static_cast<char>(first_.bytes[0]));
            const __m128i f1 = _mm_set1_epi8(static_cast<char>(first_.bytes[1]));
            const __m128i l0 = _mm_set1_epi8(static_cast<char>(last_.bytes[0]));
            const __m128i l1 = _mm_set1_epi8(static_cast<char>(last_.bytes[1]));
            const std::size_t tail = len_ - 1;
            while (from + 16 <= last + 1) {
                const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + from));
                const __m128i b =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + from + tail));
                const __m128i hit =
                    _mm_and_si128(_mm_or_si128(_mm_cmpeq_epi8(a, f0), _mm_cmpeq_epi8(a, f1)),
                                  _mm_or_si128(_mm_cmpeq_epi8(b, l0), _mm_cmpeq_epi8(b, l1)));
                const int mask = _mm_movemask_epi8(hit);
                if (mask != 0)
                    return from +
                           static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
                from += 16;
            }
        }
#endif
        for (; from <= last; ++from) {
            if (table_[data[from]] == phrase_[0] &&
                table_[data[from + len_ - 1]] == phrase_[len_ - 1]) {
                return from;
            }
        }
        return last + 1;
    }

private:
#if defined(__x86_64__)
    // Thirty-two positions at a time where the processor has AVX2: true with `from` at the
    // first hit, else false with `from` where fewer than 32 positions remain.
    __attribute__((target("avx2"))) bool nextAvx2(const unsigned char* data, std::size_t& from,
                                                  std::size_t last) const {
        const __m256i f0 = _mm256_set1_epi8(static_cast<char>(first_.bytes[0]));
        const __m256i f1 = _mm256_set1_epi8(static_cast<char>(first_.bytes[1]));
        const __m256i l0 = _mm256_set1_epi8(static_cast<char>(last_.bytes[0]));
        const __m256i l1 = _mm256_set1_epi8(static_cast<char>(last_.bytes[1]));
        const std::size_t tail = len_ - 1;
        while (from + 32 <= last + 1) {
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + from));
            const __m256i b =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + from + tail));
            const __m256i hit = _mm256_and_si256(
                _mm256_or_si256(_mm256_cmpeq_epi8(a, f0), _mm256_cmpeq_epi8(a, f1)),
                _mm256_or_si256(_mm256_cmpeq_epi8(b, l0), _mm256_cmpeq_epi8(b, l1)));
            const auto mask = static_cast<unsigned>(_mm256_movemask_epi8(hit));
            if (mask != 0) {
                from += static_cast<std::size_t>(__builtin_ctz(mask));
                return true;
            }
            from += 32;
        }
        return false;
    }
    const bool hasAvx2_ = __builtin_cpu_supports("avx2");
#endif
    const unsigned char* table_;
    const unsigned char* phrase_;
    std::size_t len_;
    ByteSet first_;
    ByteSet last_;
};

}  // namespace

DateTime encodeDate(int year, int month, int day) {
    return static_cast<DateTime>(
        daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
        kDays1899To1970);
}

DateTime encodeTime(int hour, int minute, int second, int millisecond) {
    return static_cast<DateTime>(((hour * 60 + minute) * 60 + second) * 1000 + millisecond) /
           kMsPerDay;
}

DateTime fileTimeToLocalDateTime(platform::FileTime utc) {
    const auto ms = static_cast<int>((utc % 10000000ULL) / 10000ULL);
    const std::time_t seconds = static_cast<std::time_t>(utc / 10000000ULL) -
                                static_cast<std::time_t>(kSecondsFrom1601To1970);
    std::tm local{};
    if (::localtime_r(&seconds, &local) == nullptr) return 0;
    return encodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
           encodeTime(local.tm_hour, local.tm_min, local.tm_sec, ms);
}

// ---- attributes

void AttributeCriteria::assign(const Persistent* Source) {
    if (const auto* s = dynamic_cast<const AttributeCriteria*>(Source)) {
        bits_ = s->bits_;
        exactMatch_ = s->exactMatch_;
        return;
    }
    Persistent::assign(Source);
}

namespace {
constexpr std::uint32_t kSetBits[] = {0x20, 0x01, 0x02, 0x04, 0x10};  // in FileAttribute order
}

FileAttributes AttributeCriteria::attributes() const {
    FileAttributes out;
    for (int a = 0; a <= static_cast<int>(FileAttribute::Directory); ++a) {
        if (bits_ & kSetBits[a]) out.include(static_cast<FileAttribute>(a));
    }
    return out;
}

void AttributeCriteria::setAttributes(const FileAttributes& value) {
    bits_ = 0;
    for (int a = 0; a <= static_cast<int>(FileAttribute::Directory); ++a) {
        if (value.contains(static_cast<FileAttribute>(a))) bits_ |= kSetBits[a];
    }
}

bool AttributeCriteria::matches(std::uint32_t attributes) const {
    const std::uint32_t tested = attributes & kTested;
    return exactMatch_ ? tested == bits_ : (tested & ~bits_) == 0;
}

void ExtendedAttributeCriteria::assign(const Persistent* Source) {
    if (const auto* s = dynamic_cast<const ExtendedAttributeCriteria*>(Source)) {
        onAttr_ = s->onAttr_;
        offAttr_ = s->offAttr_;
        return;
    }
    Persistent::assign(Source);
}

AttributeStatus ExtendedAttributeCriteria::status(std::uint32_t bit) const {
    if (onAttr_ & bit) return AttributeStatus::Set;
    if (offAttr_ & bit) return AttributeStatus::Unset;
    return AttributeStatus::Ignore;
}

void ExtendedAttributeCriteria::setStatus(std::uint32_t bit, AttributeStatus value) {
    onAttr_ &= ~bit;
    offAttr_ &= ~bit;
    if (value == AttributeStatus::Set) onAttr_ |= bit;
    if (value == AttributeStatus::Unset) offAttr_ |= bit;
}

bool ExtendedAttributeCriteria::matches(std::uint32_t attributes) const {
    return (attributes & onAttr_) == onAttr_ && (attributes & offAttr_) == 0;
}

// ---- time stamps

void DateTimeCriteria::assign(const Persistent* Source) {
    if (const auto* s = dynamic_cast<const DateTimeCriteria*>(Source)) {
        *this = *s;
        return;
    }
    Persistent::assign(Source);
}

bool DateTimeCriteria::isActive() const {
    return createdBefore_ != 0 || createdAfter_ != 0 || modifiedBefore_ != 0 ||
           modifiedAfter_ != 0 || accessedBefore_ != 0 || accessedAfter_ != 0;
}

bool DateTimeCriteria::matches(platform::FileTime created, platform::FileTime modified,
                               platform::FileTime accessed) const {
    return pairMatches(created, createdBefore_, createdAfter_) &&
           pairMatches(modified, modifiedBefore_, modifiedAfter_) &&
           pairMatches(accessed, accessedBefore_, accessedAfter_);
}

// ---- size

void SizeCriteria::assign(const Persistent* Source) {
    if (const auto* s = dynamic_cast<const SizeCriteria*>(Source)) {
        min_ = s->min_;
        max_ = s->max_;
        return;
    }
    Persistent::assign(Source);
}

bool SizeCriteria::matches(std::int64_t size) const {
    if (min_ != 0 && size < min_) return false;
    if (max_ != 0 && size > max_) return false;
    return true;
}

// ---- content

ContentCriteria::ContentCriteria() {
    update();
}

void ContentCriteria::assign(const Persistent* Source) {
    if (const auto* s = dynamic_cast<const ContentCriteria*>(Source)) {
        setPhrase(s->phrase_);
        setIgnoreCase(s->ignoreCase_);
        setWholeWord(s->wholeWord_);
        return;
    }
    Persistent::assign(Source);
}

void ContentCriteria::setPhrase(std::string_view value) {
    phrase_ = value;
    update();
}

void ContentCriteria::setIgnoreCase(bool value) {
    ignoreCase_ = value;
    update();
}

void ContentCriteria::update() {
    const SearchTables& t = searchTables();
    table_ = ignoreCase_ ? t.lower.data() : t.identity.data();
    searchPhrase_ = phrase_;
    for (char& c : searchPhrase_) c = static_cast<char>(table_[static_cast<unsigned char>(c)]);
}

bool ContentCriteria::matches(const std::string& path) const {
    return fileContainsPhrase(path, *this);
}

namespace {

// Phrases up to this length are found by the vector scan, whose byte-by-byte check of each
// candidate costs at most this much per file position; longer ones by a scan that is linear
// whatever the text.
constexpr std::size_t kLongPhrase = 64;

// The long-phrase test: a Knuth-Morris-Pratt scan over the translated bytes, its state carried
// from one read to the next, so a run of near misses (a long phrase of one letter in a file of
// that letter) costs one step per byte instead of one comparison per phrase byte.
bool fileContainsLongPhrase(int fd, std::uint64_t size, const unsigned char* table,
                            const unsigned char* phrase, std::size_t len, bool wholeWord) {
    std::vector<std::size_t> border(len, 0);  // longest proper border of phrase[0..i]
    for (std::size_t i = 1, k = 0; i < len; ++i) {
        while (k > 0 && phrase[i] != phrase[k]) k = border[k - 1];
        if (phrase[i] == phrase[k]) ++k;
        border[i] = k;
    }
    const std::bitset<256>& delimiters = searchTables().delimiters;
    // Whole words: whether each of the last len + 1 bytes read is a delimiter, so that the byte
    // before an occurrence is known when its last byte arrives.
    std::vector<bool> delimiterAt(wholeWord ? len + 1 : 0);
    bool awaitingNext = false;  // an occurrence whose next byte decides it
    std::vector<unsigned char> buffer(std::min<std::uint64_t>(size, ContentCriteria::kBlockSize));
    std::uint64_t position = 0;  // of the next byte in the file
    std::size_t matched = 0;
    while (position < size) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size - position));
        const long got = readFully(fd, buffer.data(), want);
        if (got < 0) return false;
        for (long i = 0; i < got; ++i, ++position) {
            const unsigned char raw = buffer[static_cast<std::size_t>(i)];
            if (wholeWord) {
                if (awaitingNext && delimiters[raw]) return true;
                awaitingNext = false;
                delimiterAt[position % (len + 1)] = delimiters[raw];
            }
            const unsigned char b = table[raw];
            while (matched > 0 && b != phrase[matched]) matched = border[matched - 1];
            if (b == phrase[matched]) ++matched;
            if (matched < len) continue;
            matched = border[len - 1];
            if (!wholeWord) return true;
            const std::uint64_t start = position + 1 - len;
            if (start == 0 || delimiterAt[(start - 1) % (len + 1)]) awaitingNext = true;
        }
        if (static_cast<std::size_t>(got) < want) break;  // the file ended early
    }
    return awaitingNext;  // an occurrence at the very end is a whole word
}

}  // namespace

bool fileContainsPhrase(const std::string& path, const ContentCriteria& criteria) {
    const std::size_t len = criteria.phraseLength();
    if (len == 0) return true;
    // Non-blocking, so that a fifo named like a music file cannot stall the walk; only
    // regular files have content to test.
    Fd file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)};
    if (file.fd < 0) return false;
    struct stat st {};
    if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (size < len) return false;
    if (len > kLongPhrase) {
        return fileContainsLongPhrase(
            file.fd, size, criteria.translationTable(),
            reinterpret_cast<const unsigned char*>(criteria.searchPhrase().data()), len,
            criteria.wholeWord());
    }

    // The whole file when small; else one block, or the phrase and one byte more, so that an
    // occurrence at the end of a block can still be judged on the byte after it.
    const std::size_t block =
        size <= ContentCriteria::kBlockSize
            ? static_cast<std::size_t>(size)
            : (len >= ContentCriteria::kBlockSize ? len + 1 : ContentCriteria::kBlockSize);
    std::vector<unsigned char> buffer(block);

    const unsigned char* table = criteria.translationTable();
    const auto* phrase = reinterpret_cast<const unsigned char*>(criteria.searchPhrase().data());
    const bool wholeWord = criteria.wholeWord();
    const std::bitset<256>& delimiters = searchTables().delimiters;
    const CandidateScanner scanner(table, phrase, len);

    auto sameFrom = [&](const unsigned char* at, std::size_t count, std::size_t from) {
        for (std::size_t k = from; k < count; ++k) {
            if (table[at[k]] != phrase[k]) return false;
        }
        return true;
    };

    std::size_t kept = 0;  // bytes of a partial match carried to the front
    int before = -1;       // the byte before the buffer, -1 at the start of the file
    std::uint64_t consumed = 0;
    bool atEnd = false;
    for (;;) {
        const long got = readFully(file.fd, buffer.data() + kept, block - kept);
        if (got < 0) return false;
        consumed += static_cast<std::uint64_t>(got);
        // The file as it was opened has been read (a file that grows meanwhile is not
        // followed), or the read came up short.
        if (consumed >= size || static_cast<std::size_t>(got) < block - kept) atEnd = true;
        const std::size_t avail = kept + static_cast<std::size_t>(got);
        if (avail < len) return false;
        const unsigned char* data = buffer.data();

        // Full occurrences.
        std::size_t carryFrom = avail;  // where the kept tail begins
        const std::size_t lastStart = avail - len;
        for (std::size_t at = scanner.next(data, 0, lastStart); at <= lastStart;
             at = scanner.next(data, at + 1, lastStart)) {
            if (!sameFrom(data + at, len - 1, 1)) continue;
            if (!wholeWord) return true;
            const int prev = at == 0 ? before : data[at - 1];
            if (prev >= 0 && !delimiters[static_cast<unsigned>(prev)]) continue;
            if (at + len == avail && !atEnd) {
                carryFrom = at;  // the byte after it comes with the next read
                break;
            }
            if (at + len == avail || delimiters[data[at + len]]) return true;
        }
        if (atEnd) return false;

        // The earliest partial match that runs into the end of the block.
        if (carryFrom == avail) {
            for (std::size_t at = lastStart + 1; at < avail; ++at) {
                if (sameFrom(data + at, avail - at, 0)) {
                    carryFrom = at;
                    break;
                }
            }
        }
        kept = avail - carryFrom;
        if (carryFrom > 0) before = data[carryFrom - 1];
        if (kept > 0) std::memmove(buffer.data(), data + carryFrom, kept);
    }
}

}  // namespace search
