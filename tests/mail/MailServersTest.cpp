// CSmtp against aiosmtpd and CPop3 against Dovecot, on loopback: envelopes,
// exact stored and fetched bytes, Bcc never sent, dot lines both ways, AUTH,
// and a round trip from composition to analysis.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "RealServers.h"
#include "TestFiles.h"
#include "mail/CMailCommonFunction.h"
#include "mail/CMailMessage.h"
#include "mail/CPop3.h"
#include "mail/CSmtp.h"

namespace velkor {
namespace {

using test::Pop3Server;
using test::SmtpServer;

// A composed mail: a text with dot lines, an HTML alternative, an attachment.
std::string ComposedMail(const std::string& attachment) {
    CMailMessage msg;
    msg.AddMailRoot();
    msg.AddMailFrom("Ann", "ann@example.org");
    msg.AddMailSendTo(CMailMessage::kTo, "Bob", "bob@example.org");
    msg.AddMailSendTo(CMailMessage::kTo, "", "carl@example.org");
    msg.AddMailSendTo(CMailMessage::kCc, "", "cc@example.org");
    msg.AddMailSendTo(CMailMessage::kBcc, "Hidden", "hidden@example.org");
    msg.AddSubject("round trip", "utf-8");
    msg.AddMailText(".htaccess\r\n.\r\n..two\r\nend\r\n", "text/plain", "utf-8");
    msg.AddMailText("<p>html</p>", "text/html", "utf-8");
    msg.AddAttachment("data.bin", "utf-8", reinterpret_cast<const unsigned char*>(attachment.data()),
                      static_cast<std::uint32_t>(attachment.size()));
    return msg.ComposeMailMessage();
}

class SmtpPeer : public testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = test::AiosmtpdUnavailable(); !why.empty()) GTEST_SKIP() << why;
        ASSERT_TRUE(server.Start());
        smtp.SetServerProperties("127.0.0.1", server.Port(), 0, "", "");
    }
    SmtpServer server;
    CSmtp smtp;
};

TEST_F(SmtpPeer, EnvelopeFromTheHeaderBccNeverSentBytesKept) {
    ASSERT_EQ(smtp.Connect(), 1) << smtp.GetLastError();
    EXPECT_EQ(smtp.Connect(), 1);
    const std::string attachment = test::RandomBytes(20000, 3);
    std::string message = ComposedMail(attachment);
    // Resent- blind copies never reach the data either.
    message.insert(0, "Resent-Bcc: r@example.org\r\n");
    const std::string original = message;
    std::uint32_t sent = 0;
    ASSERT_EQ(smtp.SendMessageA(message, sent), 1) << smtp.GetLastReply();
    std::string envelope;
    const std::string stored = server.Stored(1, &envelope);
    // Stored: the composed text without its Bcc fields; the caller's string
    // is untouched, and the count is of the bytes on the wire (dots stuffed).
    std::string expected = original;
    CMailMessage::RemoveHeaderFields(expected, {"Bcc", "Resent-Bcc"}, true);
    EXPECT_TRUE(stored == expected) << stored.size() << " bytes stored, " << expected.size();
    EXPECT_TRUE(message == original);
    std::size_t dots = expected[0] == '.';
    for (std::size_t at = 0; (at = expected.find("\r\n.", at)) != std::string::npos; at += 2) ++dots;
    EXPECT_GT(dots, 0u);
    EXPECT_EQ(sent, expected.size() + dots);
    for (const char* field : {"Bcc:", "bcc:", "Resent-Bcc:", "hidden@"})
        EXPECT_EQ(stored.find(field), std::string::npos) << field;
    EXPECT_NE(envelope.find("\"from\": \"ann@example.org\""), std::string::npos) << envelope;
    EXPECT_NE(envelope.find("[\"bob@example.org\", \"carl@example.org\", \"cc@example.org\", "
                            "\"hidden@example.org\"]"),
              std::string::npos)
        << envelope;
    EXPECT_NE(envelope.find("\"helo\": \""), std::string::npos);

    // A refused recipient: 0 with error 7, no DATA; RSET, and the next
    // message on the same connection goes through.
    std::string refused = "From: a@example.org\r\nTo: ok@example.org, refuse@example.org\r\n\r\nx\r\n";
    EXPECT_EQ(smtp.SendMessageA(refused, sent), 0);
    EXPECT_EQ(smtp.GetLastError(), CSmtp::kErrReply);
    EXPECT_EQ(smtp.Rset(), 1);
    // Dot lines and bare line ends: stuffed and normalised on the wire, and
    // stored as they were meant.
    // A lower-case bcc field is a Bcc field too.
    std::string plain = "From: a@example.org\r\nbcc: low@example.org\r\nTo: ok@example.org\r\n\r\n"
                        ".htaccess\r\n.\r\n..two\nbare\rends\r\n.";
    sent = 0;
    ASSERT_EQ(smtp.SendMessageA(plain, sent), 1);
    EXPECT_EQ(server.Stored(2, &envelope), "From: a@example.org\r\nTo: ok@example.org\r\n\r\n"
                                           ".htaccess\r\n.\r\n..two\r\nbare\r\nends\r\n.\r\n");
    EXPECT_NE(envelope.find("[\"ok@example.org\", \"low@example.org\"]"), std::string::npos) << envelope;
    EXPECT_EQ(smtp.Disconnect(), 1);
    EXPECT_EQ(smtp.Disconnect(), 1);
}

