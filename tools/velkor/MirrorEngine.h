// MirrorEngine: one folder tree copied between a server and a local folder,
// shared by `velkor ftp mirror` and velkor-browse's folder transfers.
//
// Both trees are listed first (the server's by MLSD where offered, else
// LIST; the local one without following symbolic links). A file is skipped
// when the target has it with the same size and, where the server gives
// exact times (MLSD, else MDTM), the same time to the second (upwards: a
// server copy not older than the local file); size alone otherwise. A file
// goes into NAME.velkor-part beside its place and is renamed when whole, so
// an interrupted run leaves the part, which the next run resumes.
// Downloaded files take the server's time. Deletion removes what the
// source no longer has, inside the target only (a symbolic link is never
// followed, only what the listing named is removed). Names that cannot be
// a single local path element ("..", "/", control characters) are refused
// and counted.
//
// The engine prints nothing: what its callers show goes through the
// callbacks. It speaks server paths to CFtp's own commands, also on a
// connection whose class takes other paths (CFtpSite's tree positions).
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "FtpListing.h"

namespace velkor::tool {

class MirrorEngine {
public:
    // How deep a tree is followed, and how many entries it may hold.
    static constexpr int kMaxDepth = 64;
    static constexpr std::size_t kMaxEntries = 1'000'000;
    // The most logons a mirror uses at once.
    static constexpr int kMaxParallel = 8;
    static constexpr const char* kPartSuffix = ".velkor-part";

    struct Entry {
        bool dir = false;
        std::uint64_t size = 0;
        std::int64_t mtime = -1;  // seconds since 1970 UTC; -1 unknown
    };
    // A tree by path relative to its root ("a/b.txt"); a folder sorts
    // before what it holds.
    struct Listing {
        std::map<std::string, Entry> tree;
        std::map<std::string, std::uint64_t> parts;  // unfinished files by their final path
        int refused = 0;
        bool exactTimes = true;  // every file had an exact time
        bool failed = false;
        std::string failedPath;  // the server folder that could not be listed
    };
    struct Task {
        std::string rel;
        std::uint64_t size = 0;
        std::uint64_t offset = 0;  // bytes of an unfinished part already there
        std::int64_t mtime = -1;
    };
    // What the target lacks or holds differently: the folders to make, the
    // files to move, the entries to delete (deepest first), the counts.
    struct Plan {
        std::vector<std::string> mkdirs;
        std::vector<Task> tasks;
        std::vector<std::pair<std::string, bool>> deletes;  // path, is a folder
        int skipped = 0, conflicts = 0;
        std::uint64_t bytes = 0;
    };
    // The counts of a run, shared by the transfer threads.
    struct Totals {
        std::atomic<std::uint64_t> bytes{0};  // moved so far, including the running transfers
        std::atomic<int> done{0}, failed{0};
    };

    // upwards: from the local folder to the server.
    MirrorEngine(bool upwards, std::string remoteRoot, std::filesystem::path localRoot, bool passive = true);

    // A name refused in a folder (relative path, "" for the root).
    std::function<void(const std::string& where, const std::string& name)> m_onRefused;
    // A trouble in words ("more than 1000000 entries", "cannot read ...").
    std::function<void(const std::string& text)> m_onTrouble;
    // A file done (whole or not), on the thread that moved it; calls are
    // never at the same time.
    std::function<void(const Task& task, bool whole, std::uint64_t moved, CFtp& ftp)> m_onFile;
    // Runs at every wait of a transfer on its thread, after the thread's
    // own wait hook: it may cancel the wait or set the connection's m_bAbort.
    std::function<void(CFtp& ftp)> m_onWait;
    // Polled before each file: true starts no more files.
    std::function<bool()> m_stopped;

    std::string Remote(const std::string& rel) const;
    std::filesystem::path Local(const std::string& rel) const;

    // The server's tree; with rootMayBeMissing a root that cannot be listed
    // is an empty tree.
    Listing ListRemote(ListingLink& link, bool rootMayBeMissing) const;
    Listing ListLocal() const;
    // What to do; the source is the local tree when upwards.
    Plan MakePlan(const Listing& remote, const Listing& local, bool removeExtra) const;
    // Makes the plan's folders on the target; the relative paths that failed.
    std::vector<std::string> MakeFolders(CFtp& ftp, const Plan& plan) const;
    // Moves the plan's files over the links (at most one thread each, the
    // first on the calling thread) until done or stopped.
    void Run(const std::vector<ListingLink*>& links, const Plan& plan, Totals& totals) const;
    // Deletes the plan's extra entries; the relative paths that failed.
    std::vector<std::string> DeleteExtra(CFtp& ftp, const Plan& plan) const;

    // A name the other side can take as one path element.
    static bool SafeName(const std::string& name);

private:
    bool Transfer(CFtp& ftp, const Task& t, std::uint64_t& moved) const;
    bool Add(Listing& out, const std::string& rel, const std::string& name, const Entry& e) const;
    void Refuse(Listing& out, const std::string& where, const std::string& name) const;

    bool m_bUpwards;
    bool m_bPassive;
    std::string m_remote;
    std::filesystem::path m_local;
    mutable std::mutex m_report;
};

}  // namespace velkor::tool
