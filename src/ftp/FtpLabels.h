// Internal: the command labels of CFtpLink, the row indexes of its status
// table (CFtpLink::strCommandTable names them in the same order). A command
// with a completion reply is followed by its "(W)" label.
#pragma once

#include "ftp/CFtpLink.h"

namespace velkor::ftp_label {

enum Label : int {
    kConnect, kConnectW, kUser, kPass, kAcct, kCwd, kCdup, kSmnt, kRein, kReinW,
    kQuit, kPort, kPasv, kMode, kType, kStru, kAllo, kRest, kStor, kStorW,
    kStou, kStouW, kRetr, kRetrW, kList, kListW, kNlst, kNlstW, kAppe, kAppeW,
    kRnfr, kRnto, kDele, kRmd, kMkd, kPwd, kAbor, kSyst, kStat, kHelp,
    kSite, kNoop,
    kLabelCount
};

static_assert(kLabelCount == CFtpLink::kCommandCount);

// The label of the completion reply that follows a command's preliminary one.
constexpr int CompletionOf(int label) { return label + 1; }

}  // namespace velkor::ftp_label
