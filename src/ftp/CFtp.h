// CFtp: the FTP client applications use.
//
// Whole-file operations on server paths (absolute, or relative to the login
// directory; '\' and '/' both separate): download and upload with resume, a
// byte limit and progress counters, deletion of whole trees, directories,
// renaming, existence and length tests, and the parser of directory-listing
// lines (EPLF, MS-DOS, NetWare and Unix styles).
//
// Transfers move 4096-byte blocks. While they run, the thread's wait hook
// keeps running (see WaitHook.h): a user interface reads m_nTransferred
// (offset plus bytes moved) and m_bTransferring, and stops a transfer by
// setting m_bAbort to 1 (ABOR is sent after the current block). The library
// never resets m_bAbort; set it back to 0 before the next transfer.
#pragma once

#include <cstdint>
#include <string>

#include "CFtpFile.h"
#include "CFtpLink.h"

namespace velkor {

class CFtp : public CFtpLink {
public:
    // Bytes per block moved between the data channel and the local file.
    static constexpr int kBlockSize = 4096;
    // Bytes a download receives at once before handing them on in blocks.
    static constexpr int kReadAheadBytes = 64 * 1024;
    // How deep Delete descends into a directory tree.
    static constexpr int kMaxDeleteDepth = 64;

    // Download failure codes (from the last reply code).
    static constexpr std::uint32_t kDownloadNotLoggedIn = 30;   // 530
    static constexpr std::uint32_t kDownloadUnavailable = 10;   // 550
    static constexpr std::uint32_t kDownloadBusy = 12;          // 450
    static constexpr std::uint32_t kDownloadOtherFailure = 4294967295u;

    CFtp() = default;
    // Logs out.
    ~CFtp() override;

    // Downloads remote into local. transferred: the caller's running counter,
    // increased by every block; limit: stop after this many bytes (0: none;
    // compared with transferred after whole blocks); offset: resume position
    // in both files; size: total length when known (0: unknown). The local
    // file is never truncated. 0 on success; on failure 30 (530), 10 (550),
    // 12 (450), 0 (a 2xx reply) or 4294967295.
    // With a known size, a download never writes past it: the block that
    // crosses it is cut, and data beyond it (a server that accepted REST but
    // sent from the start) fails with 4294967295 whatever the server's reply.
    // The counters never wrap: past 4 GiB they stay at 4294967295 (use the
    // 64-bit forms for such files).
    virtual std::uint32_t Download(const std::string& remote, const std::string& local,
                                   std::uint32_t& transferred, std::uint32_t limit,
                                   std::uint32_t offset, std::uint32_t size, bool passive);
    // Uploads local to remote; 1 on success, 0 on failure.
    virtual std::uint32_t Upload(const std::string& local, const std::string& remote,
                                 std::uint32_t& transferred, std::uint32_t limit,
                                 std::uint32_t offset, std::uint32_t size, bool passive);
    // The same with 64-bit counter, limit, offset and size, for files of
    // 4 GiB and more; m_nTransferred64 follows them while they run.
    std::uint32_t Download64(const std::string& remote, const std::string& local,
                             std::uint64_t& transferred, std::uint64_t limit,
                             std::uint64_t offset, std::uint64_t size, bool passive);
    std::uint32_t Upload64(const std::string& local, const std::string& remote,
                           std::uint64_t& transferred, std::uint64_t limit,
                           std::uint64_t offset, std::uint64_t size, bool passive);
    virtual bool DeleteFileA(const std::string& path);
    virtual bool CreateDir(const std::string& path);
    virtual bool RemoveDir(const std::string& path);
    // Deletes a file, or a directory with everything below it (symbolic
    // links are deleted, never followed). Stops with false, deleting
    // nothing more, at an entry whose name could address a place outside
    // the tree (see IsSafeEntryName) and below kMaxDeleteDepth. When the
    // directory is still not empty after its listing (servers whose LIST
    // hides dot files), it is listed once more with "LIST -a" from inside
    // and the rest is deleted the same way.
    virtual bool Delete(const std::string& path);
    // Renames within one directory; false without any command otherwise.
    virtual bool Rename(const std::string& from, const std::string& to);
    bool MoveFileA(const std::string& from, const std::string& to);

