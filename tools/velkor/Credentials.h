// Where the tool finds a password the command line leaves out, and how it
// keeps one given there out of sight.
//
// A password comes, in this order, from the address (or --user NAME:PASS),
// from the netrc file (~/.netrc, or --netrc-file FILE) entry of the host,
// from a prompt on the terminal (without echo; only when standard input is
// a terminal), and last from VELKOR_PASSWORD in the environment (weaker:
// other processes of the same user can read it). A netrc file that group or
// others may read is refused, as ftp(1) and curl refuse it.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <string_view>

namespace velkor::tool {

// The longest password read from the terminal or the environment, in bytes.
inline constexpr std::size_t kMaxPasswordBytes = 1024;
// The largest netrc file read, in bytes.
inline constexpr std::size_t kMaxNetrcBytes = 1 << 20;

// Adds --netrc-file to a network command.
void AddCredentialOptions(CLI::App* cmd);

// The netrc entry that applies to a host: its "machine" entry, or the
// "default" entry when `useDefault`; with a login given, only an entry with
// that login (or without one). macdef bodies are skipped.
struct NetrcEntry {
    bool found = false;
    std::string login, password;
    bool hasPassword = false;
};
NetrcEntry FindNetrcEntry(std::string_view text, std::string_view host, std::string_view login,
                          bool useDefault);

// What a command knows of its logon before the password is looked up.
struct Login {
    std::string user, password;
    bool hasUser = false, hasPassword = false;
};

// Fills in the user (from the netrc, when `login` has none) and the password
// for `host`. `alwaysLogsOn`: the protocol logs on whatever the address says
// (FTP, POP3), so the netrc's default entry applies; SMTP and HTTP log on
// only when a user is named or the host has its own entry. A user still
// without a password after the netrc is asked for one. 0, or the exit code
// after a message (prefixed `command`) on standard error.
int CompleteLogin(const char* command, const std::string& host, bool alwaysLogsOn, Login& login);

// Overwrites, in place, every password in the process's arguments (the
// password of scheme://user:password@ addresses and of --user NAME:PASS,
// --proxy-user, --fw-password, --socks-password, --password) with '*', so that ps and
// /proc show none. Call before the arguments are parsed, on a copy's
// behalf. True when one was found.
bool HidePasswordsInArguments(int argc, char** argv);

}  // namespace velkor::tool
