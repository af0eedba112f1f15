// Mail analysis and composition: every part of a set of mails analysed and
// decoded, one mail with a large attachment analysed and decoded, and that
// mail composed from its parts. The mails come from the folder named by
// VELKOR_MAIL_BENCH_DIR (bench/mail_peers.sh makes them: set/*.eml and
// big.eml). "--once set|big|extract|compose" runs one job once and prints
// the peak memory, for the comparison script; "extract" decodes every part
// of big.eml into a file of its own instead of into memory.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "mail/CMailMessage.h"
#include "platform/LocalFile.h"

using namespace velkor;

namespace {

std::string Folder() {
    const char* dir = std::getenv("VELKOR_MAIL_BENCH_DIR");
    return dir ? dir : "";
}

std::vector<std::string> LoadSet() {
    std::vector<std::string> texts;
    const std::filesystem::path dir = Folder() + "/set";
    if (!std::filesystem::is_directory(dir)) return texts;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::string text;
        if (ReadRegularFile(entry.path(), text, 1u << 30)) texts.push_back(std::move(text));
    }
    return texts;
}

// Analyses one mail and hands every part to `decode` (its decoded length
// back); the decoded byte count.
template <typename Decode>
std::uint64_t AnalyseEachPart(std::string& text, Decode decode) {
    CMailMessage msg;
    msg.m_strMailText.swap(text);
    msg.AnalyseMailMessage();
    std::uint64_t bytes = 0;
    CMailBody& body = msg.Body();
    for (int i = 0; i < body.GetPartCount(); ++i) bytes += decode(body, i);
    msg.m_strMailText.swap(text);
    return bytes;
}

// Every part decoded into memory.
std::uint64_t AnalyseAndDecode(std::string& text) {
    return AnalyseEachPart(text, [](CMailBody& body, int i) {
        unsigned char* content = nullptr;
        std::uint32_t length = 0;
        body.GetMIMEPart(i, content, length);
        delete[] content;
        return length;
    });
}

// Every part decoded block by block into its own file in `folder`.
std::uint64_t ExtractTo(std::string& text, const std::string& folder) {
    return AnalyseEachPart(text, [&folder](CMailBody& body, int i) {
        LocalFile file(::open((folder + "/part-" + std::to_string(i)).c_str(),
                              O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        std::uint32_t length = 0;
        body.WriteMIMEPart(i, [&file](const unsigned char* d, std::size_t n) {
            return file.WriteAll(reinterpret_cast<const char*>(d), n);
        }, length);
        return length;
    });
}

std::string ComposeBig(const std::string& attachment) {
    CMailMessage msg;
    msg.AddMailRoot();
    msg.AddMailFrom("Ann", "ann@example.org");
    msg.AddMailSendTo(CMailMessage::kTo, "Bob", "bob@example.org");
    msg.AddSubject("big", "utf-8");
    msg.AddMailText("Here is the file.\r\n", "text/plain", "utf-8");
    msg.AddAttachment("big.bin", "utf-8", reinterpret_cast<const unsigned char*>(attachment.data()),
                      static_cast<std::uint32_t>(attachment.size()));
    return msg.ComposeMailMessage();
}

std::string LoadBigAttachment() {
    std::string data;
    ReadRegularFile(Folder() + "/big.bin", data, 1u << 30);
    return data;
}

void BM_AnalyseAndDecodeSet(benchmark::State& state) {
    std::vector<std::string> texts = LoadSet();
    if (texts.empty()) return state.SkipWithError("set VELKOR_MAIL_BENCH_DIR (bench/mail_peers.sh)");
    std::uint64_t in = 0;
    for (const auto& t : texts) in += t.size();
    for (auto _ : state)
        for (auto& t : texts) benchmark::DoNotOptimize(AnalyseAndDecode(t));
    state.SetBytesProcessed(static_cast<std::int64_t>(in * state.iterations()));
}
BENCHMARK(BM_AnalyseAndDecodeSet)->Unit(benchmark::kMillisecond);

void BM_AnalyseAndDecodeBig(benchmark::State& state) {
    std::string text;
    if (!ReadRegularFile(Folder() + "/big.eml", text, 1u << 30))
        return state.SkipWithError("set VELKOR_MAIL_BENCH_DIR (bench/mail_peers.sh)");
    for (auto _ : state) benchmark::DoNotOptimize(AnalyseAndDecode(text));
    state.SetBytesProcessed(static_cast<std::int64_t>(text.size() * state.iterations()));
}
BENCHMARK(BM_AnalyseAndDecodeBig)->Unit(benchmark::kMillisecond);

void BM_ComposeBig(benchmark::State& state) {
    const std::string data = LoadBigAttachment();
    if (data.empty()) return state.SkipWithError("set VELKOR_MAIL_BENCH_DIR (bench/mail_peers.sh)");
    for (auto _ : state) benchmark::DoNotOptimize(ComposeBig(data).size());
    state.SetBytesProcessed(static_cast<std::int64_t>(data.size() * state.iterations()));
}
BENCHMARK(BM_ComposeBig)->Unit(benchmark::kMillisecond);

// One job once, timed, with the peak memory of the process.
int RunOnce(const std::string& job) {
    std::vector<std::string> texts;
    std::string data;
    if (job == "set") texts = LoadSet();
    else if (job == "big" || job == "extract") texts.resize(1), ReadRegularFile(Folder() + "/big.eml", texts[0], 1u << 30);
    else data = LoadBigAttachment();
    const auto start = std::chrono::steady_clock::now();
    std::uint64_t bytes = 0;
    if (job == "compose") bytes = ComposeBig(data).size();
    else if (job == "extract") {
        const std::string out = Folder() + "/out-velkor";
        std::filesystem::create_directories(out);
        bytes = ExtractTo(texts[0], out);
    } else for (auto& t : texts) bytes += AnalyseAndDecode(t);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("velkor %-8s %9.1f ms  %12llu bytes  peak %6ld MiB\n", job.c_str(), ms,
                static_cast<unsigned long long>(bytes), usage.ru_maxrss / 1024);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--once") == 0) return RunOnce(argv[2]);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
