// The command labels and the reply-status table of CFtpLink.
#include "ftp/CFtpLink.h"

#include <initializer_list>

namespace velkor {

namespace {

using Row = std::array<int, CFtpLink::kCommandCount>;
using Table = std::array<Row, CFtpLink::kCommandCount>;

constexpr std::array<int, CFtpLink::kCommandCount> kCodes = {
    110, 120, 125, 150, 200, 202, 211, 212, 213, 214, 215, 220, 221, 225,
    226, 227, 230, 250, 257, 331, 332, 350, 421, 425, 426, 450, 451, 452,
    500, 501, 502, 503, 504, 530, 532, 550, 551, 552, 553, 600, 601, 602};

// One row as the codes that give each status; every other code gives
// kFtpStatusUnexpected, and in every row 600/601 give kFtpStatusConnection
// and 602 (no reply) gives kFtpStatusRefused.
struct RowSpec {
    std::initializer_list<int> success;
    std::initializer_list<int> more;
    std::initializer_list<int> preliminary;
    std::initializer_list<int> transient;
    std::initializer_list<int> notLoggedIn;
    std::initializer_list<int> refused;
};

constexpr int Column(int code) {
    for (int i = 0; i < CFtpLink::kCommandCount; ++i)
        if (kCodes[i] == code) return i;
    throw "reply code missing from the code list";  // fails the constant evaluation
}

constexpr Row MakeRow(const RowSpec& codes) {
    Row row{};
    const auto set = [&row](std::initializer_list<int> codes, int status) {
        for (int code : codes) row[Column(code)] = status;
    };
    set(codes.success, kFtpStatusSuccess);
    set(codes.more, kFtpStatusMoreNeeded);
    set(codes.preliminary, kFtpStatusPreliminary);
    set(codes.transient, kFtpStatusTransient);
    set(codes.notLoggedIn, kFtpStatusNotLoggedIn);
    set(codes.refused, kFtpStatusRefused);
    set({kReplyLocal600, kReplyLocal601}, kFtpStatusConnection);
    set({kReplyQueueEmpty}, kFtpStatusRefused);
    return row;
}

constexpr Table MakeTable() {
    return Table{{
        MakeRow({{220}, {}, {120}, {421}, {}, {}}),                                 // Connect
        MakeRow({{220}, {}, {}, {}, {}, {}}),                                       // Connect(W)
        MakeRow({{202, 230}, {331, 332}, {}, {421}, {530}, {500, 501}}),            // USER
        MakeRow({{202, 230}, {332}, {}, {421}, {530}, {500, 501, 503}}),            // PASS
        MakeRow({{202, 230}, {}, {}, {421}, {530}, {500, 501, 503}}),               // ACCT
        MakeRow({{250}, {}, {}, {421}, {530}, {500, 501, 502, 550}}),               // CWD
        MakeRow({{200, 250}, {}, {}, {421}, {530}, {500, 501, 502, 550}}),          // CDUP
        MakeRow({{202, 250}, {}, {}, {421}, {530}, {500, 501, 502, 550}}),          // SMNT
        MakeRow({{220}, {}, {120}, {421}, {}, {500, 502}}),                         // REIN
        MakeRow({{220}, {}, {}, {}, {}, {}}),                                       // REIN(W)
        MakeRow({{221}, {}, {}, {}, {}, {500}}),                                    // QUIT
        MakeRow({{200}, {}, {}, {421}, {530}, {500, 501}}),                         // PORT
        MakeRow({{227}, {}, {}, {421}, {530}, {500, 501, 502}}),                    // PASV
        MakeRow({{200}, {}, {}, {421}, {530}, {500, 501, 504}}),                    // MODE
        MakeRow({{200}, {}, {}, {421}, {530}, {500, 501, 504}}),                    // TYPE
        MakeRow({{200}, {}, {}, {421}, {530}, {500, 501, 504}}),                    // STRU
        MakeRow({{200, 202}, {}, {}, {421}, {530}, {500, 501, 504}}),               // ALLO
        MakeRow({{}, {350}, {}, {421}, {530}, {500, 501, 502}}),                    // REST
        MakeRow({{}, {}, {125, 150}, {421, 450}, {530}, {452, 500, 501, 532, 553}}),  // STOR
        MakeRow({{226, 250}, {}, {110}, {425, 426, 451}, {}, {551, 552}}),          // STOR(W)
        MakeRow({{}, {}, {125, 150}, {421, 450}, {530}, {452, 500, 501, 532, 553}}),  // STOU
        MakeRow({{226, 250}, {}, {110}, {425, 426, 451}, {}, {551, 552}}),          // STOU(W)
        MakeRow({{}, {}, {125, 150}, {421, 450}, {530}, {500, 501, 550}}),          // RETR
        MakeRow({{226, 250}, {}, {110}, {425, 426, 451}, {}, {}}),                  // RETR(W)
        MakeRow({{}, {}, {125, 150}, {421, 450}, {530}, {500, 501, 502}}),          // LIST
        MakeRow({{226, 250}, {}, {}, {425, 426, 451}, {}, {}}),                     // LIST(W)
        MakeRow({{}, {}, {125, 150}, {421, 450}, {530}, {500, 501, 502}}),          // NLST
        MakeRow({{226, 250}, {}, {}, {425, 426, 451}, {}, {}}),                     // NLST(W)
        MakeRow({{}, {}, {125, 150}, {421, 450}, {530},
                 {452, 500, 501, 502, 532, 550, 553}}),                             // APPE
        MakeRow({{226, 250}, {}, {110}, {425, 426, 451}, {}, {551, 552}}),          // APPE(W)
        MakeRow({{}, {350}, {}, {421, 450}, {530}, {500, 501, 502, 550}}),          // RNFR
        MakeRow({{250}, {}, {}, {421}, {530}, {500, 501, 502, 503, 532, 553}}),     // RNTO
        MakeRow({{250}, {}, {}, {421, 450}, {530}, {500, 501, 502, 550}}),          // DELE
        MakeRow({{250}, {}, {}, {421}, {530}, {500, 501, 502, 550}}),               // RMD
        MakeRow({{257}, {}, {}, {421}, {530}, {500, 501, 502, 550}}),               // MKD
        MakeRow({{257}, {}, {}, {421}, {}, {500, 501, 502, 550}}),                  // PWD
        MakeRow({{225, 226}, {}, {}, {421}, {}, {500, 501, 502}}),                  // ABOR
        MakeRow({{215}, {}, {}, {421}, {}, {500, 501, 502}}),                       // SYST
        MakeRow({{211, 212, 213}, {}, {}, {421, 450}, {530}, {500, 501, 502}}),     // STAT
        MakeRow({{211, 214}, {}, {}, {421}, {}, {500, 501, 502}}),                  // HELP
        MakeRow({{200, 202}, {}, {}, {}, {530}, {500, 501}}),                       // SITE
        MakeRow({{200}, {}, {}, {421}, {}, {500}}),                                 // NOOP
    }};
}

}  // namespace

const std::array<std::string, CFtpLink::kCommandCount> CFtpLink::strCommandTable = {
    "Connect", "Connect(W)", "USER", "PASS", "ACCT",    "CWD",     "CDUP",    "SMNT",
    "REIN",    "REIN(W)",    "QUIT", "PORT", "PASV",    "MODE",    "TYPE",    "STRU",
    "ALLO",    "REST",       "STOR", "STOR(W)", "STOU", "STOU(W)", "RETR",    "RETR(W)",
    "LIST",    "LIST(W)",    "NLST", "NLST(W)", "APPE", "APPE(W)", "RNFR",    "RNTO",
    "DELE",    "RMD",        "MKD",  "PWD",  "ABOR",    "SYST",    "STAT",    "HELP",
    "SITE",    "NOOP"};

constinit const std::array<int, CFtpLink::kCommandCount> CFtpLink::nStatusList = kCodes;

constinit const std::array<std::array<int, CFtpLink::kCommandCount>, CFtpLink::kCommandCount>
    CFtpLink::nStatusTable = MakeTable();

}  // namespace velkor
