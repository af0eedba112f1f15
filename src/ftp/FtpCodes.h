// Named values of CFtpLink's and CFtp's documented int results and states,
// and short English texts for them. The members themselves keep their
// documented int types; these names say what each number means.
#pragma once

#include <cstdint>

namespace velkor {

// Reply statuses: CFtpLink::m_nLastError after a command.
inline constexpr int kFtpStatusUnexpected = 0;   // reply not expected after this command
inline constexpr int kFtpStatusSuccess = 1;
inline constexpr int kFtpStatusRefused = 2;      // refused, or no reply (602)
inline constexpr int kFtpStatusPreliminary = 3;  // a completion reply follows
inline constexpr int kFtpStatusTransient = 4;    // transient failure, may work later
inline constexpr int kFtpStatusNotLoggedIn = 5;
inline constexpr int kFtpStatusMoreNeeded = 6;   // accepted, another command is needed
inline constexpr int kFtpStatusConnection = 7;   // the connection failed or was dropped
inline constexpr int kFtpStatusUnknownReply = 8; // code 0 or a code not in the table

// CFtpLink::m_nLoginState.
inline constexpr int kFtpLoggedOn = 1;
inline constexpr int kFtpLoggingOn = 2;
inline constexpr int kFtpLoggedOff = 3;

// CFtpLink::Login's logonType: direct, or through one of eight firewalls.
inline constexpr int kLogonDirect = 0;
inline constexpr int kLogonSiteHost = 1;         // firewall logon, then SITE host
inline constexpr int kLogonUserAfterFirewall = 2;  // firewall logon, then USER user@host
inline constexpr int kLogonOpenHost = 3;         // OPEN host
inline constexpr int kLogonTransparent = 4;      // firewall logon, then USER user
inline constexpr int kLogonUserAtHost = 5;       // USER user@host, no firewall logon
inline constexpr int kLogonFwUserAtHost = 6;     // USER fwUser@host
inline constexpr int kLogonUserAtHostFwUser = 7; // USER user@host fwUser
inline constexpr int kLogonUserAtFwUserAtHost = 8;  // USER user@fwUser@host
inline constexpr int kLogonTypeCount = 9;

// Reply codes that are not FTP codes: the status table's last columns.
inline constexpr int kReplyLocal600 = 600;
inline constexpr int kReplyLocal601 = 601;
inline constexpr int kReplyQueueEmpty = 602;  // no reply was queued

// A short sentence for a reply status ("unknown status" for others).
const char* FtpStatusText(int status);
// A short sentence for a CFtp::Download result code.
const char* DownloadResultText(std::uint32_t code);

}  // namespace velkor
