// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Directory listing with the rules of the Windows directory search: a folder and a wildcard
// mask ("*", "?", letter case ignored, "*.*" matching every name), entries with Windows
// attribute bits, a 64-bit size and UTC file times (100 ns units since 1601).
//
// A listing reads the directory's names once, with their kinds from the directory itself;
// everything else (size, times, the read-only bit) is fetched with one statx per entry, only
// when a caller asks for it. Not thread-safe per object; separate objects may be used on
// separate threads.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "code_page.h"

namespace platform {

// Windows attribute bits as the directory search reports them.
inline constexpr std::uint32_t kAttrReadOnly = 0x01;  // not writable by this process's user
inline constexpr std::uint32_t kAttrHidden = 0x02;    // dot names
inline constexpr std::uint32_t kAttrSystem = 0x04;    // devices, fifos and sockets
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrArchive = 0x20;  // regular files
inline constexpr std::uint32_t kAttrTemporary = 0x100;
inline constexpr std::uint32_t kAttrSparse = 0x200;  // fewer blocks allocated than the size needs
inline constexpr std::uint32_t kAttrReparsePoint =
    0x400;  // symbolic links (the other fields describe the target)
inline constexpr std::uint32_t kAttrCompressed = 0x800;
inline constexpr std::uint32_t kAttrOffline = 0x1000;
inline constexpr std::uint32_t kAttrEncrypted = 0x4000;

// 100-nanosecond intervals since 1 January 1601, UTC.
using FileTime = std::uint64_t;
FileTime toFileTime(std::int64_t unixSeconds, std::uint32_t nanoseconds);

struct FileDetails {
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;     // 0 for directories
    FileTime creationTime = 0;  // birth time where the file system keeps it, else mtime
    FileTime lastAccessTime = 0;
    FileTime lastWriteTime = 0;
    std::uint64_t device = 0;  // of the entry itself, links followed
    std::uint64_t inode = 0;
};

struct DirEntry {
    std::string name;
    FileDetails details;
};

// A compiled mask with the Windows rules: "?" matches one character (and, before a dot or at
// the end, also nothing), "*" any run, "*." names without an extension, a trailing ".*" also
// names without a dot. Letters compare through the code page's lower-case table; "?" steps
// over whole characters of the code page.
class WildcardMask {
public:
    explicit WildcardMask(std::string_view mask, const CodePage& cp = CodePage::active());
    bool matches(std::string_view name) const;

private:
    enum class Kind { All, Exact, Suffix, General };
    enum class Op : unsigned char { Literal, Star, DosStar, DosQm, DosDot };
    struct Token {
        Op op;
        std::string text;  // one character (lower-cased) for Literal
    };
    bool matchGeneral(std::string_view name) const;

    const CodePage* cp_;
    Kind kind_ = Kind::General;
    std::string text_;  // lower-cased mask for Exact, lower-cased ".ext" for Suffix
    std::vector<Token> tokens_;
};

// A mask for names as they come from the disk. A name that is text of the code page matches
// by its characters, as above; one that is not (a UTF-8 name under a GBK locale) matches by its
// bytes, so that a lead byte at its end cannot swallow the dot of its extension.
class NameMask {
public:
    explicit NameMask(std::string_view mask, const CodePage& cp = CodePage::active());
    bool matches(std::string_view name) const;

private:
    const CodePage* cp_;
    WildcardMask byCodePage_;
    WildcardMask byBytes_;
};

class DirListing {
public:
    struct Options {
        bool dotEntries = false;  // also report "." and ".."
    };

    // Opens `folder` (with or without its final separator) and reads the names that match
    // `mask`. A folder that cannot be read gives no entries; error() tells why.
    DirListing(std::string_view folder, std::string_view mask, Options options);
    DirListing(std::string_view folder, std::string_view mask)
        : DirListing(folder, mask, Options{}) {}
    ~DirListing();
    DirListing(const DirListing&) = delete;
    DirListing& operator=(const DirListing&) = delete;

    int error() const { return error_; }
    // Moves to the next matching entry, in the order the directory gives them.
    bool next();
    // Lists the same folder again for another mask, from the names already read (the
    // directory itself is not read again).
    void reset(std::string_view mask);

    std::string_view name() const { return all_[entries_[current_]].name; }
    // Whether the entry is (or links to) a directory; a system call only for links and for
    // file systems that do not report kinds.
    bool isDirectory();
    // The attribute bits that need no metadata: directory, archive, system, hidden and
    // reparse point. When details() has been fetched already, every bit.
    std::uint32_t basicAttributes();
    // Size, times and the remaining attribute bits; fetched on first use for this entry.
    const FileDetails& details();
    DirEntry entry() { return DirEntry{std::string(name()), details()}; }

private:
    struct Raw {
        std::string name;
        unsigned char type;
    };
    void fetch();

    int fd_ = -1;
    int error_ = 0;
    std::vector<Raw> all_;              // every name read, in directory order
    std::vector<std::size_t> entries_;  // the ones that match the mask
    bool dotEntries_ = false;
    std::size_t current_ = static_cast<std::size_t>(-1);
    FileDetails details_;
    bool fetched_ = false;
};

// Every entry of `folder` that matches `mask`, with its details.
std::vector<DirEntry> listDirectory(std::string_view folder, std::string_view mask);

}  // namespace platform
