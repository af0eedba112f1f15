// velkor ftp mirror: a whole tree from the server to a local folder, or with
// --reverse from a local folder to the server.
//
// Both trees are listed first (the server's by MLSD where offered, else
// LIST; the local one without following symbolic links). A file is skipped
// when the target has it with the same size and, where the server gives
// exact times (MLSD, else MDTM), the same time to the second (reverse: a server copy
// not older than the local file); size alone otherwise, which is said. A
// file goes into NAME.velkor-part beside its place and is renamed when
// whole, so an interrupted run leaves the part, which the next run resumes.
// Downloaded files take the server's time. --delete removes what the source
// no longer has, inside the target only (a symbolic link is never followed,
// only what the listing named is removed). Names that cannot be a single
// local path element ("..", "/", control characters) are refused and
// counted. --parallel N moves files over N logons.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "Commands.h"
#include "FtpSession.h"
#include "Interruptible.h"
#include "Progress.h"
#include "TerminalText.h"
#include "platform/LocalFile.h"
#include "platform/WaitHook.h"

namespace velkor::tool {

namespace {

namespace fs = std::filesystem;

// How deep a tree is followed, and how many entries it may hold.
constexpr int kMaxMirrorDepth = 64;
constexpr std::size_t kMaxMirrorEntries = 1'000'000;
// The most logons a mirror uses at once.
constexpr int kMaxParallel = 8;
constexpr const char* kPartSuffix = ".velkor-part";

struct Entry {
    bool dir = false;
    std::uint64_t size = 0;
    std::int64_t mtime = -1;  // seconds since 1970 UTC; -1 unknown
};
// By path relative to the tree's root ("a/b.txt"); a folder sorts before
// what it holds.
using Tree = std::map<std::string, Entry>;

struct Listing {
    Tree tree;
    std::map<std::string, std::uint64_t> parts;  // unfinished files by their final path
    int refused = 0;
    bool exactTimes = true;  // every file had an exact time
    bool failed = false;
};

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() > tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string Join(const std::string& dir, const std::string& name) { return dir.empty() ? name : dir + "/" + name; }

// A name the other side can take as one path element.
bool SafeName(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
}

// Adds one named entry; parts go aside. False when the bound is reached.
bool Add(Listing& out, const std::string& rel, const std::string& name, const Entry& e) {
    if (out.tree.size() + out.parts.size() >= kMaxMirrorEntries) return false;
    if (!e.dir && EndsWith(name, kPartSuffix))
        out.parts[rel.substr(0, rel.size() - std::strlen(kPartSuffix))] = e.size;
    else
        out.tree[rel] = e;
    return true;
}

void Refuse(Listing& out, const std::string& where, const std::string& name) {
    ++out.refused;
    std::fprintf(stderr, "velkor ftp mirror: %s: the name \"%s\" is not taken (not one safe path element)\n",
                 where.empty() ? "." : where.c_str(), Printable(name).c_str());
}

// The server's tree under root; with rootMayBeMissing a root that cannot
// be listed is an empty tree.
Listing ListRemote(FtpSession& ftp, const std::string& root, bool rootMayBeMissing) {
    Listing out;
    ftp.m_bUseMlsd = true;
    std::vector<std::pair<std::string, int>> todo{{"", 0}};
    while (!todo.empty() && !out.failed) {
        const auto [dir, depth] = todo.back();
        todo.pop_back();
        const std::string path = dir.empty() ? root : text::JoinServerPath(root, dir);
        if (!ftp.ListDir(path)) {
            if (dir.empty() && rootMayBeMissing) break;
            Fail(("mirror: listing " + path).c_str(), ftp, kExitRefused);
            out.failed = true;
            break;
        }
        // A name holding '/' (or '\', which the library hands over as '/') is refused.
        for (const ListedEntry& listed : ftp.Entries()) {
            if (!listed.parsed) continue;
            const std::string& name = listed.name;
            Entry e{listed.dir, listed.size, listed.modifiedUtc};
            const bool link = listed.link;
            if (name == "." || name == "..") continue;
            if (!SafeName(name)) {
                Refuse(out, dir, name);
                continue;
            }
            if (link) continue;  // where a link leads is not part of this tree
            const std::string rel = Join(dir, name);
            // LIST times are guesses: MDTM where the server has it.
            if (!e.dir && e.mtime < 0) e.mtime = ftp.GetModifiedTimeUtc(text::JoinServerPath(root, rel));
            if (!e.dir && e.mtime < 0) out.exactTimes = false;
            if (!Add(out, rel, name, e)) {
                std::fprintf(stderr, "velkor ftp mirror: more than %zu entries\n", kMaxMirrorEntries);
                out.failed = true;
                break;
            }
            if (e.dir && depth + 1 < kMaxMirrorDepth) todo.push_back({rel, depth + 1});
        }
    }
    return out;
}

Listing ListLocal(const fs::path& root) {
    Listing out;
    std::error_code ec;
    fs::recursive_directory_iterator it(root, fs::directory_options::none, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::string rel = fs::relative(it->path(), root, ec).generic_string();
        const fs::file_status st = it->symlink_status(ec);
        if (fs::is_symlink(st)) {
            if (fs::is_directory(st)) it.disable_recursion_pending();
            continue;  // links are not followed, copied or removed
        }
        if (!SafeName(name)) {
            Refuse(out, fs::path(rel).parent_path().generic_string(), name);
            if (fs::is_directory(st)) it.disable_recursion_pending();
            continue;
        }
        Entry e;
        e.dir = fs::is_directory(st);
        if (!e.dir && !fs::is_regular_file(st)) continue;
        struct stat sb {};
        if (::lstat(it->path().c_str(), &sb) == 0) {
            e.size = static_cast<std::uint64_t>(sb.st_size);
            e.mtime = sb.st_mtime;
        }
        if (it.depth() + 1 >= kMaxMirrorDepth) it.disable_recursion_pending();
        if (!Add(out, rel, name, e)) {
            std::fprintf(stderr, "velkor ftp mirror: more than %zu entries\n", kMaxMirrorEntries);
            out.failed = true;
            break;
        }
    }
    if (ec) {
        std::fprintf(stderr, "velkor ftp mirror: cannot read %s: %s\n", root.c_str(), ec.message().c_str());
        out.failed = true;
    }
    return out;
}

struct Task {
    std::string rel;
    std::uint64_t size = 0;
    std::uint64_t offset = 0;  // bytes of an unfinished part already there
    std::int64_t mtime = -1;
};

// The counts of a run, shared by the transfer threads.
struct Totals {
    std::atomic<std::uint64_t> bytes{0};  // moved so far, including the running transfers
    std::atomic<int> done{0}, failed{0};
    std::mutex print;
};

class Mirror {
public:
    Mirror(const FtpOptions& o, const std::string& remoteRoot, fs::path localRoot)
        : m_o(o), m_remote(remoteRoot), m_local(std::move(localRoot)) {}

