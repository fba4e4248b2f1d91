// SPDX-License-Identifier: GPL-3.0-or-later
// The benchmarks' player child (player_child.h): the real main window, driven from stdin.
//   player_child FOLDER
#include "player_child.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    return bench::runPlayerChild(argc, argv, argv[1]);
}
