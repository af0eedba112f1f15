// LocalFile: a file on the local disk for the transfers and codecs.
//
// Opened read-only, or for writing without truncation (created with mode
// 0644 when missing), so a resumed download keeps the bytes
// already there. Reads and writes retry after EINTR; WriteAll and ReadFull
// move the whole count or fail. The descriptor is closed by Close() or
// the destructor; the object can be moved, not copied.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velkor {

class LocalFile {
public:
    LocalFile() = default;
    // Takes an open descriptor (or -1) over.
    explicit LocalFile(int fd) : m_fd(fd) {}
    ~LocalFile();
    LocalFile(LocalFile&& other) noexcept;
    LocalFile& operator=(LocalFile&& other) noexcept;
    LocalFile(const LocalFile&) = delete;
    LocalFile& operator=(const LocalFile&) = delete;

    // False (and closed) when the file cannot be opened.
    bool OpenForReading(const std::string& path);
    bool OpenForWriting(const std::string& path);
    // Whether OpenForWriting could succeed, without creating or changing
    // anything: the file is writable, or its folder takes new files.
    static bool CanWrite(const std::string& path);
    bool IsOpen() const { return m_fd >= 0; }
    int Descriptor() const { return m_fd; }

    // Moves the position; false when the file cannot be positioned there.
    bool Seek(std::uint64_t offset);
    // Up to n bytes at the position: the count, 0 at the end, -1 on error.
    long Read(char* buffer, std::size_t n);
    // Reads until n bytes or the end: the count, -1 on error.
    long ReadFull(char* buffer, std::size_t n);
    // n bytes at the position (false on any error, the disk full included).
    bool WriteAll(const char* data, std::size_t n);
    // Positioned forms that leave the position alone.
    long ReadAt(std::uint64_t offset, char* buffer, std::size_t n);
    bool WriteAt(std::uint64_t offset, const char* data, std::size_t n);

    // The length in bytes, and the st_mode bits; nullopt when fstat fails.
    std::optional<std::uint64_t> Size() const;
    std::optional<mode_t> Mode() const;

    // Sets the mode bits; waits until the written data is on the disk.
    bool SetMode(mode_t mode);
    bool Sync();

    // False when closing reports an error (data may not have reached the disk).
    bool Close();

private:
    int m_fd = -1;
};

// Collects written pieces and hands them to the file in large writes, so a
// transfer in small blocks does not cost a system call per block.
class BufferedFileWriter {
public:
    static constexpr std::size_t kCapacity = 256 * 1024;

    explicit BufferedFileWriter(LocalFile& file);
    // False once a write to the file failed.
    bool Append(const char* data, std::size_t n);
    bool Flush();

private:
    LocalFile& m_file;
    std::vector<char> m_buffer;
};

// The length of a file by path; nullopt when it does not exist or cannot be read.
std::optional<std::uint64_t> LocalFileSize(const std::string& path);

// The whole of a regular file (not a device, pipe or directory) of at most
// maxBytes; false when it is missing, of another kind, larger or unreadable.
bool ReadRegularFile(const std::string& path, std::string& bytes, std::uint64_t maxBytes);

// The process's file-creation mask, read without changing it.
mode_t CurrentUmask();

// A new empty file beside path (same folder, so a rename replaces path),
// created exclusively, with path's mode when it exists and a new file's
// mode otherwise; its name, or empty when none can be made. Downloads go
// there first, so that a failed one leaves the file at path as it was.
std::string CreateFileBeside(const std::string& path);

// Replaces path with bytes so that readers see the old file or the whole
// new one, never a part: a new file of a unique name is made beside it
// (created exclusively, so a link planted there is never followed and no
// other writer shares it) with the given mode, written, synced and renamed
// over path. False (and path untouched) when any step fails.
bool WriteFileAtomically(const std::string& path, const std::string& bytes, mode_t mode);

// True when path does not exist or belongs to the calling user.
bool OwnedByUserOrMissing(const std::string& path);

}  // namespace velkor