TEST_F(SmtpPeer, AuthLoginAcceptedAndRefused) {
    smtp.SetServerProperties("127.0.0.1", server.Port(), 1, "mailer", "s3cret");
    ASSERT_EQ(smtp.Connect(), 1) << smtp.GetLastError() << " " << smtp.GetLastReply();
    std::string message = "From: a@example.org\r\nTo: b@example.org\r\n\r\nhi\r\n";
    std::uint32_t sent = 0;
    ASSERT_EQ(smtp.SendMessageA(message, sent), 1);
    std::string envelope;
    server.Stored(1, &envelope);
    EXPECT_NE(envelope.find("\"auth\": true"), std::string::npos) << envelope;
    smtp.Disconnect();

    CSmtp wrong;
    wrong.SetServerProperties("127.0.0.1", server.Port(), 1, "mailer", "nope");
    EXPECT_EQ(wrong.Connect(), 0);
    EXPECT_EQ(wrong.GetLastError(), CSmtp::kErrAuth);
    EXPECT_EQ(wrong.m_bConnected, 0);
    CSmtp injected;
    injected.SetServerProperties("127.0.0.1", server.Port(), 1, "mailer\r\nQUIT", "x");
    EXPECT_EQ(injected.Connect(), 0);
    EXPECT_EQ(injected.GetLastError(), CSmtp::kErrLineBreak);
}

class Pop3Peer : public testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = test::DovecotUnavailable(); !why.empty()) GTEST_SKIP() << why;
        ASSERT_TRUE(server.Start());
    }
    // count, then "size uid" per message, as Python's poplib sees the mailbox.
    std::string PoplibView() {
        const std::string cmd =
            "/usr/bin/python3 -c \"import poplib; p = poplib.POP3('127.0.0.1', " +
            std::to_string(server.Port()) + "); p.user('" + Pop3Server::TestUser() +
            "'); p.pass_('" + Pop3Server::TestPassword() +
            "'); l = p.list()[1]; u = p.uidl()[1]; print(len(l)); "
            "[print(a.split()[1].decode(), b.split()[1].decode()) for a, b in zip(l, u)]; "
            "p.quit()\"";
        std::string out;
        if (FILE* f = popen(cmd.c_str(), "r")) {
            char buf[256];
            while (fgets(buf, sizeof buf, f)) out += buf;
            pclose(f);
        }
        return out;
    }
    Pop3Server server;
};

