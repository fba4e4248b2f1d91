// SPDX-License-Identifier: GPL-3.0-or-later
#include "charset_conversion.h"

#include <QByteArrayView>

#include <iconv.h>

#include <cerrno>
#include <map>

namespace platform::charsets {
namespace {

const iconv_t kFailed = reinterpret_cast<iconv_t>(-1);

// iconv descriptors keep a conversion state and may not be shared between threads, so each
// thread opens its own, once per pair of character sets, and closes them when it ends.
class Converters {
public:
    Converters() = default;
    Converters(const Converters&) = delete;
    Converters& operator=(const Converters&) = delete;
    ~Converters() {
        for (auto& [names, cd] : open_) {
            if (cd != kFailed) iconv_close(cd);
        }
    }

    // A converter in its initial state; kFailed when iconv knows one of the names not.
    iconv_t get(const std::string& to, const std::string& from) {
        auto it = open_.find({to, from});
        if (it == open_.end()) {
            it = open_.emplace(std::pair{to, from}, iconv_open(to.c_str(), from.c_str())).first;
        }
        if (it->second != kFailed) iconv(it->second, nullptr, nullptr, nullptr, nullptr);
        return it->second;
    }

private:
    std::map<std::pair<std::string, std::string>, iconv_t> open_;
};

Converters& converters() {
    thread_local Converters perThread;
    return perThread;
}

}  // namespace

bool convert(const std::string& to, const std::string& from, std::string_view in, std::string& out,
             const char* replacement) {
    const iconv_t cd = converters().get(to, from);
    if (cd == kFailed) return false;
    out.clear();
    out.reserve(in.size() * 3 / 2 + 4);
    char* inBytes = const_cast<char*>(in.data());  // iconv's signature; it only reads them
    std::size_t inLeft = in.size();
    char chunk[512];
    for (;;) {
        char* outBytes = chunk;
        std::size_t outLeft = sizeof chunk;
        const bool flushing = inLeft == 0;
        const std::size_t result = flushing ? iconv(cd, nullptr, nullptr, &outBytes, &outLeft)
                                            : iconv(cd, &inBytes, &inLeft, &outBytes, &outLeft);
        out.append(chunk, static_cast<std::size_t>(outBytes - chunk));
        if (result != static_cast<std::size_t>(-1)) {
            if (flushing) return true;
            continue;
        }
        if (errno == E2BIG) continue;
        if ((errno != EILSEQ && errno != EINVAL) || replacement == nullptr || flushing) {
            return false;
        }
        out += replacement;
        // glibc's CP949 takes a lone last lead byte and then reports it: nothing is left.
        if (inLeft == 0) continue;
        ++inBytes;
        --inLeft;
    }
}

bool isValidUtf8(std::string_view bytes) {
    return QByteArrayView(bytes.data(), qsizetype(bytes.size())).isValidUtf8();
}

std::optional<QString> strictText(const std::string& charset, std::string_view bytes) {
    if (charset == kUtf8) {
        if (!isValidUtf8(bytes)) return {};
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }
    std::string utf8;
    if (!convert(kUtf8, charset, bytes, utf8, nullptr)) return {};
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

bool knownToIconv(const std::string& charset) {
    const iconv_t cd = iconv_open(kUtf8, charset.c_str());
    if (cd == kFailed) return false;
    iconv_close(cd);
    return true;
}

}  // namespace platform::charsets
