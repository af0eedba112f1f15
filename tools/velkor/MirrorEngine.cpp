#include "MirrorEngine.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/Text.h"
#include "platform/WaitHook.h"

namespace velkor::tool {

namespace fs = std::filesystem;

namespace {

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() > tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string Join(const std::string& dir, const std::string& name) { return dir.empty() ? name : dir + "/" + name; }

}  // namespace

std::vector<ListedEntry> ParsedEntries(const CFtp& ftp) {
    std::vector<ListedEntry> out;
    out.reserve(ftp.m_arrListing.size());
    for (const std::string& listed : ftp.m_arrListing) {
        ListedEntry e;
        e.line = listed;
        std::replace(e.line.begin(), e.line.end(), '\\', '/');
        CFtpFile f;
        if ((e.parsed = ftp.ParseEntry(e.line.c_str(), &f))) {
            e.name = f.m_pszName ? f.m_pszName : "";
            e.dir = f.m_bDirectory != 0;
            e.link = f.m_bLink != 0;
            e.size = f.m_nSize64;
            e.modified = f.m_tModified;
            e.modifiedUtc = f.m_tModifiedUtc;
        }
        f.FreeStrings();
        out.push_back(std::move(e));
    }
    return out;
}

MirrorEngine::MirrorEngine(bool upwards, std::string remoteRoot, fs::path localRoot, bool passive)
    : m_bUpwards(upwards), m_bPassive(passive), m_remote(std::move(remoteRoot)), m_local(std::move(localRoot)) {}

std::string MirrorEngine::Remote(const std::string& rel) const { return text::JoinServerPath(m_remote, rel); }

fs::path MirrorEngine::Local(const std::string& rel) const { return m_local / rel; }

bool MirrorEngine::SafeName(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
}

bool MirrorEngine::Add(Listing& out, const std::string& rel, const std::string& name, const Entry& e) const {
    if (out.tree.size() + out.parts.size() >= kMaxEntries) {
        if (m_onTrouble) m_onTrouble("more than " + std::to_string(kMaxEntries) + " entries");
        out.failed = true;
        return false;
    }
    if (!e.dir && EndsWith(name, kPartSuffix))
        out.parts[rel.substr(0, rel.size() - std::strlen(kPartSuffix))] = e.size;
    else
        out.tree[rel] = e;
    return true;
}

void MirrorEngine::Refuse(Listing& out, const std::string& where, const std::string& name) const {
    ++out.refused;
    if (m_onRefused) m_onRefused(where, name);
}

MirrorEngine::Listing MirrorEngine::ListRemote(ListingLink& link, bool rootMayBeMissing) const {
    Listing out;
    CFtp& ftp = link.Ftp();
    ftp.m_bUseMlsd = true;
    std::vector<std::pair<std::string, int>> todo{{"", 0}};
    while (!todo.empty() && !out.failed) {
        const auto [dir, depth] = todo.back();
        todo.pop_back();
        const std::string path = dir.empty() ? m_remote : Remote(dir);
        if (!link.ListDir(path)) {
            if (!(dir.empty() && rootMayBeMissing)) {
                out.failed = true;
                out.failedPath = path;
            }
            break;
        }
        for (const ListedEntry& listed : link.Entries()) {
            if (!listed.parsed) continue;
            const std::string& name = listed.name;
            if (name == "." || name == "..") continue;
            // A name holding '/' (or '\', which the library hands over as '/') is refused.
            if (!SafeName(name)) {
                Refuse(out, dir, name);
                continue;
            }
            if (listed.link) continue;  // where a link leads is not part of this tree
            Entry e{listed.dir, listed.size, listed.modifiedUtc};
            const std::string rel = Join(dir, name);
            // LIST times are guesses: MDTM where the server has it.
            if (!e.dir && e.mtime < 0) e.mtime = ftp.GetModifiedTimeUtc(Remote(rel));
            if (!e.dir && e.mtime < 0) out.exactTimes = false;
            if (!Add(out, rel, name, e)) break;
            if (e.dir && depth + 1 < kMaxDepth) todo.push_back({rel, depth + 1});
        }
    }
    return out;
}

MirrorEngine::Listing MirrorEngine::ListLocal() const {
    Listing out;
    std::error_code ec;
    if (!fs::is_directory(m_local, ec)) return out;
    fs::recursive_directory_iterator it(m_local, fs::directory_options::none, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::string rel = fs::relative(it->path(), m_local, ec).generic_string();
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
        if (it.depth() + 1 >= kMaxDepth) it.disable_recursion_pending();
        if (!Add(out, rel, name, e)) break;
    }
    if (ec) {
        if (m_onTrouble) m_onTrouble("cannot read " + m_local.string() + ": " + ec.message());
        out.failed = true;
    }
    return out;
}

MirrorEngine::Plan MirrorEngine::MakePlan(const Listing& remote, const Listing& local, bool removeExtra) const {
    const Listing& source = m_bUpwards ? local : remote;
    const Listing& target = m_bUpwards ? remote : local;
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
            // Upwards the server's copy is newer than the local file once
            // uploaded, and its time cannot be set.
            const bool sameTime = m_bUpwards ? (t.mtime < 0 || t.mtime >= e.mtime)
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

std::vector<std::string> MirrorEngine::MakeFolders(CFtp& ftp, const Plan& plan) const {
    std::vector<std::string> failed;
    std::error_code ec;
    for (const std::string& rel : plan.mkdirs) {
        const bool made = m_bUpwards ? ftp.CFtp::CreateDir(Remote(rel)) : fs::create_directory(Local(rel), ec);
        if (!made) failed.push_back(rel);
    }
    return failed;
}

bool MirrorEngine::Transfer(CFtp& ftp, const Task& t, std::uint64_t& moved) const {
    std::uint64_t transferred = 0;
    moved = 0;
    bool ok;
    if (!m_bUpwards) {
        const std::string part = Local(t.rel).string() + kPartSuffix;
        const std::uint32_t result =
            ftp.Download64(Remote(t.rel), part, transferred, 0, t.offset, t.size, m_bPassive);
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
            ftp.Upload64(Local(t.rel).string(), part, transferred, 0, t.offset, t.size, m_bPassive);
        moved = transferred;
        ok = result == 1 && ftp.LastTransferWhole(t.size);
        if (ok && !ftp.CFtp::Rename(part, Remote(t.rel))) {
            // Some servers do not rename onto an existing file.
            ok = ftp.CFtp::DeleteFileA(Remote(t.rel)) && ftp.CFtp::Rename(part, Remote(t.rel));
        }
    }
    return ok;
}

void MirrorEngine::Run(const std::vector<ListingLink*>& links, const Plan& plan, Totals& totals) const {
    std::atomic<std::size_t> next{0};
    auto work = [&](ListingLink* link) {
        CFtp& ftp = link->Ftp();
        for (std::size_t i; !(m_stopped && m_stopped()) && (i = next++) < plan.tasks.size();) {
            const Task& t = plan.tasks[i];
            // The library's counter starts at the offset; so does ours.
            ftp.m_nTransferred64 = t.offset;
            std::uint64_t moved = 0, counted = 0, last = t.offset;
            // The running count follows the library's counter.
            const ScopedWaitHook* self = nullptr;
            ScopedWaitHook hook([&] {
                const std::uint64_t now = ftp.m_nTransferred64;
                if (now > last) {
                    totals.bytes += now - last;
                    counted += now - last;
                }
                last = now;
                if (self && self->Previous()) self->Previous()();
                if (m_onWait) m_onWait(ftp);
            });
            self = &hook;
            const bool ok = Transfer(ftp, t, moved);
            if (moved > counted) totals.bytes += moved - counted;
            (ok ? totals.done : totals.failed)++;
            if (m_onFile) {
                std::lock_guard<std::mutex> lock(m_report);
                m_onFile(t, ok, moved, ftp);
            }
        }
    };
    std::vector<std::thread> threads;
    for (std::size_t i = 1; i < links.size(); ++i) threads.emplace_back(work, links[i]);
    if (!links.empty()) work(links[0]);
    for (std::thread& t : threads) t.join();
}

std::vector<std::string> MirrorEngine::DeleteExtra(CFtp& ftp, const Plan& plan) const {
    std::vector<std::string> failed;
    std::error_code ec;
    for (const auto& [rel, dir] : plan.deletes) {
        // remove() takes the entry itself, never what a link names.
        const bool ok = m_bUpwards ? (dir ? ftp.CFtp::RemoveDir(Remote(rel)) : ftp.CFtp::DeleteFileA(Remote(rel)))
                                   : fs::remove(Local(rel), ec);
        if (!ok) failed.push_back(rel);
    }
    return failed;
}

}  // namespace velkor::tool
