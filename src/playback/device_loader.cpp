#include "playback/device_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <string>

namespace playback {
namespace {

void* loadedModule = nullptr;

std::string executableDir() {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    const std::string path(buffer, std::size_t(n));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

DeviceFactory load() {
    std::string error;
    for (const std::string& path : {executableDir() + "/" VORELA_DEVICE_RELATIVE_PATH,
                                    std::string(VORELA_DEVICE_BUILD_PATH)}) {
        // Kept open for good: the module's libraries hold process-wide state, and its threads
        // end before the device does, not before the process does.
        void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            if (error.empty()) error = dlerror();
            continue;
        }
        void* symbol = dlsym(module, kDeviceFactorySymbol);
        if (symbol != nullptr) {
            loadedModule = module;
            return *static_cast<DeviceFactory*>(symbol);
        }
        error = dlerror();
    }
    throw DeviceError(error.empty() ? "Unknown error code" : error);
}

}  // namespace

DeviceFactory loadDeviceFactory() {
    static DeviceFactory factory = nullptr;
    if (factory == nullptr) factory = load();  // a failure is tried again at the next open
    return factory;
}

void* deviceModuleSymbol(const char* name) {
    try {
        loadDeviceFactory();
    } catch (const DeviceError&) {
        return nullptr;
    }
    return dlsym(loadedModule, name);
}

}  // namespace playback
