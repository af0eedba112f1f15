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
    kExitInterrupted = 130,
};

void AddSocksCommand(CLI::App& app, int& exitCode);
void AddEchoCommand(CLI::App& app, int& exitCode);
void AddFtpCommand(CLI::App& app, int& exitCode);
void AddMailCommand(CLI::App& app, int& exitCode);
void AddHttpCommand(CLI::App& app, int& exitCode);

}  // namespace velkor::tool
