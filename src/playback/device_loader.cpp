// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/device_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <mutex>
#include <thread>
#include <vector>

#include "playback/module_loader.h"

namespace playback {
namespace {

// Guards the load, so that the UI thread's open waits for a worker that is loading.
std::mutex loadMutex;
void* loadedModule = nullptr;           // guarded by loadMutex
DeviceFactory loadedFactory = nullptr;  // guarded by loadMutex

std::string executableDir() {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    const std::string path(buffer, std::size_t(n));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// loadMutex held.
void load() {
    std::string error;
    void* module = openModule(
        {executableDir() + "/" VORELA_DEVICE_RELATIVE_PATH, std::string(VORELA_DEVICE_BUILD_PATH)},
        error);
    void* symbol = module ? dlsym(module, kDeviceFactorySymbol) : nullptr;
    if (!symbol) throw DeviceError(error.empty() ? "Unknown error code" : error);
    loadedModule = module;
    loadedFactory = *static_cast<DeviceFactory*>(symbol);
}

// The workers of prepareToPlay, joined at exit. UI thread.
struct Workers {
    bool device = false;  // a worker loads (or has loaded) the device module
    bool ffmpeg = false;  // and FFmpeg's decoders
    std::vector<std::thread> threads;
    ~Workers() {
        for (std::thread& thread : threads) thread.join();
    }
};

// True when the name's extension is one of libmpg123's or ours.
bool decodedWithoutFfmpeg(const std::string& path) {
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return false;
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    for (const char* ours : {"mp3", "mp2", "mp1", "mpa", "wav"})
        if (extension == ours) return true;
    return false;
}

}  // namespace

DeviceFactory loadDeviceFactory() {
    std::lock_guard lock(loadMutex);
    if (loadedFactory == nullptr) load();  // a failure is tried again at the next open
    return loadedFactory;
}

void* deviceModuleSymbol(const char* name) {
    try {
        loadDeviceFactory();
    } catch (const DeviceError&) {
        return nullptr;
    }
    std::lock_guard lock(loadMutex);
    return dlsym(loadedModule, name);
}

void prepareToPlay(const std::string& path) {
    static Workers workers;
    const bool ffmpeg = !workers.ffmpeg && !decodedWithoutFfmpeg(path);
    if (workers.device && !ffmpeg) return;
    workers.device = true;
    workers.ffmpeg = workers.ffmpeg || ffmpeg;
    workers.threads.emplace_back([ffmpeg] {
        // Failures are left to the open that needs the module, which reports them.
        if (void* symbol = deviceModuleSymbol(kPreloadFfmpegSymbol); symbol && ffmpeg)
            (*static_cast<Preloader*>(symbol))();
    });
}

}  // namespace playback
