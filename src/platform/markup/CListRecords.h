// CMIDLRec, CNIDLRec: one row of a mail list view and of a news list view.
//
// The mail message fills the rows from a header (see
// CMailMessage::GetMailHeaderDescription); the fields it does not write are
// the list's own (where the message is stored, its size, its state).
#pragma once

#include <string>

namespace velkor {

// A mail list row. Field numbers count from 0 in declaration order.
struct CMIDLRec {
    std::string m_strUidl;       // 0: the server's unique id of the message
    std::string m_strSubject;    // 1: decoded subject
    std::string m_strFrom;       // 2: raw From (or Sender) text
    std::string m_strTo;         // 3: raw To text
    std::string m_strCc;         // 4: raw Cc text
    std::string m_strBcc;        // 5: raw Bcc text
    std::string m_strDate;       // 6: "yyyy-mm-dd hh:mm:ss"
    std::string m_strSize;       // 7: size as shown in the list
    std::string m_strFileName;   // 8: where the message is stored
    std::string m_strMessageId;  // 9: Message-ID as written
    std::string m_strState;      // 10: read, replied, ...
    int m_nPriority = 0;         // 11: x-priority
};

// A news list row. Field numbers count from 0 in declaration order.
struct CNIDLRec {
    std::string m_strNumber;      // 0: article number on the server
    std::string m_strState;       // 1: read, ...
    std::string m_strMessageId;   // 2: Message-ID as written
    std::string m_strReferences;  // 3: References as written
    std::string m_strSubject;     // 4: decoded subject
    std::string m_strFrom;        // 5: raw From (or Sender) text
    std::string m_strNewsgroups;  // 6: Newsgroups as written
    std::string m_strDate;        // 7: "yyyy-mm-dd hh:mm:ss"
    std::string m_strBytes;       // 8: size as shown in the list
    std::string m_strLines;       // 9: Lines as written
};

}  // namespace velkor
