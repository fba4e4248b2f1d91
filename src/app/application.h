// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's entry: one instance per user, the application title, the three windows in
// their order, and the event loop.

namespace app {

// Runs the program and returns its exit code (0 on every path).
int run(int argc, char** argv);

}  // namespace app
