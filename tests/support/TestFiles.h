// Small file and data helpers the tests share.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace velkor::test {

// n pseudo-random bytes, the same for the same seed.
inline std::string RandomBytes(std::size_t n, unsigned seed) {
    std::string s(n, '\0');
    std::mt19937 rng(seed);
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}

// A whole file's bytes ("" when it cannot be read).
inline std::string ReadWholeFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Replaces a file with the bytes.
// Makes the file's folders as needed.
inline void WriteWholeFile(const std::filesystem::path& p, const std::string& data) {
    std::error_code ec;
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path(), ec);
    std::ofstream(p, std::ios::binary | std::ios::trunc) << data;
}

}  // namespace velkor::test
