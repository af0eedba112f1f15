// The velkor tool against scripted peers and real servers: every
// transcript in transcripts/tool. "> velkor ARGS..." runs the built tool (no
// shell; the arguments as the transcript splits them) and returns its exit
// code. Observed: stdout, stderr (what it printed), stdout-has TEXT and
// stderr-has TEXT (1 when the text is in it), file-prefix PATH N (its first
// N bytes), leftovers DIR (partial ".velkor-" files left there), same-mtime
// A B (1 when two files have the same time to the second), dir PATH (1 when
// it is a folder), resumed-total REL (bytes moved plus the resume offset on
// the "get REL:" line; "none" when it was not resumed). The tool runs with HOME in the case's folder; "> env NAME
// VALUE" sets a variable for the calls after it, "> chmod PATH OCTAL" a
// file's mode. "> velkor-tty INPUT ARGS..." runs it on a pseudo-terminal and
// types INPUT (or ^C) at its password prompt: "? tty-has TEXT" looks in what
// the terminal showed, "? cmdline-has TEXT" in its /proc cmdline when it
// first spoke. "> velkor-interrupt PREFIX BYTES PRESSES ARGS..." runs it and
// presses Ctrl-C PRESSES times once a file whose path starts with PREFIX
// holds BYTES (PREFIX "-": after BYTES milliseconds). "> bash SCRIPT" runs a shell script (VELKOR, SOURCE and BUILD
// name the tool and the two trees) and is observed as the tool is.
//
// Real servers and their lines: TranscriptServers.h.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <thread>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "Transcript.h"

namespace velkor::test {
namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class ToolClient : public TranscriptClient {
public:
    explicit ToolClient(const Vars& vars) : m_tmp(vars.at("tmp")) {}

    std::string Call(const std::string& name, const Words& a) override {
        if (name == "chmod") {
            std::filesystem::permissions(a.at(0), static_cast<std::filesystem::perms>(std::stoul(a.at(1), nullptr, 8)));
            return {};
        }
        if (name == "env") {
            m_env[a.at(0)] = a.at(1);
            return {};
        }
        if (name == "velkor-tty") return RunOnTerminal(a.at(0), Words(a.begin() + 1, a.end()));
        if (name != "velkor" && name != "bash" && name != "velkor-interrupt")
            throw std::invalid_argument("no call " + name);
        // bash SCRIPT: a shell with VELKOR naming the tool and its folders
        // (the built man page, the completion script) as BUILD and SOURCE.
        const bool shell = name == "bash", interrupt = name == "velkor-interrupt";
        std::vector<std::string> args, env;
        std::vector<char*> argv = shell       ? Argv({"-c", a.at(0)}, args, "/bin/bash")
                                  : interrupt ? Argv(Words(a.begin() + 3, a.end()), args)
                                              : Argv(a, args);
        std::vector<char*> envp =
            shell ? Envp(env, {{"VELKOR", VELKOR_TOOL}, {"SOURCE", VELKOR_SOURCE_DIR}, {"BUILD", VELKOR_BINARY_DIR}})
                  : Envp(env);
        const std::string out = m_tmp + "/.stdout", err = m_tmp + "/.stderr";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = -1;
        const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) throw std::runtime_error("cannot start the tool");
        if (interrupt) Interrupt(pid, a.at(0), std::stoull(a.at(1)), std::stoi(a.at(2)));
        int status = 0;
        ::waitpid(pid, &status, 0);
        m_stdout = Slurp(out);
        m_stderr = Slurp(err);
        ::unlink(out.c_str());
        ::unlink(err.c_str());
        return WIFEXITED(status) ? Str(WEXITSTATUS(status)) : "signal";
    }

