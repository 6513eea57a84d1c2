#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ombrilo {

// Reads at most maxBytes from the start of a regular file. Returns nothing when the path cannot
// be opened for reading or is not a regular file (a directory, a pipe or a device), so that a
// hostile entry can neither block nor mislead the reader.
std::optional<std::vector<std::uint8_t>> ReadFilePrefix(const std::string& path,
                                                        std::size_t maxBytes);

// A file written beside its target under a temporary name and renamed over the target on
// Commit, so that a failed or interrupted write leaves the previous file whole. Without Commit
// the temporary file is removed.
class AtomicFile {
public:
    explicit AtomicFile(std::string path);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file; fails when the folder does not exist or is not writable.
    bool Open();
    // Asks the file system for the whole size at once, so that a full disk is seen before the
    // work starts. File systems that cannot reserve space are accepted as they are.
    bool Reserve(std::uint64_t size);
    bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes);
    // The pieces one after the other from offset, in as few system calls as the system takes.
    bool WriteAt(std::uint64_t offset, std::span<const std::span<const std::uint8_t>> pieces);
    // Asks the system to start writing a range already written to the disk now, without
    // waiting, so that a large file is mostly on the disk by the time Commit syncs it. Only a
    // hint: file systems that cannot take it are left alone.
    void StartWriteback(std::uint64_t offset, std::uint64_t size);
    bool Commit();
    void Discard();

    // The errno of the first failure, 0 when none.
    int error() const { return error_; }

private:
    bool Fail(int err);

    std::string path_;
    std::string tempPath_;
    int fd_ = -1;
    int error_ = 0;
};

// The temporary file of a target NAME is ".NAME.ombrilo-XXXXXX" in the target's folder, with six
// letters or digits chosen by mkostemp. True for exactly such names.
bool IsAtomicTemporaryName(std::string_view name);

// Removes the temporary files of atomic writes that were killed mid-way (power loss, SIGKILL):
// regular files of the folder whose names IsAtomicTemporaryName accepts and which were last
// changed at least minAge ago (a younger one may belong to a write in progress). Returns how many
// were removed; a missing or unreadable folder removes nothing.
int RemoveStaleTemporaryFiles(const std::string& folder, std::chrono::seconds minAge);

// Writes the whole content atomically; false when anything failed (the target is then as it was).
bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

// Little-endian fields of the stored records, whatever the host.
void PutInt32(std::uint8_t* out, std::int32_t value);
void PutUInt32(std::uint8_t* out, std::uint32_t value);
void PutUInt16(std::uint8_t* out, std::uint16_t value);
void PutFloat(std::uint8_t* out, float value);
void PutDouble(std::uint8_t* out, double value);
std::int32_t GetInt32(const std::uint8_t* in);
std::uint32_t GetUInt32(const std::uint8_t* in);
float GetFloat(const std::uint8_t* in);
double GetDouble(const std::uint8_t* in);

}  // namespace ombrilo
