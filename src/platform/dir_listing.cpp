// SPDX-License-Identifier: GPL-3.0-or-later
#include "dir_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace platform {
namespace {

constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600LL;

// Length of the character that starts at `i`: two bytes after a lead byte of a double-byte
// page, a whole well-formed sequence in UTF-8, else one byte.
std::size_t charLength(const CodePage& cp, std::string_view s, std::size_t i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) return 1;
    if (cp.kind() == CodePage::Kind::DoubleByte) {
        return cp.isLeadByte(b) && i + 1 < s.size() ? 2 : 1;
    }
    if (cp.kind() != CodePage::Kind::Utf8 || b < 0xC2 || b > 0xF4) return 1;
    const std::size_t n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
    if (i + n > s.size()) return 1;
    for (std::size_t k = 1; k < n; ++k) {
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
    }
    return n;
}

bool hasWildcard(std::string_view s) {
    return s.find_first_of("*?") != std::string_view::npos;
}

struct Identity {
    uid_t uid;
    std::vector<gid_t> groups;
};

// The user and groups a write permission check is made for, read once.
const Identity& identity() {
    static const Identity id = [] {
        Identity out{::geteuid(), {}};
        out.groups.push_back(::getegid());
        const int n = ::getgroups(0, nullptr);
        if (n > 0) {
            std::vector<gid_t> extra(static_cast<std::size_t>(n));
            const int got = ::getgroups(n, extra.data());
            if (got > 0) out.groups.insert(out.groups.end(), extra.begin(), extra.begin() + got);
        }
        return out;
    }();
    return id;
}

// The access(W_OK) answer from the mode bits, without a system call per file (ACLs aside).
bool writable(const struct statx& st) {
    if (st.stx_attributes & STATX_ATTR_IMMUTABLE) return false;
    const Identity& id = identity();
    if (id.uid == 0) return true;
    if (st.stx_uid == id.uid) return st.stx_mode & S_IWUSR;
    if (std::find(id.groups.begin(), id.groups.end(), st.stx_gid) != id.groups.end()) {
        return st.stx_mode & S_IWGRP;
    }
    return st.stx_mode & S_IWOTH;
}

FileTime fromStatx(const struct statx_timestamp& t) {
    return toFileTime(t.tv_sec, t.tv_nsec);
}

std::uint32_t kindBits(unsigned char type) {
    switch (type) {
        case DT_DIR:
            return kAttrDirectory;
        case DT_REG:
            return kAttrArchive;
        case DT_LNK:
            return kAttrReparsePoint;
        case DT_UNKNOWN:
            return 0;
        default:
            return kAttrSystem;
    }
}

}  // namespace

FileTime toFileTime(std::int64_t unixSeconds, std::uint32_t nanoseconds) {
    const std::int64_t seconds = unixSeconds + kSecondsFrom1601To1970;
    if (seconds < 0) return 0;
    return static_cast<FileTime>(seconds) * 10000000ULL + nanoseconds / 100;
}

// ---- masks

WildcardMask::WildcardMask(std::string_view mask, const CodePage& cp) : cp_(&cp) {
    if (mask == "*" || mask == "*.*") {
        kind_ = Kind::All;
        return;
    }
    const bool singleBytes = cp.kind() != CodePage::Kind::DoubleByte;
    if (singleBytes && !hasWildcard(mask) && !mask.empty() && mask.back() != '.') {
        kind_ = Kind::Exact;
        text_ = cp.lowered(mask);
        return;
    }
    const std::string_view ext = mask.size() >= 2 ? mask.substr(2) : std::string_view();
    if (mask.size() > 2 && mask[0] == '*' && mask[1] == '.' && !hasWildcard(ext) &&
        ext.find('.') == std::string_view::npos && singleBytes) {
        // "*.ext": the name's last dot is followed by exactly `ext`.
        kind_ = Kind::Suffix;
        text_ = cp.lowered(mask.substr(1));
        return;
    }
    // The conversion the Windows directory search applies before matching: "?" becomes the
    // DOS "?", "*" before a dot the DOS "*", a dot before "?", "*" or the end the DOS dot.
    for (std::size_t i = 0; i < mask.size();) {
        const char c = mask[i];
        const char after = i + 1 < mask.size() ? mask[i + 1] : '\0';
        if (c == '?') {
            tokens_.push_back({Op::DosQm, {}});
            ++i;
        } else if (c == '*') {
            tokens_.push_back({after == '.' ? Op::DosStar : Op::Star, {}});
            ++i;
        } else if (c == '.' && (after == '?' || after == '*' || after == '\0')) {
            tokens_.push_back({Op::DosDot, {}});
            ++i;
        } else {
            const std::size_t n = charLength(cp, mask, i);
            // A multi-byte character is compared as it is: only single bytes have case here.
            const std::string_view ch = mask.substr(i, n);
            tokens_.push_back({Op::Literal, n == 1 ? cp.lowered(ch) : std::string(ch)});
            i += n;
        }
    }
}

