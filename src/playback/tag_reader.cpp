// The program's way to the tag reader, which lives in the device module with FFmpeg.
#include "playback/device_loader.h"
#include "playback/tags.h"

namespace playback {

TrackTags readTrackTagsThroughDevice(const std::string& path) {
    static TagReader reader = nullptr;
    if (reader == nullptr) {
        if (void* symbol = deviceModuleSymbol(kTagReaderSymbol))
            reader = *static_cast<TagReader*>(symbol);
    }
    return reader != nullptr ? reader(path) : TrackTags{};
}

}  // namespace playback
