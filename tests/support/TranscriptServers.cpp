#include "TranscriptServers.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <vector>

#include "RealServers.h"
#include "TestFiles.h"

namespace velkor::test {

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Two files of one size with the same bytes from `at` on, read in blocks.
bool SameFrom(const std::filesystem::path& a, const std::filesystem::path& b, std::streamoff at) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(a, ec);
    if (ec || size != std::filesystem::file_size(b, ec) || ec) return false;
    std::ifstream one(a, std::ios::binary), two(b, std::ios::binary);
    one.seekg(at);
    two.seekg(at);
    std::vector<char> x(1 << 20), y(1 << 20);
    while (one && two) {
        one.read(x.data(), static_cast<std::streamsize>(x.size()));
        two.read(y.data(), static_cast<std::streamsize>(y.size()));
        if (one.gcount() != two.gcount() || !std::equal(x.begin(), x.begin() + one.gcount(), y.begin()))
            return false;
    }
    return true;
}

// The same entries (folders and files, links not followed) with the same bytes.
bool SameTree(const std::filesystem::path& a, const std::filesystem::path& b) {
    namespace fs = std::filesystem;
    const auto entries = [](const fs::path& root) {
        std::map<std::string, bool> out;  // relative path, is a folder
        for (const auto& e : fs::recursive_directory_iterator(root))
            out[fs::relative(e.path(), root).generic_string()] = e.is_directory();
        return out;
    };
    const auto one = entries(a);
    if (one != entries(b)) return false;
    return std::all_of(one.begin(), one.end(),
                       [&](const auto& e) { return e.second || SameFrom(a / e.first, b / e.first, 0); });
}

}  // namespace

TranscriptServers::TranscriptServers() = default;
TranscriptServers::~TranscriptServers() = default;

template <class Kind>
Kind& TranscriptServers::Server(const std::string& name) {
    auto* server = dynamic_cast<Kind*>(m_servers.at(name).get());
    if (!server) throw std::invalid_argument(name + " is another kind of server");
    return *server;
}

std::optional<std::string> TranscriptServers::Call(const std::string& name, const Words& a, Vars& vars) {
    if (name == "server") {
        Start(a.at(0), a.at(1), a.size() > 2 ? a[2] : "", vars);
    } else if (name == "deliver") {
        Server<Pop3Server>(a.at(0)).Deliver(a.at(1), Slurp(a.at(2)));
    } else if (name == "save-stored") {
        WriteWholeFile(a.at(2), Server<SmtpServer>(a.at(0)).Stored(std::stoi(a.at(1))));
    } else if (name == "random-file") {
        std::filesystem::create_directories(std::filesystem::path(a.at(0)).parent_path());
        WriteWholeFile(a.at(0), RandomBytes(std::stoul(a.at(1)), static_cast<unsigned>(std::stoul(a.at(2)))));
    } else if (name == "sparse-file") {
        {
            std::ofstream(a.at(0), std::ios::binary | std::ios::trunc);
        }
        const std::uintmax_t size = std::stoull(a.at(1));
        std::filesystem::resize_file(a.at(0), size);
        std::fstream f(a.at(0), std::ios::binary | std::ios::in | std::ios::out);
        for (std::size_t i = 2; i < a.size(); ++i) {
            const std::uintmax_t at = std::stoull(a[i]);
            if (at + 4 > size) continue;
            f.seekp(static_cast<std::streamoff>(at));
            f << "M" << at % 997;
        }
    } else if (name == "file-tree") {
        // FOLDERS leaf folders in groups of ten, FILES files of BYTES random
        // bytes in each, under names with blanks and Chinese characters.
        const int folders = std::stoi(a.at(1)), files = std::stoi(a.at(2));
        const std::size_t bytes = std::stoul(a.at(3));
        unsigned seed = static_cast<unsigned>(std::stoul(a.at(4)));
        for (int f = 0; f < folders; ++f) {
            const std::filesystem::path dir = std::filesystem::path(a.at(0)) /
                                              ("组 " + std::to_string(f / 10)) /
                                              ("子夹 " + std::to_string(f));
            for (int i = 0; i < files; ++i)
                WriteWholeFile(dir / ("文件 " + std::to_string(i) + ".dat"),
                               RandomBytes(bytes, seed++));
        }
    } else if (name == "give") {
        Server<FtpServer>(a.at(0)).GiveToServer(a.at(1));
    } else {
        return std::nullopt;
    }
    return std::string();
}

