#include "file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>

namespace ombrilo {

namespace {

// The permission bits a newly created file gets from the process's umask. umask() can only be
// read by setting it, so it is taken from /proc where possible.
mode_t NewFileMode() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            const mode_t mask = static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
            return 0666 & ~mask;
        }
    }
    return 0644;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

constexpr std::string_view kTemporaryTag = ".ombrilo-";
constexpr std::size_t kTemporaryRandomLength = 6;  // the XXXXXX of mkostemp

}  // namespace

std::optional<std::vector<std::uint8_t>> ReadFilePrefix(const std::string& path,
                                                        std::size_t maxBytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(maxBytes);
    std::size_t got = 0;
    while (got < maxBytes) {
        const ssize_t n = ::read(fd, bytes.data() + got, maxBytes - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(got);
    return bytes;
}

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {}

AtomicFile::~AtomicFile() {
    Discard();
}

bool AtomicFile::Fail(int err) {
    if (error_ == 0) {
        error_ = err != 0 ? err : EIO;
    }
    return false;
}

bool AtomicFile::Open() {
    if (path_.empty() || path_.back() == '/') {
        return Fail(EISDIR);
    }
    const std::string base = path_.substr(path_.rfind('/') + 1);
    std::string pattern = FolderOf(path_) + "/." + base + std::string(kTemporaryTag) + "XXXXXX";
    fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0) {
        return Fail(errno);
    }
    tempPath_ = pattern;
    ::fchmod(fd_, NewFileMode());
    return true;
}

bool AtomicFile::Reserve(std::uint64_t size) {
    if (fd_ < 0) {
        return Fail(EBADF);
    }
    if (size == 0) {
        return true;
    }
    // fallocate, unlike posix_fallocate, does not fall back to writing zeros block by block.
    if (::fallocate(fd_, 0, 0, static_cast<off_t>(size)) == 0 || errno == EOPNOTSUPP) {
        return true;
    }
    return Fail(errno);
}

bool AtomicFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    return WriteAt(offset, std::span(&bytes, 1));
}

bool AtomicFile::WriteAt(std::uint64_t offset,
                         std::span<const std::span<const std::uint8_t>> pieces) {
    if (fd_ < 0) {
        return Fail(EBADF);
    }
    std::vector<iovec> vectors;
    vectors.reserve(std::min<std::size_t>(pieces.size(), IOV_MAX));
    std::size_t next = 0;  // the first piece not yet in a request
    std::size_t skip = 0;  // bytes of it already written
    while (next < pieces.size()) {
        vectors.clear();
        std::uint64_t requested = 0;
        for (std::size_t i = next; i < pieces.size() && vectors.size() < IOV_MAX; ++i) {
            const std::size_t from = i == next ? skip : 0;
            vectors.push_back(
                {const_cast<std::uint8_t*>(pieces[i].data()) + from, pieces[i].size() - from});
            requested += pieces[i].size() - from;
        }
        const ssize_t n = ::pwritev(fd_, vectors.data(), static_cast<int>(vectors.size()),
                                    static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0 && requested > 0) {
            return Fail(n < 0 ? errno : ENOSPC);
        }
        offset += static_cast<std::uint64_t>(n);
        // Moves past what was written, which may end inside a piece.
        auto written = static_cast<std::size_t>(n);
        while (next < pieces.size() && written >= pieces[next].size() - skip) {
            written -= pieces[next].size() - skip;
            skip = 0;
            ++next;
        }
        skip += written;
    }
    return true;
}

void AtomicFile::StartWriteback(std::uint64_t offset, std::uint64_t size) {
    if (fd_ >= 0 && size > 0) {
        ::sync_file_range(fd_, static_cast<off_t>(offset), static_cast<off_t>(size),
                          SYNC_FILE_RANGE_WRITE);
    }
}

bool AtomicFile::Commit() {
    if (fd_ < 0 || error_ != 0) {
        Discard();
        return Fail(EBADF);
    }
    const bool synced = ::fsync(fd_) == 0;
    const int syncError = errno;
    const bool closed = ::close(fd_) == 0;
    const int closeError = errno;
    fd_ = -1;
    if (!synced || !closed) {
        Discard();
        return Fail(!synced ? syncError : closeError);
    }
    if (::rename(tempPath_.c_str(), path_.c_str()) != 0) {
        const int renameError = errno;
        Discard();
        return Fail(renameError);
    }
    tempPath_.clear();
    return true;
}

void AtomicFile::Discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
}

bool IsAtomicTemporaryName(std::string_view name) {
    const std::size_t tag = name.rfind(kTemporaryTag);
    // A dot, a target name of at least one character, the tag, the random letters.
    if (name.size() < 2 || name[0] != '.' || tag == std::string_view::npos || tag < 2 ||
        name.size() - tag - kTemporaryTag.size() != kTemporaryRandomLength) {
        return false;
    }
    for (const char c : name.substr(tag + kTemporaryTag.size())) {
        const bool alnum =
            (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!alnum) {
            return false;
        }
    }
    return true;
}

int RemoveStaleTemporaryFiles(const std::string& folder, std::chrono::seconds minAge) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return 0;
    }
    const std::time_t newest = std::time(nullptr) - static_cast<std::time_t>(minAge.count());
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsAtomicTemporaryName(entry->d_name)) {
            continue;
        }
        const std::string path = folder + "/" + entry->d_name;
        struct stat info {};
        // lstat: a symbolic link with such a name is not the program's file.
        if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_mtime <= newest &&
            ::unlink(path.c_str()) == 0) {
            ++removed;
        }
    }
    ::closedir(dir);
    return removed;
}

bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
    AtomicFile file(path);
    return file.Open() && file.WriteAt(0, bytes) && file.Commit();
}

void PutUInt32(std::uint8_t* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

void PutUInt16(std::uint8_t* out, std::uint16_t value) {
    out[0] = static_cast<std::uint8_t>(value);
    out[1] = static_cast<std::uint8_t>(value >> 8);
}

void PutInt32(std::uint8_t* out, std::int32_t value) {
    PutUInt32(out, static_cast<std::uint32_t>(value));
}

void PutFloat(std::uint8_t* out, float value) {
    PutUInt32(out, std::bit_cast<std::uint32_t>(value));
}

void PutDouble(std::uint8_t* out, double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    PutUInt32(out, static_cast<std::uint32_t>(bits));
    PutUInt32(out + 4, static_cast<std::uint32_t>(bits >> 32));
}

std::uint32_t GetUInt32(const std::uint8_t* in) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | in[i];
    }
    return value;
}

std::int32_t GetInt32(const std::uint8_t* in) {
    return static_cast<std::int32_t>(GetUInt32(in));
}

float GetFloat(const std::uint8_t* in) {
    return std::bit_cast<float>(GetUInt32(in));
}

double GetDouble(const std::uint8_t* in) {
    const std::uint64_t bits = static_cast<std::uint64_t>(GetUInt32(in)) |
                               (static_cast<std::uint64_t>(GetUInt32(in + 4)) << 32);
    return std::bit_cast<double>(bits);
}

}  // namespace ombrilo
