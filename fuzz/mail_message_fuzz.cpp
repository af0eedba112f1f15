// Whole mails of any shape through analysis, every getter and navigation
// step, Bcc removal and recomposition of the analysed tree.
#include <cstddef>
#include <cstdint>
#include <string>

#include "mail/CMailMessage.h"

using velkor::CMailMessage;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CMailMessage msg;
    msg.m_strMailText.assign(reinterpret_cast<const char*>(data), size);
    msg.AnalyseMailMessage();
    msg.AnalyseOnDisplay();
    std::string a, b, c, d;
    unsigned char* content = nullptr;
    std::uint32_t length = 0;
    for (int i = 0; i < msg.GetTextNum(); ++i) msg.GetMailText(i, "", a, b, c);
    for (int i = 0; i < msg.GetAttachmentNum(); ++i) msg.GetAttachment(i, a, b, content, length);
    for (int i = 0; i < msg.GetRelateNum(); ++i) msg.GetRelate(i, a, b, c, content, length);
    delete[] content;
    content = nullptr;
    velkor::CMailBody& body = msg.Body();
    for (int i = 0; i < body.GetPartCount(); ++i) {
        body.GetChidlPartNum(i);
        body.FindNextChildPart(body.FindParentPart(i), i);
        body.FindFirstChildPart(i);
        body.GetMIMEPart(i, content, length);
        delete[] content;
        content = nullptr;
        body.GetPart(i)->GetFilename(a, b);
        body.GetPart(i)->GetRelatedInfo(a, b, c);
    }
    for (int kind = 0; kind < 3; ++kind) {
        for (int i = 0; i < msg.GetRecipientNum(kind); ++i) msg.GetRecipient(kind, i, a, b);
    }
    velkor::CMIDLRec row;
    msg.GetMailHeaderDescription(&row);
    msg.DelMailSendTo(CMailMessage::kBcc);
    (void)msg.ComposeMailBody();
    return 0;
}
