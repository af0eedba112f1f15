// CFtp: file operations and transfers.
#include "ftp/CFtp.h"

#include "ftp/FtpLabels.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "platform/LastError.h"
#include "platform/LocalFile.h"
#include "platform/Text.h"

namespace velkor {

using namespace ftp_label;

// Where a transfer's bytes come from: Read gives a count, 0 at the end (a
// data connection that fails also ends the transfer) and -1 when the local
// file failed.
class CFtp::Source {
public:
    virtual ~Source() = default;
    virtual int Read(char* buffer, int size) = 0;
};

// Where they go: Write takes one block and returns the block's fate.
class CFtp::Sink {
public:
    enum Result { kTaken, kChannelFailed, kLocalFailed };
    virtual ~Sink() = default;
    virtual Result Write(const char* data, int size) = 0;
    // Takes what it can of several blocks without waiting: the bytes taken
    // (0 when it would have to wait or cannot), -1 when the channel failed.
    virtual int WriteWithoutWaiting(const char*, int) { return 0; }
    // After the last block: false when the local file failed.
    virtual bool Finish() { return true; }
};

namespace {

class ChannelSource : public CFtp::Source {
public:
    explicit ChannelSource(CFtpLink::Channel& channel) : m_channel(channel) {}
    int Read(char* buffer, int size) override {
        if (!m_channel.m_bConnected) return 0;
        return std::max(m_channel.m_socket.Receive(buffer, size), 0);
    }

private:
    CFtpLink::Channel& m_channel;
};

class ChannelSink : public CFtp::Sink {
public:
    explicit ChannelSink(CFtpLink::Channel& channel) : m_channel(channel) {}
    Result Write(const char* data, int size) override {
        return m_channel.m_bConnected && m_channel.m_socket.Send(data, size) == size
                   ? kTaken
                   : kChannelFailed;
    }
    int WriteWithoutWaiting(const char* data, int size) override {
        if (!m_channel.m_bConnected) return -1;
        const int n = m_channel.m_socket.SendNow(data, size);
        if (n >= 0) return n;
        return GetLastSocketError() == WSAEWOULDBLOCK ? 0 : -1;
    }

private:
    CFtpLink::Channel& m_channel;
};

class FileSource : public CFtp::Source {
public:
    explicit FileSource(LocalFile& file) : m_file(file) {}
    int Read(char* buffer, int size) override {
        const long n = m_file.Read(buffer, static_cast<std::size_t>(size));
        return n < 0 ? -1 : static_cast<int>(n);
    }

private:
    LocalFile& m_file;
};

class FileSink : public CFtp::Sink {
public:
    explicit FileSink(LocalFile& file) : m_writer(file) {}
    Result Write(const char* data, int size) override {
        return m_writer.Append(data, static_cast<std::size_t>(size)) ? kTaken : kLocalFailed;
    }
    bool Finish() override { return m_writer.Flush(); }

private:
    BufferedFileWriter m_writer;
};

}  // namespace

CFtp::~CFtp() { Logout(); }

bool CFtp::SplitPath(const std::string& path, std::string& full, std::string& dir,
                     std::string& name) const {
    full = NetPath(GetFullPos(path));
    dir = GetPath(full);
    name = GetName(full);
    return !dir.empty() && !name.empty();
}

void CFtp::FinishTransfer(int command) {
    m_nCommand = command;
    if (m_arrReplyQueue.empty()) ReadStringDirectly();
    if (!m_arrReplyQueue.empty()) CheckStatus();
}

bool CFtp::LimitCanStop(std::uint64_t transferred, std::uint64_t limit) {
    return limit == 0 || (limit > transferred && (limit - transferred) % kBlockSize == 0);
}

std::uint32_t CFtp::Saturated32(std::uint64_t value) {
    return value <= UINT32_MAX ? static_cast<std::uint32_t>(value) : UINT32_MAX;
}

std::uint32_t CFtp::Saturated32OrZero(std::uint64_t value) {
    return value <= UINT32_MAX ? static_cast<std::uint32_t>(value) : 0;
}

void CFtp::SetTransferred(std::uint64_t count) {
    m_nTransferred64 = count;
    m_nTransferred = Saturated32(count);
}

CFtp::PumpEnd CFtp::PumpBlocks(Source& source, Sink& sink, std::uint64_t& transferred,
                               std::uint32_t* transferred32, std::uint64_t limit,
                               std::uint64_t offset, std::uint64_t size, bool exactSize) {
    // The source is read up to kReadAheadBytes at once and its bytes moved
    // on in blocks of kBlockSize, so the counters, the limit and the abort
    // flag work per block while the source is read in fewer calls. A block
    // is whole except the last one of the transfer: a short read is topped
    // up first, so limits in whole blocks are met exactly however the
    // network splits the data.
    std::unique_ptr<char[]> ahead(new char[kReadAheadBytes]);
    int aheadStart = 0, aheadEnd = 0;
    bool sourceEnded = false;
    std::uint64_t moved = 0;
    PumpEnd end = PumpEnd::kDone;
    // The caller's counter grows as bytes are handed on; the progress the
    // wait hook reads, once they were taken.
    const auto handOn = [&](int n) {
        transferred += static_cast<std::uint64_t>(n);
        if (transferred32) *transferred32 = Saturated32(transferred);
    };
    const auto taken = [&](int n) {
        moved += static_cast<std::uint64_t>(n);
        m_bTransferring = 1;
        SetTransferred(offset + moved);
    };
    // The data connection is closed before ABOR: a server that reads its
    // control connection only between transfers (vsftpd) would otherwise
    // never see the ABOR while it waits to send more data.
    const auto abortAsked = [this] {
        if (m_bAbort != 1) return false;
        DisconnectDataChannel();
        Abor();
        return true;
    };
    for (;;) {
        if (size != 0 && offset + moved >= size) {
            // With an exact size, anything more (a server that ignored REST
            // and sent from the start) is an error.
            char probe;
            if (exactSize && (aheadStart < aheadEnd || (!sourceEnded && source.Read(&probe, 1) > 0)))
                end = PumpEnd::kOverrun;
            break;
        }
        while (!sourceEnded && aheadEnd - aheadStart < kBlockSize) {
            // Keep the partial block and read more behind it.
            const int kept = aheadEnd - aheadStart;
            if (kept > 0 && aheadStart > 0) std::memmove(ahead.get(), ahead.get() + aheadStart, kept);
            aheadStart = 0;
            aheadEnd = kept;
            const int n = source.Read(ahead.get() + aheadEnd, kReadAheadBytes - aheadEnd);
            if (n < 0) end = PumpEnd::kLocalFailed;
            if (n <= 0) sourceEnded = true;
            else aheadEnd += n;
        }
        if (end == PumpEnd::kLocalFailed || aheadStart == aheadEnd) break;
        // Without a limit or an abort to meet, the blocks the kernel takes at
        // once go in one call (no wait can come between them, so the wait
        // hook sees the same per-block counts); the block at which it would
        // have to wait goes the usual way below.
        if (!exactSize && limit == 0 && m_bAbort == 0 && aheadEnd - aheadStart >= 2 * kBlockSize) {
            int whole = (aheadEnd - aheadStart) / kBlockSize * kBlockSize;
            if (size != 0) {
                // Up to the block that crosses the size (it goes whole, as always).
                const std::uint64_t left = size - offset - moved;
                const std::uint64_t blocks = (left + kBlockSize - 1) / kBlockSize;
                whole = static_cast<int>(std::min<std::uint64_t>(whole, blocks * kBlockSize));
            }
            const int accepted = sink.WriteWithoutWaiting(ahead.get() + aheadStart, whole);
            if (accepted < 0) break;
            // A block the kernel took in part is finished with a blocking send.
            const int part = accepted % kBlockSize;
            if (part != 0 && sink.Write(ahead.get() + aheadStart + accepted, kBlockSize - part) !=
                                 Sink::kTaken)
                break;
            const int moving = part != 0 ? accepted - part + kBlockSize : accepted;
            if (moving > 0) {
                aheadStart += moving;
                handOn(moving);
                taken(moving);
                if (abortAsked()) break;
                continue;
            }
        }
        int n = std::min(kBlockSize, aheadEnd - aheadStart);
        if (exactSize && size != 0 && offset + moved + static_cast<std::uint64_t>(n) > size) {
            // The block crosses the expected end: keep what belongs to the file.
            n = static_cast<int>(size - offset - moved);
            end = PumpEnd::kOverrun;
        }
        const char* data = ahead.get() + aheadStart;
        aheadStart += n;
        handOn(n);
        const Sink::Result written = sink.Write(data, n);
        if (written == Sink::kLocalFailed) end = PumpEnd::kLocalFailed;
        if (written != Sink::kTaken || end == PumpEnd::kOverrun) break;
        taken(n);
        if (limit != 0 && transferred == limit) break;
        if (abortAsked()) break;
    }
    if (!sink.Finish()) end = PumpEnd::kLocalFailed;
    if (end == PumpEnd::kOverrun) SetTransferred(size);
    return end;
}

bool CFtp::TransferFile(const std::string& local, const std::string& remote,
                        std::uint64_t& transferred, std::uint32_t* transferred32,
                        std::uint64_t limit, bool download, bool passive, std::uint64_t offset,
                        std::uint64_t size) {
    m_bDataOverrun = false;
    m_bDataCut = false;
    if (size != 0 && offset >= size) return true;
    std::string full, dir, name;
    if (!SplitPath(remote, full, dir, name)) return false;
    // A local file that cannot be used fails before any data connection
    // (servers end a session whose TLS data connection is cut at once).
    if (!download) {
        LocalFile probe;
        if (!probe.OpenForReading(local) || !probe.Seek(offset)) return false;
    } else if (!LocalFile::CanWrite(local)) {
        // No command went out: no earlier reply may stand for this one.
        m_nLastError = kFtpStatusRefused;
        m_nLastReply = kReplyQueueEmpty;
        m_arrLastMessage.clear();
        return false;
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
    const int completion = CompletionOf(command);
    m_nCommand = command;
    if (!SendCommand((download ? "RETR " : "STOR ") + name + "\r\n")) return abandon();
    if (!CheckStatus() && m_nLastError != kFtpStatusPreliminary) return abandon();
    if (!ReadyDataChannel(!passive)) {
        abandon();
        FinishTransfer(completion);
        return false;
    }
    // Replies already queued (a completion that came with the preliminary
    // reply) are kept and judged after the data.
    m_nCommand = completion;

    LocalFile file;
    const bool opened = download ? file.OpenForWriting(local) : file.OpenForReading(local);
    if (!opened || !file.Seek(offset)) {
        // Closing the data connection ends the server's side of the transfer.
        DisconnectDataChannel();
        FinishTransfer(completion);
        return false;
    }
    SetTransferred(offset);
    PumpEnd end;
    if (download) {
        ChannelSource source(m_data);
        FileSink sink(file);
        end = PumpBlocks(source, sink, transferred, transferred32, limit, offset, size, true);
    } else {
        FileSource source(file);
        ChannelSink sink(m_data);
        end = PumpBlocks(source, sink, transferred, transferred32, limit, offset, size, false);
    }
    const bool localFailed = end == PumpEnd::kLocalFailed || !file.Close();
    // An upload through TLS ends in order (the server's session ticket,
    // unread, would otherwise reset the connection, and the server would
    // refuse to resume the session for the next data connection).
    if (!download && m_data.m_bConnected) m_data.m_socket.EndTls(kDirectReadTimeout);
    m_bDataCut = download && m_data.m_socket.Tls() && m_data.m_socket.Tls()->CutShort();
    // Closing the data connection lets the server end the transfer, so that
    // its completion reply comes.
    DisconnectDataChannel();
    FinishTransfer(completion);
    m_bTransferring = 0;
    if (localFailed) {
        // The local file failed: the transfer cannot be trusted unless the
        // limit was met anyway.
        if (transferred != limit) Abor();
        return transferred == limit;
    }
    if (end == PumpEnd::kOverrun) {
        m_bDataOverrun = true;
        return false;
    }
    if (m_bDataCut) {
        m_strTlsError = "the data connection ended without TLS close-notify: the file may be cut short";
        return false;
    }
    return limit == 0 || transferred == limit;
}

std::uint32_t CFtp::Download(const std::string& remote, const std::string& local,
                             std::uint32_t& transferred, std::uint32_t limit,
                             std::uint32_t offset, std::uint32_t size, bool passive) {
    std::uint64_t counter = transferred;
    return DownloadResult(TransferFile(local, remote, counter, &transferred, limit, true, passive,
                                       offset, size));
}

std::uint32_t CFtp::Download64(const std::string& remote, const std::string& local,
                               std::uint64_t& transferred, std::uint64_t limit,
                               std::uint64_t offset, std::uint64_t size, bool passive) {
    return DownloadResult(TransferFile(local, remote, transferred, nullptr, limit, true, passive,
                                       offset, size));
}

std::uint32_t CFtp::DownloadResult(bool transferred) const {
    if (m_bDataOverrun || m_bDataCut) return kDownloadOtherFailure;
    if (transferred) return 0;
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
    std::uint64_t counter = transferred;
    return TransferFile(local, remote, counter, &transferred, limit, false, passive, offset, size)
               ? 1
               : 0;
}

std::uint32_t CFtp::Upload64(const std::string& local, const std::string& remote,
                             std::uint64_t& transferred, std::uint64_t limit,
                             std::uint64_t offset, std::uint64_t size, bool passive) {
    return TransferFile(local, remote, transferred, nullptr, limit, false, passive, offset, size)
               ? 1
               : 0;
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

bool CFtp::Delete(const std::string& path) { return DeleteTree(path, 0); }

bool CFtp::IsSafeEntryName(const std::string& name) {
    if (name.empty() || name.front() == ' ' || name.back() == ' ') return false;
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || b < 0x20 || b == 0x7F) return false;
    }
    return true;
}

bool CFtp::DeleteTree(const std::string& path, int depth) {
    std::string full, dir, name;
    if (!SplitPath(path, full, dir, name)) return false;
    const auto endsWith = [&full](const char* tail) {
        const std::string t(tail);
        return full.size() >= t.size() && full.compare(full.size() - t.size(), t.size(), t) == 0;
    };
    if (full.size() < 2 || endsWith("/.") || endsWith("/..")) return false;
    if (depth >= kMaxDeleteDepth) return false;
    if (!Cwd(full)) return Cwd(dir) && Dele(name);

    if (!List(full) || !DeleteEntries(full, depth)) return false;
    if (!Cdup()) return false;
    if (Rmd(full)) return true;
    // Not empty: the listing may have hidden dot files (ProFTPD, vsftpd).
    // List again with them ("LIST -a" from inside the directory, which
    // servers without the option never see) and delete what is left.
    if (!Cwd(full) || !ReadListing("-a", "LIST", ftp_label::kList, true) ||
        !DeleteEntries(full, depth) || !Cdup())
        return false;
    return Rmd(full);
}

bool CFtp::DeleteEntries(const std::string& full, int depth) {
    // Taken, not copied: the deletes below list their own directories.
    const std::vector<std::string> listing = std::move(m_arrListing);
    const bool mlsd = m_bListingIsMlsd;
    m_arrListing.clear();
    for (const std::string& line : listing) {
        CFtpFile entry;
        if (!(mlsd ? Parse_mlsd(line.c_str(), &entry) : Parse_ls(line.c_str(), &entry))) {
            entry.FreeStrings();
            continue;
        }
        const std::string entryName = entry.m_pszName;
        const bool link = entry.m_bLink;
        entry.FreeStrings();
        if (entryName == "." || entryName == "..") continue;
        // A name with a separator in it ("..\\..\\x" is a valid Unix file
        // name) would address a place outside this directory, and so would
        // ".. " on a server that trims its arguments: refuse the whole tree
        // rather than delete there.
        if (!IsSafeEntryName(entryName)) return false;
        const std::string child = text::JoinServerPath(full, entryName);
        // A link is removed itself; following it could reach outside the tree.
        if (!(link ? DeleteFileA(child) : DeleteTree(child, depth + 1))) return false;
    }
    return true;
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

std::int64_t CFtp::GetModifiedTimeUtc(const std::string& path) {
    if (!Feat() || !m_features.count("MDTM") || !UnlistedCommand("MDTM " + path) || m_nLastReply != 213 ||
        m_arrLastMessage.empty() || m_arrLastMessage.back().size() < 4)
        return -1;
    return ParseFactTime(std::string_view(m_arrLastMessage.back()).substr(4));
}

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
    return Saturated32OrZero(GetFileLength64(path));
}

std::uint64_t CFtp::GetFileLength64(const std::string& path) {
    // Sizes are asked in binary type: some servers refuse SIZE in ASCII
    // (ProFTPD: "550 SIZE not allowed in ASCII mode"), and the transfers
    // that use them are binary anyway.
    if (Type("I") && Size(path)) {
        const std::string& line = m_arrLastMessage.empty() ? std::string() : m_arrLastMessage[0];
        const int at = GetFirstNumericPos(line, 3);
        if (at < 0 || 3 + at >= static_cast<int>(line.size())) return 0;
        const int count = GetNumericCount(line, 3 + at);
        // 20 digits or more do not fit: unknown rather than a wrapped value.
        if (count > 19) return 0;
        return std::strtoull(line.substr(static_cast<std::size_t>(3 + at),
                                         static_cast<std::size_t>(count))
                                 .c_str(),
                             nullptr, 10);
    }
    if (!List(path) || m_arrListing.empty()) return 0;
    CFtpFile entry;
    const std::uint64_t size = ParseEntry(m_arrListing[0].c_str(), &entry) ? entry.m_nSize64 : 0;
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
