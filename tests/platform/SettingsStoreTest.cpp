// The file-backed Internet settings: the default place, concurrent writers
// and a home that cannot be used (values, files and planted links are proxy
// transcripts).
#include "platform/SettingsStore.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <pwd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

namespace velkor {
namespace {

namespace fs = std::filesystem;

class Settings : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("velkor-settings-" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        m_file = m_dir / "sub" / "internet-settings";
        CSettingsStore::SetLocation(m_file.string());
    }
    void TearDown() override {
        CSettingsStore::SetLocation("");
        fs::remove_all(m_dir);
    }
    void WriteRaw(const std::string& text) {
        fs::create_directories(m_file.parent_path());
        std::ofstream(m_file, std::ios::binary) << text;
    }
    fs::path m_dir, m_file;
};

TEST_F(Settings, DefaultLocationFollowsXdgConfigHome) {
    CSettingsStore::SetLocation("");
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", "/some/where", 1);
    EXPECT_EQ(CSettingsStore::Location(), "/some/where/velkor/internet-settings");
    if (old) ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else ::unsetenv("XDG_CONFIG_HOME");
}

TEST_F(Settings, ConcurrentWritersNeverMix) {
    // Each writer stores two equal values; a reader must never see them differ.
    std::atomic<bool> stop{false};
    std::atomic<int> mixed{0}, reads{0};
    const auto writer = [&](const std::string& value) {
        for (int i = 0; i < 300; ++i) {
            CSettingsStore store;
            store.Open();
            store.SetText("a", value);
            store.SetText("b", value);
            store.Close();
        }
    };
    std::thread reader([&] {
        while (!stop) {
            CSettingsStore store;
            std::string a, b;
            if (store.Open() && store.QueryText("a", a) && store.QueryText("b", b)) {
                ++reads;
                if (a != b) ++mixed;
            }
        }
    });
    std::thread one(writer, std::string(150, '1')), two(writer, std::string(250, '2'));
    one.join();
    two.join();
    stop = true;
    reader.join();
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(mixed.load(), 0);
}

TEST_F(Settings, NoSharedFolderWithoutHomeAndAFileOfAnotherUserIsRefused) {
    CSettingsStore::SetLocation("");
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    const std::string xdg = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    ::unsetenv("HOME");
    ::unsetenv("XDG_CONFIG_HOME");
    const std::string location = CSettingsStore::Location();
    if (!home.empty()) ::setenv("HOME", home.c_str(), 1);
    if (!xdg.empty()) ::setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
    EXPECT_EQ(location, std::string(::getpwuid(::geteuid())->pw_dir) +
                            "/.config/velkor/internet-settings");

    CSettingsStore::SetLocation(m_file.string());
    WriteRaw("ProxyEnable=number:1\n");
    if (::geteuid() != 0) GTEST_SKIP() << "giving the file to another user needs root";
    ASSERT_EQ(::chown(m_file.c_str(), 65534, 65534), 0);
    CSettingsStore store;
    EXPECT_FALSE(store.Open());
    store.SetNumber("ProxyEnable", 0);
    EXPECT_FALSE(store.Close());
    ASSERT_EQ(::chown(m_file.c_str(), 0, 0), 0);
    ASSERT_EQ(::chown(m_file.parent_path().c_str(), 65534, 65534), 0);  // the folder, too
    EXPECT_FALSE(store.Open());
}

}  // namespace
}  // namespace velkor
