// The subcommands of the velkor tool. Each registers itself on the parser
// and returns the process exit code through `exitCode` when it runs.
#pragma once

#include <CLI/CLI.hpp>

namespace velkor::tool {

// Exit codes shared by the subcommands.
enum ExitCode : int {
    kExitOk = 0,
    kExitUsage = 2,
    kExitConnect = 3,   // the server or proxy could not be reached
    kExitProxy = 4,     // the proxy refused the handshake
    kExitTransfer = 5,  // sending or receiving failed
    kExitNotFound = 6,  // the server has no such file or directory
    kExitRefused = 7,   // the server refused the command
    kExitLogon = 8,     // the server refused the logon (user, password or account)
    kExitInput = 9,     // an input file cannot be read or is not what it should be
    kExitExists = 10,   // an output file exists (and replacing it was not asked for)
    kExitWrite = 11,    // an output file cannot be written
    kExitTimedOut = 12, // the server stopped answering
    kExitTls = 13,      // TLS not offered or refused, or the certificate not trusted
    kExitHttpStatus = 22,  // http with --fail: a reply status of 400 or more
    kExitInterrupted = 130,
};

// The table above for --help and the README, one for every command.
inline constexpr const char* kExitCodesHelp =
    "Exit codes (all commands):\n"
    "   0 done                              8 logon refused (user, password; HTTP 401/403/407)\n"
    "   2 usage: bad argument or address    9 an input file cannot be read or is damaged\n"
    "   3 the server or proxy unreachable  10 an output file exists (use --force)\n"
    "   4 the proxy refused the handshake  11 an output file cannot be written\n"
    "   5 sending or receiving failed      12 the server stopped answering\n"
    "   6 no such file or folder (404)     22 http --fail: a status of 400 or more\n"
    "   7 the server refused the command   13 TLS refused or certificate not trusted\n"
    "                                     130 interrupted";

void AddSocksCommand(CLI::App& app, int& exitCode);
void AddEchoCommand(CLI::App& app, int& exitCode);
void AddFtpCommand(CLI::App& app, int& exitCode);
void AddMailCommand(CLI::App& app, int& exitCode);
void AddHttpCommand(CLI::App& app, int& exitCode);

}  // namespace velkor::tool
