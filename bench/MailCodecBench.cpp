// Base64 and quoted-printable encode/decode throughput on 1 MiB and 64 MiB,
// with the page faults per encoding.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <random>
#include <string>
#include <vector>

#include "mail/CMailCommonFunction.h"

namespace {

using velkor::CMailCommonFunction;

const std::string& Data(std::size_t size) {
    static std::string cache;
    if (cache.size() != size) {
        cache.resize(size);
        std::mt19937 rng(7);
        for (auto& c : cache) c = static_cast<char>(rng());
    }
    return cache;
}

// Mail-like text for quoted-printable: mostly printable with some 8-bit bytes.
const std::string& Text(std::size_t size) {
    static std::string cache;
    if (cache.size() != size) {
        cache.resize(size);
        std::mt19937 rng(11);
        for (auto& c : cache) {
            const unsigned r = rng() % 100;
            c = r < 85 ? static_cast<char>('a' + r % 26) : r < 95 ? ' ' : static_cast<char>(0xB0 + r % 16);
        }
    }
    return cache;
}

// Page faults per iteration while the loop runs (a fresh output buffer's
// first touch is most of a large encoding's cost).
class FaultCounter {
public:
    FaultCounter() : m_start(Faults()) {}
    void Report(benchmark::State& state) const {
        state.counters["faults"] =
            benchmark::Counter(static_cast<double>(Faults() - m_start), benchmark::Counter::kAvgIterations);
    }

private:
    static long Faults() {
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        return usage.ru_minflt + usage.ru_majflt;
    }
    long m_start;
};

const unsigned char* Bytes(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

void BM_Base64Encode(benchmark::State& state) {
    const std::string& data = Data(static_cast<std::size_t>(state.range(0)));
    const std::uint32_t len = static_cast<std::uint32_t>(data.size());
    const int lineLength = 76;
    const FaultCounter faults;
    for (auto _ : state) benchmark::DoNotOptimize(CMailCommonFunction::EncodeTextBase64(Bytes(data), len, lineLength));
    faults.Report(state);
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_Base64Decode(benchmark::State& state) {
    const std::string& data = Data(static_cast<std::size_t>(state.range(0)));
    const std::uint32_t len = static_cast<std::uint32_t>(data.size());
    const int lineLength = 76;
    const std::string text = CMailCommonFunction::EncodeTextBase64(Bytes(data), len, lineLength);
    std::vector<unsigned char> out(data.size());
    for (auto _ : state) {
        std::uint32_t count = static_cast<std::uint32_t>(out.size());
        CMailCommonFunction::DecodeTextBase64(text, out.data(), count);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

void BM_QuotedPrintableEncode(benchmark::State& state) {
    const std::string& data = Text(static_cast<std::size_t>(state.range(0)));
    const std::uint32_t len = static_cast<std::uint32_t>(data.size());
    const int lineLength = 76;
    const FaultCounter faults;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            CMailCommonFunction::EncodeTextQuotedPrintable(Bytes(data), len, lineLength));
    faults.Report(state);
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_QuotedPrintableDecode(benchmark::State& state) {
    const std::string& data = Text(static_cast<std::size_t>(state.range(0)));
    const std::uint32_t len = static_cast<std::uint32_t>(data.size());
    const int lineLength = 76;
    const std::string text =
        CMailCommonFunction::EncodeTextQuotedPrintable(Bytes(data), len, lineLength);
    std::vector<unsigned char> out(text.size());
    for (auto _ : state) {
        std::uint32_t count = static_cast<std::uint32_t>(out.size());
        CMailCommonFunction::DecodeTextQuotedPrintable(text, out.data(), count);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

constexpr std::int64_t kMiB = 1 << 20;
BENCHMARK(BM_Base64Encode)->Arg(kMiB)->Arg(64 * kMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Base64Decode)->Arg(kMiB)->Arg(64 * kMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuotedPrintableEncode)->Arg(kMiB)->Arg(64 * kMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuotedPrintableDecode)->Arg(kMiB)->Arg(64 * kMiB)->Unit(benchmark::kMillisecond);

}  // namespace
