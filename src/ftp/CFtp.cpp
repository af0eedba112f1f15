// CFtp: file operations and transfers.
#include "ftp/CFtp.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace velkor {

namespace {

enum Label : int { kStor = 18, kRetr = 22 };

// Collects downloaded blocks and writes them in larger pieces, so that a
// transfer in 4096-byte blocks does not cost one write call per block.
class BlockWriter {
public:
    static constexpr std::size_t kCapacity = 256 * 1024;

    explicit BlockWriter(int fd) : m_fd(fd) { m_buffer.reserve(kCapacity); }

    bool Append(const char* data, std::size_t n) {
        if (m_buffer.size() + n > kCapacity && !Flush()) return false;
        m_buffer.insert(m_buffer.end(), data, data + n);
        return true;
    }

    bool Flush() {
        std::size_t done = 0;
        while (done < m_buffer.size()) {
            const ssize_t n = ::write(m_fd, m_buffer.data() + done, m_buffer.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        m_buffer.clear();
        return true;
    }

private:
    int m_fd;
    std::vector<char> m_buffer;
};

// Closes a file descriptor when the scope ends.
class FileHandle {
public:
    explicit FileHandle(int fd = -1) : m_fd(fd) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int Get() const { return m_fd; }
    bool Close() {
        const bool ok = m_fd < 0 || ::close(m_fd) == 0;
        m_fd = -1;
        return ok;
    }

private:
    int m_fd;
};

thread_local int t_deleteDepth = 0;

}  // namespace

CFtp::~CFtp() { Logout(); }

bool CFtp::SplitPath(const std::string& path, std::string& full, std::string& dir,
                     std::string& name) const {
    full = GetFullPos(path);
    FormatPathStringToNet(full);
    dir = GetPath(full);
    name = GetName(full);
    return !dir.empty() && !name.empty();
}

void CFtp::FinishTransfer(int command) {
    m_nCommand = command;
    if (m_arrReplyQueue.empty()) ReadStringDirectly();
    if (!m_arrReplyQueue.empty()) CheckStatus();
}

bool CFtp::TransferFile(const std::string& local, const std::string& remote,
                        std::uint32_t& transferred, std::uint32_t limit, bool download,
                        bool passive, std::uint32_t offset, std::uint32_t size) {
    if (size != 0 && offset >= size) return true;
    std::string full, dir, name;
    if (!SplitPath(remote, full, dir, name)) return false;
    if (!download) {
        FileHandle probe(::open(local.c_str(), O_RDONLY | O_CLOEXEC));
        if (probe.Get() < 0 || ::lseek(probe.Get(), offset, SEEK_SET) < 0) return false;
    }
    if (!Cwd(dir) || !Type("I")) return false;
    if (!(passive ? SetupPassiveDataChannel() : SetupActiveDataChannel())) return false;
    const auto abandon = [this] {
        DisconnectDataChannel();
        DiscardActiveListener();
        return false;
    };
    if (offset != 0 && !Rest(offset)) return abandon();

    const int command = download ? kRetr : kStor;
    m_nCommand = command;
    if (!SendCommand((download ? "RETR " : "STOR ") + name + "\r\n")) return abandon();
    if (!CheckStatus() && m_nLastError != 3) return abandon();
    if (!passive && !AcceptActiveDataChannel()) {
        abandon();
        FinishTransfer(command + 1);
        return false;
    }
    // Replies already queued (a completion that came with the preliminary
    // reply) are kept and judged after the data.
    m_nCommand = command + 1;

    FileHandle file(download ? ::open(local.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644)
                             : ::open(local.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0 || ::lseek(file.Get(), offset, SEEK_SET) < 0) {
        // Closing the data connection ends the server's side of the transfer.
        DisconnectDataChannel();
        FinishTransfer(command + 1);
        return false;
    }
    m_nTransferred = offset;
    BlockWriter writer(file.Get());
    bool fileFailed = false;
    std::uint32_t moved = 0;
    // Both directions read up to kReadAheadBytes at once (from the socket or
    // from the file) and move them on in blocks of kBlockSize, so the
    // counters, the limit and the abort flag work per block while the source
    // is read in fewer calls. A block is always whole (kBlockSize bytes)
    // except the last one of the transfer: a short read from the socket is
    // topped up before the block is moved, so limits in whole blocks are met
    // exactly however the network splits the data.
    std::unique_ptr<char[]> ahead(new char[kReadAheadBytes]);
    int aheadStart = 0, aheadEnd = 0;
    bool sourceEnded = false;
    for (;;) {
        if (size != 0 && offset + moved >= size) break;
        while (!sourceEnded && aheadEnd - aheadStart < kBlockSize) {
            // Keep the partial block and read more behind it.
            const int kept = aheadEnd - aheadStart;
            if (kept > 0 && aheadStart > 0) std::memmove(ahead.get(), ahead.get() + aheadStart, kept);
            aheadStart = 0;
            aheadEnd = kept;
            int n;
            if (download) {
                n = ReadDataChannel(ahead.get() + aheadEnd, kReadAheadBytes - aheadEnd);
            } else {
                do {
                    n = static_cast<int>(
                        ::read(file.Get(), ahead.get() + aheadEnd, kReadAheadBytes - aheadEnd));
                } while (n < 0 && errno == EINTR);
                if (n < 0) fileFailed = true;
            }
            if (n <= 0) sourceEnded = true;
            else aheadEnd += n;
        }
        if (fileFailed || aheadStart == aheadEnd) break;
        int n = std::min(kBlockSize, aheadEnd - aheadStart);
        char* data = ahead.get() + aheadStart;
        aheadStart += n;
        transferred += static_cast<std::uint32_t>(n);
        if (download) {
            if (!writer.Append(data, static_cast<std::size_t>(n))) {
                fileFailed = true;
                break;
            }
        } else if (!WriteDataChannel(data, n)) {
            break;
        }
        moved += static_cast<std::uint32_t>(n);
        m_bTransferring = 1;
        m_nTransferred = offset + moved;
        if (limit != 0 && transferred == limit) break;
        if (m_bAbort == 1) {
            // The data connection is closed first: a server that reads its
            // control connection only between transfers (vsftpd) would
            // otherwise never see the ABOR while it waits to send more data.
            DisconnectDataChannel();
            Abor();
            break;
        }
    }
    if (download && !writer.Flush()) fileFailed = true;
    if (!file.Close()) fileFailed = true;
    if (fileFailed) {
        // The local file failed: the transfer cannot be trusted. Closing the
        // data connection first lets the server end the transfer, so that
        // its completion reply comes.
        DisconnectDataChannel();
        FinishTransfer(command + 1);
        m_bTransferring = 0;
        if (transferred != limit) Abor();
        return transferred == limit;
    }
    DisconnectDataChannel();
    FinishTransfer(command + 1);
    m_bTransferring = 0;
    return limit == 0 || transferred == limit;
}

std::uint32_t CFtp::Download(const std::string& remote, const std::string& local,
                             std::uint32_t& transferred, std::uint32_t limit,
                             std::uint32_t offset, std::uint32_t size, bool passive) {
    if (TransferFile(local, remote, transferred, limit, true, passive, offset, size)) return 0;
    switch (m_nLastReply) {
        case 530: return kDownloadNotLoggedIn;
        case 550: return kDownloadUnavailable;
        case 450: return kDownloadBusy;
        default: return m_nLastReply / 100 == 2 ? 0 : kDownloadOtherFailure;
    }
}

std::uint32_t CFtp::Upload(const std::string& local, const std::string& remote,
                           std::uint32_t& transferred, std::uint32_t limit,
                           std::uint32_t offset, std::uint32_t size, bool passive) {
    return TransferFile(local, remote, transferred, limit, false, passive, offset, size) ? 1 : 0;
}

bool CFtp::DeleteFileA(const std::string& path) {
    std::string full, dir, name;
    return SplitPath(path, full, dir, name) && Cwd(dir) && Dele(name);
}

bool CFtp::CreateDir(const std::string& path) {
    std::string full, dir, name;
    return SplitPath(path, full, dir, name) && Cwd(dir) && Mkd(name);
}

bool CFtp::RemoveDir(const std::string& path) {
    std::string full, dir, name;
    return SplitPath(path, full, dir, name) && Cwd(dir) && Rmd(name);
}

bool CFtp::Delete(const std::string& path) {
    std::string full, dir, name;
    if (!SplitPath(path, full, dir, name)) return false;
    const auto endsWith = [&full](const char* tail) {
        const std::string t(tail);
        return full.size() >= t.size() && full.compare(full.size() - t.size(), t.size(), t) == 0;
    };
    if (full.size() < 2 || endsWith("/.") || endsWith("/..")) return false;
    if (t_deleteDepth >= kMaxDeleteDepth) return false;
    if (!Cwd(full)) return Cwd(dir) && Dele(name);

    if (!List(full)) return false;
    // Taken, not copied: the deletes below list their own directories.
    const std::vector<std::string> listing = std::move(m_arrListing);
    m_arrListing.clear();
    struct Depth {
        Depth() { ++t_deleteDepth; }
        ~Depth() { --t_deleteDepth; }
    } depth;
    for (const std::string& line : listing) {
        CFtpFile entry;
        if (!Parse_ls(line.c_str(), &entry)) {
            entry.FreeStrings();
            continue;
        }
        const std::string entryName = entry.m_pszName;
        const bool link = entry.m_bLink;
        entry.FreeStrings();
        if (entryName == "." || entryName == "..") continue;
        // A name with a separator in it ("..\\..\\x" is a valid Unix file
        // name) would address a place outside this directory: refuse the
        // whole tree rather than delete there.
        if (entryName.find_first_of("/\\") != std::string::npos) return false;
        const std::string child = full + "/" + entryName;
        // A link is removed itself; following it could reach outside the tree.
        if (!(link ? DeleteFileA(child) : Delete(child))) return false;
    }
    if (!Cdup()) return false;
    return Rmd(full);
}

bool CFtp::Rename(const std::string& from, const std::string& to) {
    std::string fullFrom, dirFrom, nameFrom, fullTo, dirTo, nameTo;
    if (!SplitPath(from, fullFrom, dirFrom, nameFrom) || !SplitPath(to, fullTo, dirTo, nameTo))
        return false;
    if (dirFrom != dirTo) return false;
    if (!Cwd(dirFrom) || !Rnfr(nameFrom) || !Rnto(nameTo)) return false;
    return Type("A");
}

bool CFtp::MoveFileA(const std::string& from, const std::string& to) { return Rename(from, to); }

bool CFtp::IsFileExisted(const std::string& path) {
    std::string full, dir, name;
    SplitPath(path, full, dir, name);
    if (dir.empty()) return false;
    if (Cwd(full)) return true;
    if (!Cwd(dir) || !Nlst(dir)) return false;
    for (const std::string& line : m_arrListing)
        if (line == name) return true;
    return false;
}

std::uint32_t CFtp::GetFileLength(const std::string& path) {
    if (Size(path)) {
        const std::string& line = m_arrLastMessage.empty() ? std::string() : m_arrLastMessage[0];
        const int at = GetFirstNumericPos(line, 3);
        if (at < 0 || 3 + at >= static_cast<int>(line.size())) return 0;
        const int count = GetNumericCount(line, 3 + at);
        return static_cast<std::uint32_t>(
            std::strtoull(line.substr(static_cast<std::size_t>(3 + at),
                                      static_cast<std::size_t>(count))
                              .c_str(),
                          nullptr, 10));
    }
    if (!List(path) || m_arrListing.empty()) return 0;
    CFtpFile entry;
    const std::uint32_t size = Parse_ls(m_arrListing[0].c_str(), &entry) ? entry.m_nSize : 0;
    entry.FreeStrings();
    return size;
}

bool CFtp::GetCurrentDir(std::string& out) {
    out = GetRelativePos(m_strCurrentDir);
    return true;
}

bool CFtp::SetCurrentDir(const std::string& path) { return Cwd(path); }

std::string CFtp::GetLastMessage() const {
    return m_arrLastMessage.empty() ? std::string() : m_arrLastMessage[0];
}

bool CFtp::KeepAlive() { return Noop(); }

}  // namespace velkor
