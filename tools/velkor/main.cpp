// velkor: the library's command-line tool.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"
#include "Credentials.h"

int main(int argc, char** argv) {
    // The parser works on a copy: the passwords in the process's own
    // arguments are overwritten before anything else can take long.
    std::vector<std::string> args(argv + 1, argv + argc);
    if (velkor::tool::HidePasswordsInArguments(argc, argv) && ::isatty(STDERR_FILENO))
        std::fprintf(stderr, "velkor: warning: a password on the command line is visible to other users "
                             "(ps, shell history); leave it out to be asked, or use ~/.netrc\n");
    CLI::App app{"velkor - Internet protocol clients on the command line", "velkor"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "velkor " VELKOR_VERSION);
    app.footer(velkor::tool::kExitCodesHelp);
    int exitCode = velkor::tool::kExitOk;
    velkor::tool::AddSocksCommand(app, exitCode);
    velkor::tool::AddEchoCommand(app, exitCode);
    velkor::tool::AddFtpCommand(app, exitCode);
    velkor::tool::AddMailCommand(app, exitCode);
    velkor::tool::AddHttpCommand(app, exitCode);
    try {
        std::reverse(args.begin(), args.end());  // the parser takes them last first
        app.parse(args);
    } catch (const CLI::ParseError& e) {
        const int rc = app.exit(e);
        return rc == 0 ? 0 : velkor::tool::kExitUsage;
    }
    return exitCode;
}