    std::string Remote(const std::string& rel) const { return text::JoinServerPath(m_remote, rel); }
    fs::path Local(const std::string& rel) const { return m_local / rel; }

    // Moves one file over `ftp`; true when it arrived whole.
    bool Transfer(FtpSession& ftp, const Task& t, std::uint64_t& moved) {
        std::uint64_t transferred = 0;
        moved = 0;
        bool ok;
        if (!m_o.reverse) {
            const std::string part = Local(t.rel).string() + kPartSuffix;
            const std::uint32_t result =
                ftp.Download64(Remote(t.rel), part, transferred, 0, t.offset, t.size, !m_o.active);
            moved = transferred;
            ok = result == 0 && ftp.LastTransferWhole(t.size);
            if (ok && std::rename(part.c_str(), Local(t.rel).c_str()) != 0) ok = false;
            if (ok && t.mtime >= 0) {
                const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(t.mtime), 0}};
                ::utimensat(AT_FDCWD, Local(t.rel).c_str(), times, 0);
            }
        } else {
            const std::string part = Remote(t.rel) + kPartSuffix;
            const std::uint32_t result =
                ftp.Upload64(Local(t.rel).string(), part, transferred, 0, t.offset, t.size, !m_o.active);
            moved = transferred;
            ok = result == 1 && ftp.LastTransferWhole(t.size);
            if (ok && !ftp.Rename(part, Remote(t.rel))) {
                // Some servers do not rename onto an existing file.
                ok = ftp.DeleteFileA(Remote(t.rel)) && ftp.Rename(part, Remote(t.rel));
            }
        }
        return ok;
    }

