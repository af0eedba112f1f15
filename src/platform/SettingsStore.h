// CSettingsStore: the per-user Internet settings, kept in a small file.
//
// Stands in for the registry key the proxy configuration is mirrored into:
// named values of two types, 32-bit numbers and texts, read with the same
// 260-byte limit (a longer value counts as missing). The file lives under
// $XDG_CONFIG_HOME/velkor/ (or ~/.config/velkor/, the home taken from the
// password database when $HOME is unset; never a shared folder) unless
// SetLocation names another. It is replaced atomically with mode 0600 (see
// WriteFileAtomically), so concurrent writers never mix and a link planted
// beside it is never followed. A missing or garbled file reads as a key
// without values; a file or folder owned by another user is refused.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace velkor {

class CSettingsStore {
public:
    // The read limit of one value, in bytes (texts include their final NUL).
    static constexpr std::size_t kReadLimit = 260;
    // How large a settings file may be; a larger one reads as empty.
    static constexpr std::size_t kMaxFileBytes = 64 * 1024;

    // The file used by every store of the process; empty restores the default.
    static void SetLocation(const std::string& path);
    static std::string Location();

    // Reads the file; false when a file exists but cannot be read, when
    // there is no location, or when the file or its folder belongs to
    // another user.
    bool Open();
    // False when the value is missing, of the other type or too long.
    bool QueryNumber(const std::string& name, std::uint32_t& value) const;
    bool QueryText(const std::string& name, std::string& value) const;
    void SetNumber(const std::string& name, std::uint32_t value);
    void SetText(const std::string& name, const std::string& value);
    // Writes the values back (mode 0600, through a temporary file); false
    // when the file cannot be written.
    bool Close();

private:
    struct Value {
        bool number = false;
        std::uint32_t n = 0;
        std::string text;
    };
    std::map<std::string, Value> m_values;
    bool m_bChanged = false;
    // A location this user may read and write: set, and neither the file
    // nor its folder owned by someone else.
    static bool UsablePath(const std::string& path);
};

}  // namespace velkor