    std::string Observe(const std::string& name, const Words& a) override {
        if (name == "dir") return Str(std::filesystem::is_directory(a.at(0)));
        if (name == "same-mtime") {
            struct stat one {}, two {};
            return Str(::stat(a.at(0).c_str(), &one) == 0 && ::stat(a.at(1).c_str(), &two) == 0 &&
                       one.st_mtime == two.st_mtime);
        }
        if (name == "tty-has") return Str(m_tty.find(a.at(0)) != std::string::npos);
        if (name == "cmdline-has") return Str(m_cmdline.find(a.at(0)) != std::string::npos);
        if (name == "stdout") return m_stdout;
        if (name == "stderr") return m_stderr;
        if (name == "stdout-has") return Str(m_stdout.find(a.at(0)) != std::string::npos);
        if (name == "stderr-has") return Str(m_stderr.find(a.at(0)) != std::string::npos);
        if (name == "resumed-total") {  // "get REL: A bytes (resumed at B)": A + B, the file's whole size
            const std::string head = "get " + a.at(0) + ": ";
            const std::size_t at = m_stdout.find(head);
            unsigned long long moved = 0, from = 0;
            if (at == std::string::npos ||
                std::sscanf(m_stdout.c_str() + at + head.size(), "%llu bytes (resumed at %llu)", &moved, &from) != 2)
                return "none";
            return Str(moved + from);
        }
        if (name == "file-prefix") return Slurp(a.at(0)).substr(0, std::stoul(a.at(1)));
        if (name == "leftovers") {  // partial files the tool left in a folder
            int count = 0;
            for (const auto& entry : std::filesystem::directory_iterator(a.at(0)))
                count += entry.path().filename().string().find(".velkor-") != std::string::npos;
            return Str(count);
        }
        throw std::invalid_argument("no observation " + name);
    }

private:
    // Waits (at most 20 s) until a file whose path starts with `prefix`
    // holds `bytes` (prefix "-": for `bytes` milliseconds), then sends
    // SIGINT `presses` times, 100 ms apart.
    static void Interrupt(pid_t pid, const std::string& prefix, std::uintmax_t bytes, int presses) {
        if (prefix == "-") std::this_thread::sleep_for(std::chrono::milliseconds(bytes));
        const std::filesystem::path dir = std::filesystem::path(prefix).parent_path();
        const auto reached = [&] {
            std::error_code ec;
            for (const auto& e : std::filesystem::directory_iterator(dir, ec))
                if (e.path().string().rfind(prefix, 0) == 0 && std::filesystem::file_size(e.path(), ec) >= bytes)
                    return true;
            return false;
        };
        for (int i = 0; prefix != "-" && i < 1000 && !reached(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        for (int i = 0; i < presses; ++i) {
            ::kill(pid, SIGINT);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }

    // The tool's argument vector (pointing into `args`).
    static std::vector<char*> Argv(const Words& a, std::vector<std::string>& args,
                                   const char* program = VELKOR_TOOL) {
        args = {program};
        args.insert(args.end(), a.begin(), a.end());
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        return argv;
    }

    // The test's environment with HOME in the case's folder (no netrc of
    // the machine's user), `vars` and the "> env" settings.
    std::vector<char*> Envp(std::vector<std::string>& env, std::map<std::string, std::string> vars = {}) const {
        vars["HOME"] = m_tmp;
        for (const auto& [key, value] : m_env) vars[key] = value;
        for (char** e = environ; *e; ++e) {
            const std::string entry(*e);
            if (!vars.count(entry.substr(0, entry.find('=')))) env.push_back(entry);
        }
        for (const auto& [key, value] : vars) env.push_back(key + "=" + value);
        std::vector<char*> envp;
        for (std::string& entry : env) envp.push_back(entry.data());
        envp.push_back(nullptr);
        return envp;
    }

    // Runs the tool on a pseudo-terminal: answers its password prompt with
    // `input` ("^C" types Ctrl-C) and notes its /proc cmdline when it first
    // speaks (the prompt or a warning), by then with passwords hidden.
    std::string RunOnTerminal(const std::string& input, const Words& a) {
        std::vector<std::string> args, env;
        std::vector<char*> argv = Argv(a, args), envp = Envp(env);
        int master = -1;
        const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
        if (pid < 0) throw std::runtime_error("no pseudo-terminal");
        if (pid == 0) {
            ::execve(VELKOR_TOOL, argv.data(), envp.data());
            ::_exit(127);
        }
        m_tty.clear();
        m_cmdline.clear();
        bool answered = false;
        char buf[4096];
        for (int idle = 0; idle < 300;) {  // 30 s without output at most
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) {
                ++idle;
                continue;
            }
            const ssize_t got = ::read(master, buf, sizeof buf);
            if (got <= 0) break;  // EIO: the tool ended
            m_tty.append(buf, static_cast<std::size_t>(got));
            if (m_cmdline.empty() && (m_tty.find("Password for") != std::string::npos ||
                                      m_tty.find("warning") != std::string::npos)) {
                m_cmdline = Slurp("/proc/" + Str(pid) + "/cmdline");
                std::replace(m_cmdline.begin(), m_cmdline.end(), '\0', ' ');
            }
            if (!answered && m_tty.find("Password for") != std::string::npos) {
                const std::string typed = input == "^C" ? "\x03" : input + "\n";
                if (::write(master, typed.data(), typed.size()) < 0) break;
                answered = true;
            }
        }
        ::close(master);
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? Str(WEXITSTATUS(status)) : "signal";
    }

    std::string m_tmp, m_stdout, m_stderr, m_tty, m_cmdline;
    std::map<std::string, std::string> m_env;
};

const TranscriptFamily kTool{"tool", "221 Bye", [](const Vars& v) {
                                 return std::unique_ptr<TranscriptClient>(new ToolClient(v));
                             }};

VELKOR_TRANSCRIPT_SUITE(ToolTranscript, kTool);

}  // namespace
}  // namespace velkor::test
