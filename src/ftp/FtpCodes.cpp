#include "ftp/FtpCodes.h"

#include "ftp/CFtp.h"

namespace velkor {

const char* FtpStatusText(int status) {
    switch (status) {
        case kFtpStatusUnexpected: return "the server sent a reply not expected after this command";
        case kFtpStatusSuccess: return "success";
        case kFtpStatusRefused: return "the server refused the command or did not answer";
        case kFtpStatusPreliminary: return "the server accepted the command; its completion follows";
        case kFtpStatusTransient: return "the server failed for now; the command may work later";
        case kFtpStatusNotLoggedIn: return "not logged in";
        case kFtpStatusMoreNeeded: return "accepted; the server needs another command";
        case kFtpStatusConnection: return "the connection to the server failed";
        case kFtpStatusUnknownReply: return "the server's reply code is not an FTP reply code";
        default: return "unknown status";
    }
}

const char* DownloadResultText(std::uint32_t code) {
    switch (code) {
        case 0: return "downloaded";
        case CFtp::kDownloadNotLoggedIn: return "not logged in (530)";
        case CFtp::kDownloadUnavailable: return "the file is not available (550)";
        case CFtp::kDownloadBusy: return "the file is busy (450)";
        case CFtp::kDownloadOtherFailure: return "the download failed";
        default: return "unknown download result";
    }
}

}  // namespace velkor
