// The velkor tool against scripted peers: every transcript in
// transcripts/tool. "> velkor ARGS..." runs the built tool (no shell; the
// arguments as the transcript splits them) and returns its exit code.
// Observed: stdout, stderr (what it printed), stdout-has TEXT and
// stderr-has TEXT (1 when the text is in it), file-prefix PATH N (its first
// N bytes), leftovers DIR (partial ".velkor-" files left there).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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
        if (name != "velkor") throw std::invalid_argument("no call " + name);
        std::vector<std::string> args{VELKOR_TOOL};
        args.insert(args.end(), a.begin(), a.end());
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        const std::string out = m_tmp + "/.stdout", err = m_tmp + "/.stderr";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = -1;
        const int spawned = posix_spawn(&pid, VELKOR_TOOL, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) throw std::runtime_error("cannot start the tool");
        int status = 0;
        ::waitpid(pid, &status, 0);
        m_stdout = Slurp(out);
        m_stderr = Slurp(err);
        ::unlink(out.c_str());
        ::unlink(err.c_str());
        return WIFEXITED(status) ? Str(WEXITSTATUS(status)) : "signal";
    }

    std::string Observe(const std::string& name, const Words& a) override {
        if (name == "stdout") return m_stdout;
        if (name == "stderr") return m_stderr;
        if (name == "stdout-has") return Str(m_stdout.find(a.at(0)) != std::string::npos);
        if (name == "stderr-has") return Str(m_stderr.find(a.at(0)) != std::string::npos);
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
    std::string m_tmp, m_stdout, m_stderr;
};

const TranscriptFamily kTool{"tool", "221 Bye", [](const Vars& v) {
                                 return std::unique_ptr<TranscriptClient>(new ToolClient(v));
                             }};

VELKOR_TRANSCRIPT_SUITE(ToolTranscript, kTool);

}  // namespace
}  // namespace velkor::test