bool WildcardMask::matches(std::string_view name) const {
    switch (kind_) {
        case Kind::All:
            return true;
        case Kind::Exact: {
            if (name.size() != text_.size()) return false;
            for (std::size_t i = 0; i < name.size(); ++i) {
                if (cp_->toLower(static_cast<unsigned char>(name[i])) !=
                    static_cast<unsigned char>(text_[i])) {
                    return false;
                }
            }
            return true;
        }
        case Kind::Suffix: {
            if (name.size() < text_.size()) return false;
            const std::string_view tail = name.substr(name.size() - text_.size());
            for (std::size_t i = 0; i < tail.size(); ++i) {
                if (cp_->toLower(static_cast<unsigned char>(tail[i])) !=
                    static_cast<unsigned char>(text_[i])) {
                    return false;
                }
            }
            return true;
        }
        case Kind::General:
            break;
    }
    return matchGeneral(name);
}

// A set-of-states simulation over the name's characters: linear in name x mask, whatever the
// mask holds.
bool WildcardMask::matchGeneral(std::string_view name) const {
    const std::size_t m = tokens_.size();
    const std::size_t lastDot = [&] {
        std::size_t dot = std::string_view::npos;
        for (std::size_t i = 0; i < name.size(); i += charLength(*cp_, name, i)) {
            if (name[i] == '.') dot = i;
        }
        return dot;
    }();
    std::vector<char> cur(m + 1, 0), nxt(m + 1, 0);
    cur[0] = 1;

    // Moves that consume nothing, given what comes next in the name (`c` is 0 at the end).
    auto close = [&](std::vector<char>& set, bool atEnd, char c) {
        for (std::size_t s = 0; s < m; ++s) {
            if (!set[s]) continue;
            switch (tokens_[s].op) {
                case Op::Star:
                case Op::DosStar:
                    set[s + 1] = 1;
                    break;
                case Op::DosQm:
                    if (atEnd || c == '.') {
                        std::size_t e = s;
                        while (e < m && tokens_[e].op == Op::DosQm) ++e;
                        set[e] = 1;
                    }
                    break;
                case Op::DosDot:
                    if (atEnd) set[s + 1] = 1;
                    break;
                case Op::Literal:
                    break;
            }
        }
    };

    std::string lowered;
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t n = charLength(*cp_, name, i);
        const char c = name[i];
        close(cur, false, c);
        lowered = n == 1 ? cp_->lowered(name.substr(i, 1)) : std::string(name.substr(i, n));
        std::fill(nxt.begin(), nxt.end(), 0);
        bool any = false;
        for (std::size_t s = 0; s < m; ++s) {
            if (!cur[s]) continue;
            const Token& t = tokens_[s];
            switch (t.op) {
                case Op::Literal:
                    if (t.text == lowered) nxt[s + 1] = any = 1;
                    break;
                case Op::Star:
                    nxt[s] = any = 1;
                    break;
                case Op::DosStar:
                    if (!(c == '.' && i == lastDot)) nxt[s] = any = 1;
                    break;
                case Op::DosQm:
                    if (c != '.') nxt[s + 1] = any = 1;
                    break;
                case Op::DosDot:
                    if (c == '.') nxt[s + 1] = any = 1;
                    break;
            }
        }
        if (!any) return false;
        cur.swap(nxt);
        i += n;
    }
    close(cur, true, '\0');
    return cur[m];
}

// ---- listing

DirListing::DirListing(std::string_view folder, std::string_view mask, Options options) {
    std::string path(folder.empty() ? std::string_view(".") : folder);
    fd_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) {
        error_ = errno;
        return;
    }
    // fdopendir takes the descriptor over; reading through a duplicate keeps fd_ for statx.
    const int readFd = ::dup(fd_);
    DIR* dir = readFd >= 0 ? ::fdopendir(readFd) : nullptr;
    if (dir == nullptr) {
        error_ = errno;
        if (readFd >= 0) ::close(readFd);
        return;
    }
    dotEntries_ = options.dotEntries;
    errno = 0;
    while (const dirent* d = ::readdir(dir)) all_.push_back({std::string(d->d_name), d->d_type});
    if (errno != 0) error_ = errno;
    ::closedir(dir);
    reset(mask);
}

