#include "platform/LocalFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <utility>

namespace velkor {

LocalFile::~LocalFile() { Close(); }

LocalFile::LocalFile(LocalFile&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

LocalFile& LocalFile::operator=(LocalFile&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

bool LocalFile::OpenForReading(const std::string& path) {
    Close();
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    return m_fd >= 0;
}

bool LocalFile::OpenForWriting(const std::string& path) {
    Close();
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    return m_fd >= 0;
}

bool LocalFile::Seek(std::uint64_t offset) {
    return m_fd >= 0 && ::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

long LocalFile::Read(char* buffer, std::size_t n) {
    ssize_t got;
    do {
        got = ::read(m_fd, buffer, n);
    } while (got < 0 && errno == EINTR);
    return static_cast<long>(got);
}

long LocalFile::ReadFull(char* buffer, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        const long got = Read(buffer + done, n - done);
        if (got < 0) return -1;
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<long>(done);
}

bool LocalFile::WriteAll(const char* data, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t put = ::write(m_fd, data + done, n - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

long LocalFile::ReadAt(std::uint64_t offset, char* buffer, std::size_t n) {
    ssize_t got;
    do {
        got = ::pread(m_fd, buffer, n, static_cast<off_t>(offset));
    } while (got < 0 && errno == EINTR);
    return static_cast<long>(got);
}

bool LocalFile::WriteAt(std::uint64_t offset, const char* data, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t put = ::pwrite(m_fd, data + done, n - done, static_cast<off_t>(offset + done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

std::optional<std::uint64_t> LocalFile::Size() const {
    struct stat st{};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

std::optional<mode_t> LocalFile::Mode() const {
    struct stat st{};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) return std::nullopt;
    return st.st_mode;
}

bool LocalFile::SetMode(mode_t mode) { return m_fd >= 0 && ::fchmod(m_fd, mode) == 0; }

bool LocalFile::Sync() { return m_fd >= 0 && ::fsync(m_fd) == 0; }

bool LocalFile::Close() {
    const bool ok = m_fd < 0 || ::close(m_fd) == 0;
    m_fd = -1;
    return ok;
}

BufferedFileWriter::BufferedFileWriter(LocalFile& file) : m_file(file) {
    m_buffer.reserve(kCapacity);
}

bool BufferedFileWriter::Append(const char* data, std::size_t n) {
    if (m_buffer.size() + n > kCapacity && !Flush()) return false;
    m_buffer.insert(m_buffer.end(), data, data + n);
    return true;
}

bool BufferedFileWriter::Flush() {
    const bool ok = m_file.WriteAll(m_buffer.data(), m_buffer.size());
    m_buffer.clear();
    return ok;
}

std::optional<std::uint64_t> LocalFileSize(const std::string& path) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes, mode_t mode) {
    std::string temp = path + ".XXXXXX";
    // mkostemp opens with O_CREAT|O_EXCL (which never follows a link).
    LocalFile file(::mkostemp(temp.data(), O_CLOEXEC));
    if (!file.IsOpen()) return false;
    bool ok = file.SetMode(mode) && file.WriteAll(bytes.data(), bytes.size()) && file.Sync();
    ok = file.Close() && ok;
    ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

bool OwnedByUserOrMissing(const std::string& path) {
    struct stat st{};
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
    return st.st_uid == ::geteuid();
}

std::string CreateFileBeside(const std::string& path) {
    std::string name = path + ".velkor-XXXXXX";
    LocalFile file(::mkstemp(name.data()));
    if (!file.IsOpen()) return {};
    struct stat st {};
    file.SetMode(::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : (0644 & ~CurrentUmask()));
    return name;
}

mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtol(line.c_str() + 6, nullptr, 8));
    }
    const mode_t mask = ::umask(0);  // no /proc: read it by setting it back at once
    ::umask(mask);
    return mask;
}

bool ReadRegularFile(const std::string& path, std::string& bytes, std::uint64_t maxBytes) {
    // Asked before opening too: opening a pipe would wait for a writer.
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    LocalFile file;
    if (!file.OpenForReading(path)) return false;
    if (::fstat(file.Descriptor(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::uint64_t>(st.st_size) > maxBytes)
        return false;
    bytes.resize(static_cast<std::size_t>(st.st_size));
    return file.ReadFull(bytes.data(), bytes.size()) == static_cast<long>(bytes.size());
}

bool LocalFile::CanWrite(const std::string& path) {
    if (::access(path.c_str(), F_OK) == 0) return ::access(path.c_str(), W_OK) == 0;
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace velkor
