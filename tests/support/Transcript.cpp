#include "Transcript.h"

#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "ScriptedPeer.h"
#include "TranscriptServers.h"

namespace velkor::test {

namespace fs = std::filesystem;

namespace {

struct Line {
    int number;
    std::string tag;   // "S:", "S~", "C:", "C~", "D:", "D~", ">", "=", "?"
    std::string text;
};

using Segment = std::vector<Line>;

struct Parsed {
    std::vector<Segment> control{1}, data;
    std::vector<Line> client;
};

// A printable form of bytes for fault messages.
std::string Shown(const std::string& bytes) {
    std::string out = "\"";
    for (unsigned char ch : bytes.substr(0, 200)) {
        if (ch == '\r') out += "\\r";
        else if (ch == '\n') out += "\\n";
        else if (ch == '"' || ch == '\\') out += std::string("\\") + static_cast<char>(ch);
        else if (ch < 0x20 || ch >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", ch);
            out += hex;
        } else out += static_cast<char>(ch);
    }
    return out + (bytes.size() > 200 ? "\"... (" + std::to_string(bytes.size()) + " bytes)" : "\"");
}

Parsed Parse(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read " + path);
    Parsed p;
    std::string text;
    for (int number = 1; std::getline(in, text); ++number) {
        if (!text.empty() && text.back() == '\r') text.pop_back();
        const int first = number;
        // " \" at the end: the next line (without its leading blanks) goes on.
        for (std::string more; text.size() >= 2 && text.compare(text.size() - 2, 2, " \\") == 0 &&
                               std::getline(in, more);) {
            ++number;
            if (!more.empty() && more.back() == '\r') more.pop_back();
            text.resize(text.size() - 2);
            text += more.substr(std::min(more.size(), more.find_first_not_of(" \t")));
        }
        if (text.empty() || text[0] == '#') continue;
        Line line{first, "", ""};
        if (text[0] == '>' || text[0] == '=' || text[0] == '?') {
            line.tag = text.substr(0, 1);
            line.text = text.size() > 2 ? text.substr(2) : "";
            p.client.push_back(line);
            continue;
        }
        if (text.size() < 2 || std::string("SCD").find(text[0]) == std::string::npos ||
            (text[1] != ':' && text[1] != '~')) {
            throw std::runtime_error(path + ":" + std::to_string(number) + ": unknown line");
        }
        line.tag = text.substr(0, 2);
        line.text = text.size() > 3 ? text.substr(3) : "";
        std::vector<Segment>& side = text[0] == 'D' ? p.data : p.control;
        if (side.empty()) side.emplace_back();
        if (line.text == "<next>") side.emplace_back();
        else side.back().push_back(line);
    }
    return p;
}

class Faults {
public:
    void Add(int line, std::string what) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_faults.emplace_back(line, "line " + std::to_string(line) + ": " + std::move(what));
    }
    std::vector<std::string> Sorted() {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::stable_sort(m_faults.begin(), m_faults.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<std::string> out;
        for (auto& f : m_faults) out.push_back(f.second);
        return out;
    }

private:
    std::mutex m_mutex;
    std::vector<std::pair<int, std::string>> m_faults;
};

// What the peers read into named buffers with <recv NAME>.
struct Received {
    std::mutex mutex;
    std::map<std::string, std::string> buffers;
};

// Runs one connection's lines. The client's lines are read with the peer
// side's own tag ('C' for both peers: it is what the client sends).
// Active-mode FTP: connects to the loopback address a PORT line names and
// sends the bytes there. False when the line names no loopback address.
bool Dial(const std::string& portLine, const std::string& bytes) {
    unsigned h[4], p[2];
    if (std::sscanf(portLine.c_str(), "PORT %u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3], &p[0],
                    &p[1]) != 6 || h[0] != 127)
        return false;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(p[0] * 256 + p[1]));
    to.sin_addr.s_addr = htonl(h[0] << 24 | h[1] << 16 | h[2] << 8 | h[3]);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
                    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    ::close(fd);
    return ok;
}

void Serve(PeerConnection& c, const Segment& lines, const Vars& vars, bool lineProtocol,
           const std::string& goodbye, Faults& faults, Received& received) {
    std::string lastPort;  // the client's last PORT line, for <dial>
    for (const Line& l : lines) {
        const bool command = l.tag[1] == ':' && l.text.size() > 2 && l.text.front() == '<' &&
                             l.text.back() == '>';
        if (command && (l.tag[0] == 'S' || l.tag[0] == 'D')) {
            std::istringstream words(l.text.substr(1, l.text.size() - 2));
            std::string verb;
            words >> verb;
            if (verb == "sleep") {
                int ms = 0;
                words >> ms;
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            } else if (verb == "close") {
                return;
            } else if (verb == "reset") {
                c.Reset();
                return;
            } else if (verb == "drain") {
                c.ReadToEnd();
            } else if (verb == "request") {
                while (!c.ReadLine().empty()) {
                }
            } else if (verb == "recv") {
                std::string name;
                words >> name;
                std::string bytes = c.ReadToEnd();
                std::lock_guard<std::mutex> lock(received.mutex);
                received.buffers[name] = std::move(bytes);
            } else if (verb == "dial") {
                std::string rest;
                std::getline(words >> std::ws, rest);
                if (!Dial(lastPort, ExpandText(rest, vars)))
                    faults.Add(l.number, "cannot dial the address of " + Shown(lastPort));
            } else if (verb == "repeat") {
                int count = 0, ms = 0;
                std::string rest;
                words >> count >> ms;
                std::getline(words >> std::ws, rest);
                const std::string bytes = ExpandText(rest, vars);
                for (int i = 0; i < count && c.Write(bytes); ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            } else {
                faults.Add(l.number, "unknown peer command " + l.text);
                return;
            }
            continue;
        }
        const std::string text = ExpandText(l.text, vars);
        if (l.tag == "S:" || l.tag == "D:") {
            c.Write(text + "\r\n");
        } else if (l.tag == "S~" || l.tag == "D~") {
            c.Write(text);
        } else if (l.tag == "C:") {
            const std::string got = c.ReadLine();
            if (got.rfind("PORT ", 0) == 0) lastPort = got;
            const bool prefix = !text.empty() && text.back() == '*';
            const bool same = prefix ? got.compare(0, text.size() - 1, text, 0, text.size() - 1) == 0
                                     : got == text;
            if (!same) {
                faults.Add(l.number, "the client sent " + (got.empty() ? std::string("nothing")
                                                                        : Shown(got)) +
                                         ", expected " + Shown(text));
                return;
            }
        } else {  // C~
            const std::string got = c.Read(text.size());
            if (got != text) {
                faults.Add(l.number, "the client sent " + Shown(got) + ", expected " + Shown(text));
                return;
            }
        }
    }
    if (!lineProtocol) return;
    if (goodbye == "<close>") return;
    if (goodbye.empty()) {
        c.ReadToEnd();
        return;
    }
    // After the script: QUIT is answered, anything else is a fault.
    for (std::string line; !(line = c.ReadLine()).empty();) {
        if (line == "QUIT") {
            c.Write(goodbye + "\r\n");
            continue;
        }
        faults.Add(lines.empty() ? 0 : lines.back().number,
                   "unscripted line after the script: " + Shown(line));
        c.Write("500 Unscripted\r\n");
    }
}

// Serves the segments of one side, one per accepted connection.
class PeerSide {
public:
    PeerSide(const std::vector<Segment>& segments, bool control, const std::string& goodbye,
             std::shared_future<Vars> vars, Faults& faults, Received& received)
        : m_count(static_cast<int>(segments.size())),
          m_needed(static_cast<int>(
              segments.rend() - std::find_if(segments.rbegin(), segments.rend(),
                                             [](const Segment& s) { return !s.empty(); }))),
          m_peer(
              [&segments, control, goodbye, vars, &faults, &received,
               next = std::make_shared<std::size_t>(0)](PeerConnection& c) {
                  const Segment& lines = segments[(*next)++];
                  Serve(c, lines, vars.get(), control, goodbye, faults, received);
              },
              m_count) {}
    unsigned int Port() const { return m_peer.Port(); }
    int Accepted() const { return m_peer.Accepted(); }
    // The connections the script needs: up to its last one with lines.
    int Needed() const { return m_needed; }

private:
    int m_count;
    int m_needed;
    ScriptedPeer m_peer;
};

int Number(const std::string& text) {
    std::size_t used = 0;
    const long long v = std::stoll(text, &used);
    if (used != text.size()) throw std::invalid_argument("not a number: " + text);
    return static_cast<int>(v);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<none>";
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

std::string ExpandText(const std::string& text, const Vars& vars) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch == '\\' && i + 1 < text.size()) {
            const char e = text[++i];
            switch (e) {
                case 'r': out += '\r'; break;
                case 'n': out += '\n'; break;
                case 't': out += '\t'; break;
                case '0': out += '\0'; break;
                case 'x':
                    out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
                    i += 2;
                    break;
                default: out += e;  // \\ \{ \"
            }
            continue;
        }
        std::size_t close = std::string::npos;
        for (std::size_t k = i + 1, depth = 1; ch == '{' && k < text.size(); ++k) {
            if (text[k] == '\\') ++k;
            else if (text[k] == '{') ++depth;
            else if (text[k] == '}' && --depth == 0) {
                close = k;
                break;
            }
        }
        if (close == std::string::npos) {
            out += ch;
            continue;
        }
        const std::string inner = text.substr(i + 1, close - i - 1);
        const std::size_t star = inner.find('*');
        const auto found = vars.find(inner);
        if (found != vars.end()) {
            out += found->second;
        } else if (star != std::string::npos && star > 0 &&
                   inner.find_first_not_of("0123456789") == star) {
            const std::string piece = ExpandText(inner.substr(star + 1), vars);
            for (long n = std::stol(inner.substr(0, star)); n > 0; --n) out += piece;
        } else if (!inner.empty() && inner.back() == '#' &&
                   inner.find_first_not_of("0123456789:") == inner.size() - 1) {
            const std::size_t colon = inner.find(':');
            const std::size_t from = colon == std::string::npos ? 0 : std::stoul(inner);
            const std::size_t to = std::stoul(inner.substr(colon == std::string::npos ? 0 : colon + 1));
            for (std::size_t k = from; k < to; ++k) out += static_cast<char>(k * 7 + 3);
        } else {
            out += ch;
            continue;
        }
        i = close;
    }
    return out;
}