std::optional<std::string> TranscriptServers::Observe(const std::string& name, const Words& a) {
    if (name == "stored" || name == "stored-has" || name == "envelope-has") {
        std::string envelope;
        const std::string mail = Server<SmtpServer>(a.at(0)).Stored(std::stoi(a.at(1)), &envelope);
        if (name == "stored") return mail;
        return Str((name == "stored-has" ? mail : envelope).find(a.at(2)) != std::string::npos);
    }
    if (name == "same") return Str(SameFrom(a.at(0), a.at(1), 0));
    if (name == "same-from") return Str(SameFrom(a.at(0), a.at(1), std::stoll(a.at(2))));
    if (name == "same-tree") return Str(SameTree(a.at(0), a.at(1)));
    return std::nullopt;
}

void TranscriptServers::Start(const std::string& name, const std::string& kind, const std::string& mode,
                              Vars& vars) {
    std::unique_ptr<PeerServer> server;
    std::string why, login, root;
    bool started = false;
    unsigned int tlsPort = 0;
    if (kind.rfind("ftp-", 0) == 0) {
        auto ftp = std::make_unique<FtpServer>(kind.substr(4));
        why = FtpServerUnavailable(ftp->Kind());
        if (why.empty() && mode == "ipv6") why = Ipv6LoopbackUnavailable();
        started = why.empty() && ftp->Start(mode);
        if (started && ftp->Kind() != "pyftpdlib") ftp->GiveToServer(ftp->Root());
        login = std::string(FtpServer::TestUser()) + ":" + FtpServer::TestPassword();
        root = ftp->Root().string();
        server = std::move(ftp);
    } else if (kind == "smtp") {
        auto smtp = std::make_unique<SmtpServer>();
        why = AiosmtpdUnavailable();
        started = why.empty() && smtp->Start(mode == "expired" ? "implicit" : mode, mode == "expired");
        login = "mailer:s3cret";
        root = smtp->Dir().string();
        server = std::move(smtp);
    } else if (kind == "pop3") {
        auto pop = std::make_unique<Pop3Server>();
        why = DovecotUnavailable();
        started = why.empty() && pop->Start(mode == "tls");
        login = std::string(Pop3Server::TestUser()) + ":" + Pop3Server::TestPassword();
        tlsPort = pop->TlsPort();
        server = std::move(pop);
    } else if (kind == "nginx") {
        auto nginx = std::make_unique<NginxServer>();
        why = NginxUnavailable();
        if (why.empty() && mode == "ipv6") why = Ipv6LoopbackUnavailable();
        started = why.empty() && nginx->Start(mode == "ipv6");
        login = "webuser:w3b-Pass";
        tlsPort = nginx->TlsPort();
        root = nginx->Root().string();
        server = std::move(nginx);
    } else if (kind == "dante") {
        auto dante = std::make_unique<DanteServer>();
        why = DanteUnavailable();
        // MODE: the methods, or "ipv6" (on ::1, with both methods).
        if (why.empty() && mode == "ipv6") why = Ipv6LoopbackUnavailable();
        started = why.empty() && dante->Start(mode.empty() || mode == "ipv6" ? "username none" : mode, mode == "ipv6");
        if (started && !dante->UserReady()) why = "the SOCKS test user needs root";
        login = std::string(DanteServer::TestUser()) + ":" + DanteServer::TestPassword();
        server = std::move(dante);
    } else if (kind == "ngircd") {
        auto irc = std::make_unique<NgircdServer>();
        why = NgircdUnavailable();
        started = why.empty() && irc->Start();
        server = std::move(irc);
    } else if (kind == "tinyproxy") {
        auto proxy = std::make_unique<TinyproxyServer>();
        why = TinyproxyUnavailable();
        started = why.empty() && proxy->Start();
        login = "proxyuser:pr0xy-Pass";
        server = std::move(proxy);
    } else {
        throw std::invalid_argument("no server kind " + kind);
    }
    if (!why.empty()) throw TranscriptSkipped(why);
    if (!started) throw std::runtime_error(kind + " did not start");
    vars[name + ".port"] = Str(server->Port());
    vars[name + ".tlsport"] = Str(tlsPort);
    vars[name + ".root"] = root;
    vars[name + ".ca"] = server->CaFile().string();
    vars[name + ".login"] = login;
    vars[name + ".user"] = login.substr(0, login.find(':'));
    vars[name + ".password"] = login.substr(login.find(':') + 1);
    m_servers[name] = std::move(server);
}

}  // namespace velkor::test