    bool IsFileExisted(const std::string& path);
    // Beyond the older client: true when the last transfer's completion
    // reply was a 2xx and, where its size was known (not 0), the count
    // (from the offset on) reached it. A transfer's result alone says only
    // that nothing failed on the way; this is the rule for taking a file as
    // whole.
    bool LastTransferWhole(std::uint64_t size) const {
        return m_nLastReply / 100 == 2 && (size == 0 || m_nTransferred64 == size);
    }
    // The length in bytes (SIZE in binary type, else the LIST line); 0 when
    // unknown, and also when it does not fit in 32 bits (never a wrapped
    // value).
    std::uint32_t GetFileLength(const std::string& path);
    // The same in 64 bits; 0 when unknown.
    std::uint64_t GetFileLength64(const std::string& path);
    // The current directory relative to the login directory. Always true.
    bool GetCurrentDir(std::string& out);
    bool SetCurrentDir(const std::string& path);
    // Beyond the older client: a file's time by MDTM (RFC 3659), in seconds
    // since 1970 UTC; -1 when the server's FEAT does not offer MDTM or the
    // reply is not a real time.
    std::int64_t GetModifiedTimeUtc(const std::string& path);
    // "YYYYMMDDHHMMSS[.sss]" (MDTM's reply, MLSD's "modify") in UTC:
    // seconds since 1970, or -1 when it is not a real date and time.
    static std::int64_t ParseFactTime(std::string_view text);
    // The first line of the last consumed reply; empty when there is none.
    std::string GetLastMessage() const;
    bool KeepAlive();

    // Parses one listing line into file (whose strings are then the
    // caller's, see CFtpFile). True when the line was understood; the
    // parsers never read past the end of the line.
    static bool Parse_ls(const char* line, CFtpFile* file);
    // Beyond the older client: one MLSD line ("fact=value;...; name"), the
    // name taken exactly after the first blank. Facts without "=", unknown
    // facts, sizes past 64 bits and times that are not a real date are
    // ignored; past kMaxMlsdFacts facts the rest are. The entries "." and
    // ".." (type cdir and pdir) and lines without a fact with "=" or a name are not
    // understood (false). Fills m_tModifiedUtc (and m_tModified when it
    // fits) from "modify", m_nSize64 from "size" or "sizd", the permission
    // from "UNIX.mode", owner and group from "UNIX.ownername"/"UNIX.groupname"
    // or else "UNIX.owner"/"UNIX.group".
    static bool Parse_mlsd(const char* line, CFtpFile* file);
    static constexpr int kMaxMlsdFacts = 32;
    // A line of m_arrListing by the parser its listing needs.
    bool ParseEntry(const char* line, CFtpFile* file) const {
        return m_bListingIsMlsd ? Parse_mlsd(line, file) : Parse_ls(line, file);
    }

    // True when a transfer whose counter starts at transferred can meet
    // limit: the counter grows by whole blocks, and the limit stops a
    // transfer only when met exactly (0 never stops one).
    static bool LimitCanStop(std::uint64_t transferred, std::uint64_t limit);
    // A 64-bit count in 32 bits: 4294967295 (or 0 for a size: "unknown")
    // when it does not fit.
    static std::uint32_t Saturated32(std::uint64_t value);
    static std::uint32_t Saturated32OrZero(std::uint64_t value);

    class Source;
    class Sink;

private:
    enum class PumpEnd { kDone, kLocalFailed, kOverrun };
    // Moves the source to the sink in blocks until the source ends, size is
    // reached, the limit is met or m_bAbort asks for ABOR (sent after the
    // current block); the one place of the block, limit and abort rules.
    // transferred32, when given, mirrors transferred (saturated) block by
    // block; exactSize makes data past a known size an overrun.
    PumpEnd PumpBlocks(Source& source, Sink& sink, std::uint64_t& transferred,
                       std::uint32_t* transferred32, std::uint64_t limit, std::uint64_t offset,
                       std::uint64_t size, bool exactSize);
    std::uint32_t DownloadResult(bool transferred) const;
    // Sets m_nTransferred64 and its 32-bit form together.
    void SetTransferred(std::uint64_t count);
    bool DeleteTree(const std::string& path, int depth);
    // Deletes every entry of m_arrListing (a listing of full).
    bool DeleteEntries(const std::string& full, int depth);
    // False for a listed name that Delete must not act on: one holding '/',
    // '\' or a control byte, or with a leading or trailing blank (servers
    // that trim arguments would read ".. " as "..").
    static bool IsSafeEntryName(const std::string& name);
    bool TransferFile(const std::string& local, const std::string& remote,
                      std::uint64_t& transferred, std::uint32_t* transferred32,
                      std::uint64_t limit, bool download, bool passive, std::uint64_t offset,
                      std::uint64_t size);
    // The last download ended with data past its known size.
    bool m_bDataOverrun = false;
    // The last download's TLS data connection ended without close-notify
    // (a cut that the 226 reply would not show): the download fails.
    bool m_bDataCut = false;
    // Full path, directory and name of a path; false when one is empty.
    bool SplitPath(const std::string& path, std::string& full, std::string& dir,
                   std::string& name) const;
    void FinishTransfer(int command);

    static bool Parse_ls_eplf(char* line, CFtpFile* file);
    static bool Parse_ls_nt(char* line, CFtpFile* file);
    static bool Parse_ls_novell(char* line, CFtpFile* file);
    static bool Parse_ls_unix(char* line, int fieldCount, CFtpFile* file);
    static char* copy_token(char** out, char* p);
    static char* goto_next_token(char* p);
    static long parse_time(char** p);
};

}  // namespace velkor