namespace {

// Every byte a character: the rules for names that are not text of the code page.
const CodePage& byteRules() {
    static const CodePage rules = CodePage::singleByte();
    return rules;
}

}  // namespace

NameMask::NameMask(std::string_view mask, const CodePage& cp)
    : cp_(&cp), byCodePage_(mask, cp), byBytes_(mask, byteRules()) {}

bool NameMask::matches(std::string_view name) const {
    // Where both rules agree (always for "*", and for every ASCII name) the name need not be
    // checked: listings of every name stay as cheap as before.
    const bool byCodePage = byCodePage_.matches(name);
    if (byCodePage == byBytes_.matches(name)) return byCodePage;
    return cp_->isValidText(name) ? byCodePage : !byCodePage;
}

void DirListing::reset(std::string_view mask) {
    const NameMask compiled(mask);
    entries_.clear();
    for (std::size_t i = 0; i < all_.size(); ++i) {
        const std::string& n = all_[i].name;
        const bool dot = n == "." || n == "..";
        if (dot && !dotEntries_) continue;
        if (compiled.matches(n)) entries_.push_back(i);
    }
    current_ = static_cast<std::size_t>(-1);
    fetched_ = false;
}

DirListing::~DirListing() {
    if (fd_ >= 0) ::close(fd_);
}

bool DirListing::next() {
    ++current_;
    fetched_ = false;
    return current_ < entries_.size();
}

bool DirListing::isDirectory() {
    const unsigned char type = all_[entries_[current_]].type;
    if (type == DT_DIR) return true;
    if (type != DT_LNK && type != DT_UNKNOWN) return false;
    return details().attributes & kAttrDirectory;
}

std::uint32_t DirListing::basicAttributes() {
    const Raw& raw = all_[entries_[current_]];
    if (!fetched_ && (raw.type == DT_LNK || raw.type == DT_UNKNOWN)) fetch();
    if (fetched_) return details_.attributes;
    std::uint32_t bits = kindBits(raw.type);
    if (raw.name[0] == '.') bits |= kAttrHidden;
    return bits;
}

const FileDetails& DirListing::details() {
    if (!fetched_) fetch();
    return details_;
}

void DirListing::fetch() {
    const Raw& raw = all_[entries_[current_]];
    details_ = FileDetails{};
    fetched_ = true;
    struct statx st {};
    const unsigned want = STATX_BASIC_STATS | STATX_BTIME;
    bool link = raw.type == DT_LNK;
    if (::statx(fd_, raw.name.c_str(), AT_STATX_SYNC_AS_STAT, want, &st) != 0) {
        // A dangling link (or an entry gone since the listing): describe the entry itself.
        if (::statx(fd_, raw.name.c_str(), AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT, want,
                    &st) != 0) {
            details_.attributes = kindBits(raw.type) | (raw.name[0] == '.' ? kAttrHidden : 0u);
            return;
        }
    }
    if (raw.type == DT_UNKNOWN) {
        struct stat ls {};
        link =
            ::fstatat(fd_, raw.name.c_str(), &ls, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(ls.st_mode);
    }
    std::uint32_t bits = 0;
    if (S_ISDIR(st.stx_mode)) {
        bits |= kAttrDirectory;
    } else if (S_ISREG(st.stx_mode)) {
        bits |= kAttrArchive;
        details_.size = st.stx_size;
        if (st.stx_blocks * 512 < st.stx_size) bits |= kAttrSparse;
    } else if (S_ISLNK(st.stx_mode)) {
        bits |= kAttrReparsePoint;  // dangling
    } else {
        bits |= kAttrSystem;
    }
    if (link) bits |= kAttrReparsePoint;
    if (raw.name[0] == '.') bits |= kAttrHidden;
    if (!writable(st)) bits |= kAttrReadOnly;
    if (st.stx_attributes & STATX_ATTR_COMPRESSED) bits |= kAttrCompressed;
    if (st.stx_attributes & STATX_ATTR_ENCRYPTED) bits |= kAttrEncrypted;
    details_.attributes = bits;
    details_.lastWriteTime = fromStatx(st.stx_mtime);
    details_.lastAccessTime = fromStatx(st.stx_atime);
    details_.creationTime =
        (st.stx_mask & STATX_BTIME) ? fromStatx(st.stx_btime) : details_.lastWriteTime;
    details_.device = (static_cast<std::uint64_t>(st.stx_dev_major) << 32) | st.stx_dev_minor;
    details_.inode = st.stx_ino;
}

std::vector<DirEntry> listDirectory(std::string_view folder, std::string_view mask) {
    std::vector<DirEntry> out;
    DirListing listing(folder, mask);
    while (listing.next()) out.push_back(listing.entry());
    return out;
}

}  // namespace platform
