// velkor: the library's command-line tool.
#include <CLI/CLI.hpp>

#include "Commands.h"

int main(int argc, char** argv) {
    CLI::App app{"velkor - Internet protocol clients on the command line"};
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
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int rc = app.exit(e);
        return rc == 0 ? 0 : velkor::tool::kExitUsage;
    }
    return exitCode;
}
