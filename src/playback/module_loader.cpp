// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/module_loader.h"

#include <dlfcn.h>

namespace playback {

std::string folderOf(const void* code) {
    Dl_info info{};
    if (dladdr(code, &info) == 0 || info.dli_fname == nullptr) return {};
    const std::string path = info.dli_fname;
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

void* openModule(const std::vector<std::string>& paths, std::string& error) {
    for (const std::string& path : paths) {
        if (path.empty()) continue;
        if (void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return module;
        if (error.empty()) error = dlerror();
    }
    if (error.empty()) error = "Unknown error code";
    return nullptr;
}

}  // namespace playback
