// velkor ftp mirror: a whole tree from the server to a local folder, or with
// --reverse from a local folder to the server, through MirrorEngine; this
// file holds the command's messages, logons and progress. --parallel N
// moves files over N logons.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "Commands.h"
#include "FtpSession.h"
#include "Interruptible.h"
#include "MirrorEngine.h"
#include "Progress.h"
#include "TerminalText.h"
#include "platform/WaitHook.h"

namespace velkor::tool {

namespace fs = std::filesystem;

int RunMirror(const FtpOptions& o) {
    const std::string& address = o.reverse ? o.second : o.url;
    const fs::path localRoot = o.reverse ? o.url : o.second;
    if (o.parallel < 1 || o.parallel > MirrorEngine::kMaxParallel) {
        std::fprintf(stderr, "velkor ftp mirror: --parallel takes 1 to %d\n", MirrorEngine::kMaxParallel);
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

    MirrorEngine mirror(o.reverse, remoteRoot, localRoot, !o.active);
    mirror.m_onRefused = [](const std::string& where, const std::string& name) {
        std::fprintf(stderr, "velkor ftp mirror: %s: the name \"%s\" is not taken (not one safe path element)\n",
                     where.empty() ? "." : where.c_str(), Printable(name).c_str());
    };
    mirror.m_onTrouble = [](const std::string& text) {
        std::fprintf(stderr, "velkor ftp mirror: %s\n", text.c_str());
    };
    // The server's folder is made when missing (a 550 says it is there).
    if (o.reverse && !o.dryRun) ftp.CreateDir(remoteRoot);
    // A folder it must be (a listing of a file's path lists the file).
    if (!(o.reverse && o.dryRun) && !ftp.SetCurrentDir(remoteRoot)) {
        const bool file = ftp.IsFileExisted(remoteRoot);
        std::fprintf(stderr, "velkor ftp mirror: %s %s\n", Printable(remoteRoot).c_str(),
                     file ? "is a file: mirror copies folders (get and put copy files)" : "is no folder on the server");
        return file ? kExitUsage : kExitNotFound;
    }
    const MirrorEngine::Listing remote = mirror.ListRemote(ftp, o.reverse && o.dryRun);
    if (remote.failed) {
        if (!remote.failedPath.empty()) Fail(("mirror: listing " + remote.failedPath).c_str(), ftp, kExitRefused);
        return RefusalCode(ftp);
    }
    if (!o.reverse && !fs::is_directory(localRoot, ec) && !o.dryRun && !fs::create_directories(localRoot, ec)) {
        std::fprintf(stderr, "velkor ftp mirror: cannot make %s: %s\n", localRoot.c_str(), ec.message().c_str());
        return kExitWrite;
    }
    const MirrorEngine::Listing local = mirror.ListLocal();
    if (local.failed) return o.reverse ? kExitInput : kExitTransfer;
    const MirrorEngine::Plan plan = mirror.MakePlan(remote, local, o.removeExtra);
    const int refused = remote.refused + local.refused;
    if (!o.reverse && !remote.exactTimes && !o.quiet)
        std::fprintf(stderr, "velkor ftp mirror: the server gives no exact times (no MLSD or MDTM): unchanged files "
                             "are told by their size alone\n");

    if (o.dryRun) {
        for (const std::string& rel : plan.mkdirs) std::printf("mkdir %s\n", Printable(rel).c_str());
        for (const MirrorEngine::Task& t : plan.tasks)
            std::printf("%s %s (%llu bytes%s)\n", o.reverse ? "put" : "get", Printable(t.rel).c_str(),
                        static_cast<unsigned long long>(t.size),
                        t.offset ? (", resumed at " + std::to_string(t.offset)).c_str() : "");
        for (const auto& [rel, dir] : plan.deletes)
            std::printf("delete %s%s\n", Printable(rel).c_str(), dir ? "/" : "");
        std::printf("mirror (dry run): %zu to move (%s), %d unchanged, %zu to delete, %d names refused\n",
                    plan.tasks.size(), HumanBytes(static_cast<double>(plan.bytes)).c_str(), plan.skipped,
                    plan.deletes.size(), refused);
        return kExitOk;
    }

    const std::vector<std::string> unmade = mirror.MakeFolders(ftp, plan);
    for (const std::string& rel : unmade)
        std::fprintf(stderr, "velkor ftp mirror: cannot make the folder %s\n", Printable(rel).c_str());

    // The other logons, at most one per file.
    const int logons = std::min<int>(o.parallel, std::max<int>(1, static_cast<int>(plan.tasks.size())));
    std::vector<std::unique_ptr<Session>> more;
    std::vector<ListingLink*> links{&ftp};
    for (int i = 1; i < logons && o.socks.empty(); ++i) {
        int code = kExitOk;
        if (auto s = Connect(o, url, code)) {
            links.push_back(&s->ftp);
            more.push_back(std::move(s));
        }
    }
    const bool perFileLines = !::isatty(STDERR_FILENO) && !o.quiet;
    mirror.m_stopped = [] { return Interrupted(); };
    // Ctrl-C cancels the waits of every transfer thread.
    mirror.m_onWait = [](CFtp&) {
        if (Interrupted()) CancelBlockingCall();
    };
    mirror.m_onFile = [&](const MirrorEngine::Task& t, bool ok, std::uint64_t moved, CFtp& link) {
        if (!ok && !Interrupted()) {
            std::fprintf(stderr, "velkor ftp mirror: %s %s failed: %s\n", o.reverse ? "put" : "get",
                         Printable(t.rel).c_str(), Printable(link.GetLastMessage()).c_str());
        } else if (ok && perFileLines) {
            std::printf("%s %s: %llu bytes%s\n", o.reverse ? "put" : "get", Printable(t.rel).c_str(),
                        static_cast<unsigned long long>(moved),
                        t.offset ? (" (resumed at " + std::to_string(t.offset) + ")").c_str() : "");
        }
    };
    MirrorEngine::Totals totals;
    Progress progress("mirror", plan.bytes, 0, !o.quiet && ::isatty(STDERR_FILENO));
    const auto started = std::chrono::steady_clock::now();
    const std::string all = std::to_string(plan.tasks.size());
    RunInterruptible(nullptr, [&] {
        std::thread runner([&] { mirror.Run(links, plan, totals); });
        // This thread draws the progress while the files move.
        while (totals.done + totals.failed < static_cast<int>(plan.tasks.size()) && !Interrupted()) {
            progress.SetLabel("mirror " + std::to_string(totals.done + totals.failed) + "/" + all);
            progress.Update(totals.bytes.load());
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        runner.join();
        return 0;
    });
    progress.SetLabel("mirror " + std::to_string(totals.done + totals.failed) + "/" + all);
    progress.Finish(totals.bytes.load());
    // Ctrl-C after the last file had come interrupted nothing.
    if (Interrupted() && totals.done < static_cast<int>(plan.tasks.size())) {
        std::fprintf(stderr, "velkor ftp mirror: interrupted after %d of %zu files; run it again to go on\n",
                     totals.done.load(), plan.tasks.size());
        return kExitInterrupted;
    }

    const std::vector<std::string> undeleted = mirror.DeleteExtra(ftp, plan);
    for (const std::string& rel : undeleted)
        std::fprintf(stderr, "velkor ftp mirror: cannot delete %s\n", Printable(rel).c_str());
    const int deleted = static_cast<int>(plan.deletes.size() - undeleted.size());
    const int failures = static_cast<int>(unmade.size() + undeleted.size()) + totals.failed;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("mirror: %d files moved (%s in %.1f s), %d unchanged, %d deleted, %d names refused%s\n",
                totals.done.load(), HumanBytes(static_cast<double>(totals.bytes.load())).c_str(), seconds,
                plan.skipped, deleted, refused,
                plan.conflicts ? (", " + std::to_string(plan.conflicts) + " file/folder conflicts left").c_str()
                               : "");
    return failures || plan.conflicts ? kExitTransfer : refused ? kExitRefused : kExitOk;
}

}  // namespace velkor::tool