    // Runs the tasks over `sessions` (the first is the caller's).
    void RunTasks(std::vector<FtpSession*> sessions, const std::vector<Task>& tasks, Totals& totals) {
        std::atomic<std::size_t> next{0};
        const bool perFileLines = !::isatty(STDERR_FILENO) && !m_o.quiet;
        auto work = [&](FtpSession* ftp) {
            for (std::size_t i; !Interrupted() && (i = next++) < tasks.size();) {
                const Task& t = tasks[i];
                // The library's counter starts at the offset; so does ours.
                ftp->m_nTransferred64 = t.offset;
                std::uint64_t moved = 0, counted = 0, last = t.offset;
                // The running count follows the library's counter; Ctrl-C
                // cancels this thread's waits too.
                ScopedWaitHook hook([&] {
                    if (Interrupted()) CancelBlockingCall();
                    const std::uint64_t now = ftp->m_nTransferred64;
                    if (now > last) {
                        totals.bytes += now - last;
                        counted += now - last;
                    }
                    last = now;
                });
                const bool ok = Transfer(*ftp, t, moved);
                if (moved > counted) totals.bytes += moved - counted;
                (ok ? totals.done : totals.failed)++;
                std::lock_guard<std::mutex> lock(totals.print);
                if (!ok && !Interrupted()) {
                    std::fprintf(stderr, "velkor ftp mirror: %s %s failed: %s\n", m_o.reverse ? "put" : "get",
                                 Printable(t.rel).c_str(), Printable(ftp->GetLastMessage()).c_str());
                } else if (ok && perFileLines) {
                    std::printf("%s %s: %llu bytes%s\n", m_o.reverse ? "put" : "get", Printable(t.rel).c_str(),
                                static_cast<unsigned long long>(moved),
                                t.offset ? (" (resumed at " + std::to_string(t.offset) + ")").c_str() : "");
                }
            }
        };
        std::vector<std::thread> threads;
        for (std::size_t i = 1; i < sessions.size(); ++i) threads.emplace_back(work, sessions[i]);
        work(sessions[0]);
        for (std::thread& t : threads) t.join();
    }

private:
    const FtpOptions& m_o;
    std::string m_remote;
    fs::path m_local;
};

// What the target lacks or holds differently: the folders to make, the
// files to move, the entries to delete (deepest first), the skipped count.
struct Plan {
    std::vector<std::string> mkdirs;
    std::vector<Task> tasks;
    std::vector<std::pair<std::string, bool>> deletes;  // path, is a folder
    int skipped = 0, conflicts = 0;
    std::uint64_t bytes = 0;
};

