// SPDX-License-Identifier: GPL-3.0-or-later
// What the file dialog's places are read from: the mount table, the GTK bookmarks and
// user-dirs.dirs, as the system and the desktop write them. Paths must come out as the exact
// bytes (GBK folder names included), whatever escaping the file uses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file_dialog/places.h"

namespace {

using namespace platform::file_dialog;

const std::string kMusic = "\xD2\xF4\xC0\xD6";  // 音乐 in GBK

TEST(DialogPlaces, MountTableGivesDrivesNotPseudoOrSystemFileSystems) {
    const std::string table =
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "23 22 0:5 / /proc rw - proc proc rw\n"
        "24 22 8:17 / /media/u/KINGSTON\\040USB rw,nosuid shared:5 master:2 - vfat /dev/sdb1 rw\n"
        "25 22 8:18 / /run/media/u/" +
        kMusic +
        " rw - exfat /dev/sdb2 rw\n"
        "26 22 0:40 / /mnt/nas rw - nfs4 server:/export rw\n"
        "27 22 7:0 / /snap/core/1 ro - squashfs /dev/loop0 ro\n"
        "28 22 8:2 / /boot/efi rw - vfat /dev/sda2 rw\n"
        "29 22 0:41 / /mnt/scratch rw - tmpfs tmpfs rw\n"
        "30 22 7:1 / /media/u/disc ro - squashfs /dev/loop1 ro\n"
        "31 22 8:3 / /run/user/1000/doc rw - fuse.portal portal rw\n"
        "32 22 8:17 / /media/u/KINGSTON\\040USB rw - vfat /dev/sdb1 rw\n"
        "33 22 8:4 / /home rw - ext4 /dev/sda4 rw\n"
        "truncated line\n";
    EXPECT_EQ(
        parseDriveMounts(table),
        (std::vector<std::string>{"/media/u/KINGSTON USB", "/run/media/u/" + kMusic, "/mnt/nas"}));
}

TEST(DialogPlaces, BookmarksAndUserFoldersKeepTheirBytes) {
    const auto bookmarks = parseBookmarks(
        "file:///home/u/%D2%F4%C0%D6 \xE6\x94\xB6\xE8\x97\x8F\n"  // label 收藏 (UTF-8)
        "sftp://host/music\n"
        "file:///tmp/a%20b%zz/\r\n"
        "file://localhost/srv/x\n"
        "file://elsewhere/srv/y\n");
    ASSERT_EQ(bookmarks.size(), 3u);
    EXPECT_EQ(bookmarks[0].path, "/home/u/" + kMusic);
    EXPECT_EQ(bookmarks[0].label, QStringLiteral(u"收藏"));
    EXPECT_EQ(bookmarks[1].path, "/tmp/a b%zz");
    EXPECT_TRUE(bookmarks[1].label.isEmpty());
    EXPECT_EQ(bookmarks[2].path, "/srv/x");

    const auto folders = parseUserDirs(
        "# written by xdg-user-dirs-update\n"
        "XDG_MUSIC_DIR=\"$HOME/" +
            kMusic +
            "\"\n"
            "  XDG_DESKTOP_DIR=\"$HOME\"\n"
            "XDG_DOWNLOAD_DIR=\"/data/dl \\\"x\\\" \\\\ \\n\"\n"
            "XDG_VIDEOS_DIR=\"$HOMEvideos\"\n"
            "XDG_PICTURES_DIR=pictures\n"
            "XDG_DOCUMENTS_DIR=\"/unterminated\n",
        "/home/u");
    ASSERT_EQ(folders.size(), 3u);
    EXPECT_EQ(folders[0].key, "MUSIC");
    EXPECT_EQ(folders[0].path, "/home/u/" + kMusic);
    EXPECT_EQ(folders[1].path, "/home/u");
    EXPECT_EQ(folders[2].key, "DOWNLOAD");
    EXPECT_EQ(folders[2].path, "/data/dl \"x\" \\ \\n");
}

}  // namespace
