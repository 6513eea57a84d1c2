#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// The readers of the program read files by name; a fuzz input reaches them through one scratch
// file of this process, rewritten for every input.
namespace fuzzsupport {

inline const std::string& ScratchPath() {
    static const std::string path = [] {
        // Memory-backed /dev/shm where there is one: a disk file system makes every input slow.
        const char* tmp = std::getenv("TMPDIR");
        const char* folder = tmp != nullptr && *tmp != '\0'           ? tmp
                             : ::access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm"
                                                                      : "/tmp";
        std::string p =
            std::string(folder) + "/ombrilo-fuzz-" + std::to_string(::getpid()) + ".bin";
        std::atexit([] { std::remove(ScratchPath().c_str()); });
        return p;
    }();
    return path;
}

// Writes the input into the scratch file and returns its name; aborts when it cannot, since a
// silent failure would fuzz nothing.
inline const std::string& InputAsFile(const std::uint8_t* data, std::size_t size) {
    const std::string& path = ScratchPath();
    // A new file each time: rewriting a truncated one makes ext4 flush it to disk on close.
    std::remove(path.c_str());
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || (size > 0 && std::fwrite(data, 1, size, file) != size) ||
        std::fclose(file) != 0) {
        std::abort();
    }
    return path;
}

}  // namespace fuzzsupport