Plan MakePlan(const Listing& source, const Listing& target, bool reverse, bool removeExtra) {
    Plan plan;
    for (const auto& [rel, e] : source.tree) {
        const auto there = target.tree.find(rel);
        if (e.dir) {
            if (there == target.tree.end()) plan.mkdirs.push_back(rel);
            else if (!there->second.dir) ++plan.conflicts;
            continue;
        }
        if (there != target.tree.end()) {
            const Entry& t = there->second;
            if (t.dir) {
                ++plan.conflicts;
                continue;
            }
            // Reverse: the server's copy is newer than the local file once
            // uploaded, and its time cannot be set.
            const bool sameTime = reverse ? (t.mtime < 0 || t.mtime >= e.mtime)
                                          : (e.mtime < 0 || t.mtime == e.mtime);
            if (t.size == e.size && sameTime) {
                ++plan.skipped;
                continue;
            }
        }
        Task task{rel, e.size, 0, e.mtime};
        if (const auto part = target.parts.find(rel); part != target.parts.end() && part->second < e.size)
            task.offset = part->second;
        plan.bytes += e.size - task.offset;
        plan.tasks.push_back(task);
    }
    if (removeExtra) {
        for (auto it = target.tree.rbegin(); it != target.tree.rend(); ++it) {
            if (!source.tree.count(it->first)) plan.deletes.push_back({it->first, it->second.dir});
        }
    }
    return plan;
}

}  // namespace

