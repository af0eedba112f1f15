// A one-line progress bar with rate and time left, drawn on a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace velkor::tool {

class Progress {
public:
    // Draws on stderr when `enabled` (a terminal and not --quiet).
    Progress(std::string label, std::uint64_t total, std::uint64_t start, bool enabled);
    // Redraws at most ten times a second.
    void Update(std::uint64_t done);
    // The size once it is known (an HTTP reply names it as its body begins).
    void SetTotal(std::uint64_t total) { m_total = total; }
    // A new label for the next draw ("mirror 12/200").
    void SetLabel(std::string label) { m_label = std::move(label); }
    // Draws the final state and ends the line.
    void Finish(std::uint64_t done);

    // The bar text for a state (also used by the tests of the tool).
    static std::string Format(const std::string& label, std::uint64_t done, std::uint64_t total,
                              double bytesPerSecond, int width);

private:
    void Draw(std::uint64_t done);

    std::string m_label;
    std::uint64_t m_total;
    std::uint64_t m_start;
    bool m_enabled;
    std::chrono::steady_clock::time_point m_begin;
    std::chrono::steady_clock::time_point m_lastDraw;
};

// "1.5 MiB" style sizes.
std::string HumanBytes(double bytes);

}  // namespace velkor::tool
