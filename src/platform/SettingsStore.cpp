#include "platform/SettingsStore.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/LocalFile.h"

namespace velkor {

namespace {

std::mutex g_locationMutex;
std::string g_location;

// "\n" and "\\" escaped, so every value stays on its line.
std::string Escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else out += c;
    }
    return out;
}

std::string Unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            const char n = s[++i];
            out += n == 'n' ? '\n' : n == 'r' ? '\r' : n;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool MakeDirs(const std::string& dir) {
    std::size_t pos = 0;
    while ((pos = dir.find('/', pos + 1)) != std::string::npos) ::mkdir(dir.substr(0, pos).c_str(), 0700);
    return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

}  // namespace

void CSettingsStore::SetLocation(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_locationMutex);
    g_location = path;
}

std::string CSettingsStore::Location() {
    {
        std::lock_guard<std::mutex> lock(g_locationMutex);
        if (!g_location.empty()) return g_location;
    }
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base = xdg && *xdg ? xdg : "";
    if (base.empty()) {
        // Never a shared folder: $HOME, else the user's home from the
        // password database, else no location at all.
        const char* home = std::getenv("HOME");
        std::string dir = home && *home ? home : "";
        if (dir.empty()) {
            if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_dir && *pw->pw_dir)
                dir = pw->pw_dir;
        }
        if (dir.empty()) return {};
        base = dir + "/.config";
    }
    return base + "/velkor/internet-settings";
}

bool CSettingsStore::Open() {
    m_values.clear();
    m_bChanged = false;
    const std::string path = Location();
    if (!UsablePath(path)) return false;
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return true;  // no file: a key without values
    if (static_cast<std::size_t>(st.st_size) > kMaxFileBytes) return true;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    // One value a line: name=number:123 or name=text:escaped text.
    for (std::string line; std::getline(in, line);) {
        const std::size_t eq = line.find('=');
        const std::size_t colon = eq == std::string::npos ? eq : line.find(':', eq);
        if (eq == std::string::npos || colon == std::string::npos || eq == 0) continue;
        const std::string name = Unescape(line.substr(0, eq));
        const std::string type = line.substr(eq + 1, colon - eq - 1);
        const std::string raw = line.substr(colon + 1);
        Value v;
        if (type == "number") {
            char* end = nullptr;
            const unsigned long long n = std::strtoull(raw.c_str(), &end, 10);
            if (raw.empty() || *end || n > 0xFFFFFFFFull) continue;
            v.number = true;
            v.n = static_cast<std::uint32_t>(n);
        } else if (type == "text") {
            v.text = Unescape(raw);
        } else {
            continue;
        }
        m_values[name] = v;
    }
    return true;
}

bool CSettingsStore::QueryNumber(const std::string& name, std::uint32_t& value) const {
    const auto it = m_values.find(name);
    if (it == m_values.end() || !it->second.number) return false;
    value = it->second.n;
    return true;
}

bool CSettingsStore::QueryText(const std::string& name, std::string& value) const {
    const auto it = m_values.find(name);
    if (it == m_values.end() || it->second.number) return false;
    if (it->second.text.size() + 1 > kReadLimit) return false;  // with its NUL
    value = it->second.text;
    return true;
}

void CSettingsStore::SetNumber(const std::string& name, std::uint32_t value) {
    Value v;
    v.number = true;
    v.n = value;
    m_values[name] = v;
    m_bChanged = true;
}

void CSettingsStore::SetText(const std::string& name, const std::string& value) {
    Value v;
    v.text = value;
    m_values[name] = v;
    m_bChanged = true;
}

bool CSettingsStore::UsablePath(const std::string& path) {
    if (path.empty()) return false;
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    return OwnedByUserOrMissing(dir) && OwnedByUserOrMissing(path);
}

bool CSettingsStore::Close() {
    if (!m_bChanged) return true;
    const std::string path = Location();
    if (path.empty()) return false;
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) MakeDirs(path.substr(0, slash));
    std::ostringstream text;
    for (const auto& [name, v] : m_values) {
        text << Escape(name) << '=' << (v.number ? "number:" + std::to_string(v.n)
                                                 : "text:" + Escape(v.text))
             << '\n';
    }
    if (!UsablePath(path) || !WriteFileAtomically(path, text.str(), 0600)) return false;
    m_bChanged = false;
    return true;
}

}  // namespace velkor