TEST_F(Pop3Peer, MailboxAsPoplibSeesItAndExactMessages) {
    const std::string random = test::RandomBytes(7700000, 5);
    const std::string big = "Subject: big\r\n\r\n" +
                            CMailCommonFunction::EncodeTextBase64(
                                reinterpret_cast<const unsigned char*>(random.data()),
                                static_cast<std::uint32_t>(random.size()), 76) +
                            "\r\n";
    const std::string messages[] = {
        ComposedMail(test::RandomBytes(5000, 1)),
        "Subject: dots\r\n\r\n.\r\n..\r\n.leading\r\nend...\r\n",
        std::string("Subject: nul\r\n\r\na\0b\r\n", 21),
        "Subject: empty\r\n\r\n",
        "Subject: 8bit \xE4\xF6\r\n\r\n\xC3\xA4\xFF\r\n",
        big,
    };
    for (std::size_t i = 0; i < std::size(messages); ++i)
        server.Deliver("100" + std::to_string(i) + ".host", messages[i]);

    CPop3 pop(nullptr);
    EXPECT_EQ(pop.m_nPort, 110u);
    pop.SetServerProperties("127.0.0.1", server.Port());
    ASSERT_EQ(pop.Connect(), 1);
    CPop3 refused("127.0.0.1", server.Port());
    ASSERT_EQ(refused.Connect(), 1);
    EXPECT_EQ(refused.Login(Pop3Server::TestUser(), "wrong"), 0);
    EXPECT_EQ(refused.Login("a\r\nQUIT", "x"), 0);
    EXPECT_EQ(refused.GetLastError(), CPop3::kErrLineBreak);

    ASSERT_EQ(pop.Login(Pop3Server::TestUser(), Pop3Server::TestPassword()), 1);
    std::string mine = std::to_string(pop.GetMsgCount()) + "\n";
    for (int i = 0; i < pop.GetMsgCount(); ++i)
        mine += std::to_string(pop.GetMsgLength(i)) + " " + pop.GetMsgID(i) + "\n";
    EXPECT_EQ(mine, PoplibView());
    EXPECT_EQ(pop.GetMsgLength(pop.GetMsgCount()), 0xFFFFFFFFu);
    EXPECT_EQ(pop.GetMsgID(pop.GetMsgCount()), "");

    // The unique id is the file name ("100k.host"): it names the message.
    ASSERT_EQ(pop.GetMsgCount(), static_cast<int>(std::size(messages)));
    for (int i = 0; i < pop.GetMsgCount(); ++i) {
        const std::string& expected = messages[pop.GetMsgID(i)[3] - '0'];
        std::string text;
        std::uint32_t size = 7;
        ASSERT_EQ(pop.GetMsg(i, text, size, 0), 1) << i;
        EXPECT_EQ(text, expected) << pop.GetMsgID(i);
        EXPECT_EQ(size, 7 + expected.size());
        EXPECT_EQ(text.size(), pop.GetMsgLength(i));
    }
    int dots = 0;
    while (pop.GetMsgID(dots) != "1001.host") ++dots;
    std::string header;
    ASSERT_EQ(pop.GetMsgHeader(dots, header), 1);
    EXPECT_EQ(header, "Subject: dots");
    // DELE, QUIT: the message is gone for the next session.
    EXPECT_EQ(pop.Delete(dots), 1);
    EXPECT_EQ(pop.Logoff(), 1);
    pop.Disconnect();
    EXPECT_EQ(PoplibView().substr(0, 2), "5\n");
}

// Composed, sent to aiosmtpd, delivered into Dovecot's mailbox, fetched and
// analysed: the texts and the attachment come back byte for byte.
TEST(MailRoundTrip, ComposeSendFetchAnalyse) {
    for (const std::string& why : {test::AiosmtpdUnavailable(), test::DovecotUnavailable()})
        if (!why.empty()) GTEST_SKIP() << why;
    SmtpServer smtpServer;
    Pop3Server popServer;
    ASSERT_TRUE(smtpServer.Start());
    ASSERT_TRUE(popServer.Start());
    const std::string attachment = test::RandomBytes(300000, 9);
    std::string message = ComposedMail(attachment);
    CSmtp smtp;
    smtp.SetServerProperties("127.0.0.1", smtpServer.Port(), 0, "", "");
    std::uint32_t sent = 0;
    ASSERT_EQ(smtp.Connect(), 1);
    ASSERT_EQ(smtp.SendMessageA(message, sent), 1);
    smtp.Disconnect();
    popServer.Deliver("1.host", smtpServer.Stored(1));

    CPop3 pop("127.0.0.1", popServer.Port());
    ASSERT_EQ(pop.Connect(), 1);
    ASSERT_EQ(pop.Login(Pop3Server::TestUser(), Pop3Server::TestPassword()), 1);
    CMailMessage fetched;
    std::uint32_t size = 0;
    ASSERT_EQ(pop.GetMsg(0, fetched.m_strMailText, size, 0), 1);
    ASSERT_EQ(fetched.AnalyseMailMessage(), 1);
    fetched.AnalyseOnDisplay();
    ASSERT_EQ(fetched.GetTextNum(), 2);
    std::string text, subtype, charset;
    fetched.GetMailText(0, "", text, subtype, charset);
    EXPECT_EQ(text, ".htaccess\r\n.\r\n..two\r\nend\r\n");
    fetched.GetMailText(1, "", text, subtype, charset);
    EXPECT_EQ(text, "<p>html</p>");
    ASSERT_EQ(fetched.GetAttachmentNum(), 1);
    std::string name;
    unsigned char* data = nullptr;
    std::uint32_t length = 0;
    fetched.GetAttachment(0, name, charset, data, length);
    EXPECT_EQ(name, "data.bin");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), length), attachment);
    delete[] data;
    EXPECT_EQ(fetched.GetRecipientNum(CMailMessage::kBcc), 0);
}

}  // namespace
}  // namespace velkor