Words SplitWords(const std::string& text, const Vars& vars) {
    Words words;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        std::size_t end = i;
        if (text[i] == '"') {
            for (end = i + 1; end < text.size() && text[end] != '"'; ++end)
                if (text[end] == '\\') ++end;
            words.push_back(ExpandText(text.substr(i + 1, end - i - 1), vars));
            i = end + 1;
        } else {
            end = text.find(' ', i);
            if (end == std::string::npos) end = text.size();
            words.push_back(ExpandText(text.substr(i, end - i), vars));
            i = end;
        }
    }
    return words;
}

std::vector<std::string> TranscriptFiles(const std::string& folder) {
    std::vector<std::string> files;
    const fs::path dir = fs::path(VELKOR_SOURCE_DIR) / "tests" / "transcripts" / folder;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().extension() == ".txt") files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

std::string TranscriptName(const std::string& path) {
    std::string name = fs::path(path).stem().string();
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) out += (out.empty() ? "" : " | ") + line;
    return out;
}

std::vector<std::string> RunTranscript(const std::string& path, const TranscriptFamily& family) {
    Faults faults;
    Parsed script;
    try {
        script = Parse(path);
    } catch (const std::exception& e) {
        return {e.what()};
    }
    Received received;
    std::promise<Vars> varsPromise;
    std::shared_future<Vars> varsReady = varsPromise.get_future().share();
    auto control = std::make_unique<PeerSide>(script.control, true,
                                              family.closeAfterScript ? "<close>" : family.goodbye,
                                              varsReady,
                                              faults, received);
    std::unique_ptr<PeerSide> data;
    if (!script.data.empty())
        data = std::make_unique<PeerSide>(script.data, false, "", varsReady, faults, received);

    const fs::path tmp = fs::path(testing::TempDir()) /
                         ("velkor-tx-" + std::to_string(getpid()) + "-" + TranscriptName(path));
    fs::remove_all(tmp);
    fs::create_directories(tmp);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    Vars vars{{"port", std::to_string(control->Port())}, {"tmp", tmp.string()},
              {"closedport", std::to_string(FreeLoopbackPort())},
              {"year", std::to_string(local.tm_year + 1900)}};
    if (data) {
        const unsigned int p = data->Port();
        vars["dport"] = std::to_string(p);
        vars["pasv"] = "227 Entering Passive Mode (127,0,0,1," + std::to_string(p / 256) + "," +
                       std::to_string(p % 256) + ")";
    }
    varsPromise.set_value(vars);

    TranscriptServers servers;  // outlives the client, which may still use them
    std::unique_ptr<TranscriptClient> client = family.makeClient(vars);
    std::string result;
    long long elapsedMs = 0;
    std::vector<std::pair<int, Words>> peerChecks;
    std::string skipped;
    for (const Line& l : script.client) {
        try {
            if (l.tag == "=") {
                const std::string expected = ExpandText(l.text, vars);
                if (result != expected)
                    faults.Add(l.number, "the call returned " + Shown(result) + ", expected " +
                                             Shown(expected));
                continue;
            }
            Words words = SplitWords(l.text, vars);
            if (words.empty()) throw std::invalid_argument("empty line");
            const std::string name = words[0];
            if (l.tag == ">") {
                const Words args(words.begin() + 1, words.end());
                if (name == "sleep") {
                    std::this_thread::sleep_for(std::chrono::milliseconds(Number(args.at(0))));
                } else if (name == "write-file") {
                    std::filesystem::create_directories(std::filesystem::path(args.at(0)).parent_path());
                    std::ofstream(args.at(0), std::ios::binary) << args.at(1);
                } else if (name == "mkdir") {
                    std::filesystem::create_directories(args.at(0));
                } else if (name == "symlink") {
                    std::filesystem::create_symlink(args.at(0), args.at(1));
                } else if (auto own = servers.Call(name, args, vars)) {
                    result = *own;
                } else {
                    const auto start = std::chrono::steady_clock::now();
                    result = client->Call(name, args);
                    client->AddVars(vars);
                    elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now() - start)
                                    .count();
                }
                continue;
            }
            // "?": the last word is the expected value.
            if (words.size() < 2) throw std::invalid_argument("no expected value");
            const std::string expected = words.back();
            const Words args(words.begin() + 1, words.end() - 1);
            if (name == "peer") {
                peerChecks.emplace_back(l.number, words);
                continue;
            }
            std::string got;
            if (name == "file") got = ReadFile(args.at(0));
            else if (name == "file-size") got = fs::exists(args.at(0)) ? std::to_string(fs::file_size(args.at(0))) : "<none>";
            else if (name == "accepted") got = std::to_string(control->Accepted());
            else if (name == "elapsed-below" || name == "elapsed-at-least") {
                if ((elapsedMs < Number(expected)) != (name == "elapsed-below"))
                    faults.Add(l.number, "the call took " + std::to_string(elapsedMs) + " ms");
                continue;
            } else if (auto own = servers.Observe(name, args)) got = *own;
            else got = client->Observe(name, args);
            if (got != expected)
                faults.Add(l.number, name + " is " + Shown(got) + ", expected " + Shown(expected));
        } catch (const TranscriptSkipped& e) {
            skipped = e.what();
            break;
        } catch (const std::exception& e) {
            faults.Add(l.number, std::string("cannot run the line: ") + e.what());
        }
    }
    client.reset();  // closes its connections: the peers' reads end
    const int wanted = control->Needed(), dataWanted = data ? data->Needed() : 0;
    // A connection the client made may still wait in a peer's backlog (a
    // busy machine): give the peers a moment to take it before counting.
    for (int i = 0; i < 300 && (control->Accepted() < wanted || (data && data->Accepted() < dataWanted)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const int made = control->Accepted();
    const int dataMade = data ? data->Accepted() : 0;
    control.reset();
    data.reset();
    if (made < wanted)
        faults.Add(0, "the client made " + std::to_string(made) + " of the " +
                          std::to_string(wanted) + " control connections");
    if (dataMade < dataWanted)
        faults.Add(0, "the client made " + std::to_string(dataMade) + " of the " +
                          std::to_string(dataWanted) + " data connections");
    for (const auto& [number, words] : peerChecks) {
        const std::string got = words.size() == 3 ? received.buffers[words[1]] : "";
        if (words.size() != 3 || got != words[2])
            faults.Add(number, "the peer read " + Shown(got) + ", expected " + Shown(words.back()));
    }
    fs::remove_all(tmp);
    if (!skipped.empty()) return {"skipped: " + skipped};
    return faults.Sorted();
}

}  // namespace velkor::test