int RunMirror(const FtpOptions& o) {
    const std::string& address = o.reverse ? o.second : o.url;
    const fs::path localRoot = o.reverse ? o.url : o.second;
    if (o.parallel < 1 || o.parallel > kMaxParallel) {
        std::fprintf(stderr, "velkor ftp mirror: --parallel takes 1 to %d\n", kMaxParallel);
        return kExitUsage;
    }
    FtpUrl url;
    if (const int code = ResolveAddress(address, url)) return code;
    std::error_code ec;
    if (o.reverse && !fs::is_directory(localRoot, ec)) {
        std::fprintf(stderr, "velkor ftp mirror: %s is not a folder\n", localRoot.c_str());
        return kExitInput;
    }
    int exitCode = kExitOk;
    std::unique_ptr<Session> main = Connect(o, url, exitCode);
    if (!main) return exitCode;
    FtpSession& ftp = main->ftp;
    const std::string remoteRoot = ftp.ServerPath(url.path);

    Listing remote, local;
    // The server's folder is made when missing (a 550 says it is there).
    if (o.reverse && !o.dryRun) ftp.CreateDir(remoteRoot);
    // A folder it must be (a listing of a file's path lists the file).
    if (!(o.reverse && o.dryRun) && !ftp.SetCurrentDir(remoteRoot)) {
        const bool file = ftp.IsFileExisted(remoteRoot);
        std::fprintf(stderr, "velkor ftp mirror: %s %s\n", Printable(remoteRoot).c_str(),
                     file ? "is a file: mirror copies folders (get and put copy files)" : "is no folder on the server");
        return file ? kExitUsage : kExitNotFound;
    }
    remote = ListRemote(ftp, remoteRoot, o.reverse && o.dryRun);
    if (remote.failed) return RefusalCode(ftp);
    if (!o.reverse && !fs::is_directory(localRoot, ec) && !o.dryRun && !fs::create_directories(localRoot, ec)) {
        std::fprintf(stderr, "velkor ftp mirror: cannot make %s: %s\n", localRoot.c_str(), ec.message().c_str());
        return kExitWrite;
    }
    if (fs::is_directory(localRoot, ec)) local = ListLocal(localRoot);
    if (local.failed) return o.reverse ? kExitInput : kExitTransfer;
    const Listing& source = o.reverse ? local : remote;
    const Listing& target = o.reverse ? remote : local;
    Plan plan = MakePlan(source, target, o.reverse, o.removeExtra);
    if (!o.reverse && !source.exactTimes && !o.quiet)
        std::fprintf(stderr, "velkor ftp mirror: the server gives no exact times (no MLSD or MDTM): unchanged files "
                             "are told by their size alone\n");

    Mirror mirror(o, remoteRoot, localRoot);
    if (o.dryRun) {
        for (const std::string& rel : plan.mkdirs) std::printf("mkdir %s\n", Printable(rel).c_str());
        for (const Task& t : plan.tasks)
            std::printf("%s %s (%llu bytes%s)\n", o.reverse ? "put" : "get", Printable(t.rel).c_str(),
                        static_cast<unsigned long long>(t.size),
                        t.offset ? (", resumed at " + std::to_string(t.offset)).c_str() : "");
        for (const auto& [rel, dir] : plan.deletes)
            std::printf("delete %s%s\n", Printable(rel).c_str(), dir ? "/" : "");
        std::printf("mirror (dry run): %zu to move (%s), %d unchanged, %zu to delete, %d names refused\n",
                    plan.tasks.size(), HumanBytes(static_cast<double>(plan.bytes)).c_str(), plan.skipped,
                    plan.deletes.size(), source.refused + target.refused);
        return kExitOk;
    }

    int failures = 0;
    for (const std::string& rel : plan.mkdirs) {
        const bool made = o.reverse ? ftp.CreateDir(mirror.Remote(rel)) : fs::create_directory(mirror.Local(rel), ec);
        if (!made) {
            ++failures;
            std::fprintf(stderr, "velkor ftp mirror: cannot make the folder %s\n", Printable(rel).c_str());
        }
    }

    // The other logons, at most one per file.
    const int logons = std::min<int>(o.parallel, std::max<int>(1, static_cast<int>(plan.tasks.size())));
    std::vector<std::unique_ptr<Session>> more;
    std::vector<FtpSession*> sessions{&ftp};
    for (int i = 1; i < logons && o.socks.empty(); ++i) {
        int code = kExitOk;
        if (auto s = Connect(o, url, code)) {
            sessions.push_back(&s->ftp);
            more.push_back(std::move(s));
        }
    }
    Totals totals;
    Progress progress("mirror", plan.bytes, 0, !o.quiet && ::isatty(STDERR_FILENO));
    const auto started = std::chrono::steady_clock::now();
    RunInterruptible(nullptr, [&] {
        std::thread runner([&] { mirror.RunTasks(sessions, plan.tasks, totals); });
        // This thread draws the progress while the files move.
        const std::string all = std::to_string(plan.tasks.size());
        while (totals.done + totals.failed < static_cast<int>(plan.tasks.size()) && !Interrupted()) {
            progress.SetLabel("mirror " + std::to_string(totals.done + totals.failed) + "/" + all);
            progress.Update(totals.bytes.load());
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        runner.join();
        return 0;
    });
    progress.SetLabel("mirror " + std::to_string(totals.done + totals.failed) + "/" +
                      std::to_string(plan.tasks.size()));
    progress.Finish(totals.bytes.load());
    failures += totals.failed;
    // Ctrl-C after the last file had come interrupted nothing.
    if (Interrupted() && totals.done < static_cast<int>(plan.tasks.size())) {
        std::fprintf(stderr, "velkor ftp mirror: interrupted after %d of %zu files; run it again to go on\n",
                     totals.done.load(), plan.tasks.size());
        return kExitInterrupted;
    }

    int deleted = 0;
    for (const auto& [rel, dir] : plan.deletes) {
        bool ok;
        if (o.reverse) {
            ok = dir ? ftp.RemoveDir(mirror.Remote(rel)) : ftp.DeleteFileA(mirror.Remote(rel));
        } else {
            // remove() takes the entry itself, never what a link names.
            ok = fs::remove(mirror.Local(rel), ec);
        }
        if (ok) ++deleted;
        else {
            ++failures;
            std::fprintf(stderr, "velkor ftp mirror: cannot delete %s\n", Printable(rel).c_str());
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const int refused = source.refused + target.refused;
    std::printf("mirror: %d files moved (%s in %.1f s), %d unchanged, %d deleted, %d names refused%s\n",
                totals.done.load(), HumanBytes(static_cast<double>(totals.bytes.load())).c_str(), seconds,
                plan.skipped, deleted, refused,
                plan.conflicts ? (", " + std::to_string(plan.conflicts) + " file/folder conflicts left").c_str()
                               : "");
    return failures || plan.conflicts ? kExitTransfer : refused ? kExitRefused : kExitOk;
}

}  // namespace velkor::tool
