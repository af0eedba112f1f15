#include "Progress.h"

#include <algorithm>
#include <cstdio>

namespace velkor::tool {

namespace {
constexpr int kBarWidth = 30;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
}  // namespace

std::string HumanBytes(double bytes) {
    static const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    int unit = 0;
    while (bytes >= 1024 && unit < 4) {
        bytes /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
    return text;
}

Progress::Progress(std::string label, std::uint64_t total, std::uint64_t start, bool enabled)
    : m_label(std::move(label)),
      m_total(total),
      m_start(start),
      m_enabled(enabled),
      m_begin(std::chrono::steady_clock::now()),
      m_lastDraw(m_begin - kRedrawInterval) {}

std::string Progress::Format(const std::string& label, std::uint64_t done, std::uint64_t total,
                             double bytesPerSecond, int width) {
    std::string line = label;
    char text[96];
    if (total > 0) {
        const double fraction = done >= total ? 1.0 : static_cast<double>(done) / total;
        const int filled = static_cast<int>(fraction * width);
        line += " [" + std::string(static_cast<std::size_t>(filled), '#') +
                std::string(static_cast<std::size_t>(width - filled), ' ') + "]";
        std::snprintf(text, sizeof text, " %3d%%", static_cast<int>(fraction * 100));
        line += text;
    }
    line += " " + HumanBytes(static_cast<double>(done));
    if (bytesPerSecond > 0) {
        line += "  " + HumanBytes(bytesPerSecond) + "/s";
        if (total > done) {
            const double eta = static_cast<double>(total - done) / bytesPerSecond;
            std::snprintf(text, sizeof text, "  ETA %d:%02d", static_cast<int>(eta) / 60,
                          static_cast<int>(eta) % 60);
            line += text;
        }
    }
    return line;
}

void Progress::Draw(std::uint64_t done) {
    // Before the transfer has set its counter to the resume offset, the
    // count may still be below it: show the offset, never a negative span.
    done = std::max(done, m_start);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_begin).count();
    const double rate = seconds > 0 ? static_cast<double>(done - m_start) / seconds : 0;
    std::fprintf(stderr, "\r%s\033[K", Format(m_label, done, m_total, rate, kBarWidth).c_str());
    std::fflush(stderr);
}

void Progress::Update(std::uint64_t done) {
    if (!m_enabled) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastDraw < kRedrawInterval) return;
    m_lastDraw = now;
    Draw(done);
}

void Progress::Finish(std::uint64_t done) {
    if (!m_enabled) return;
    Draw(done);
    std::fputc('\n', stderr);
}

}  // namespace velkor::tool
