#include "text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "system.h"

namespace platform {
namespace {

// Closes the descriptor on every path out of the caller.
struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

[[noreturn]] void fail(const char* what, const std::string& path, int error) {
    throw SystemError(std::string(what) + " \"" + path + "\". " + systemMessage(error), error);
}

}  // namespace

std::vector<std::string> splitLines(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

std::string readWholeFile(const std::string& path) {
    Fd f{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (f.fd < 0) fail("Cannot open file", path, errno);
    struct stat st {};
    if (::fstat(f.fd, &st) != 0) fail("Cannot open file", path, errno);
    if (S_ISDIR(st.st_mode)) fail("Cannot open file", path, EISDIR);
    std::string data;
    data.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(f.fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("Cannot open file", path, errno);
        }
        if (n == 0) break;
        data.append(buffer, static_cast<std::size_t>(n));
    }
    return data;
}

void writeWholeFile(const std::string& path, std::string_view data) {
    Fd f{::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)};
    if (f.fd < 0) fail("Cannot create file", path, errno);
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(f.fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw SystemError(systemMessage(errno), errno);
        }
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace platform
