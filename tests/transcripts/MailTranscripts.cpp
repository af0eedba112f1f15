// CSmtp and CPop3 conversations: every transcript in transcripts/smtp and
// transcripts/pop3 (the peer answers QUIT with "221 Bye" or "+OK Bye").
//
// Calls, on the object named before the dot: smtp.SetServerProperties HOST
// PORT AUTH USER PASSWORD, smtp.Connect, smtp.SendMessageA TEXT [START] (the
// sent counter starts at START; observed as smtp.sent, the caller's text
// afterwards as smtp.text), smtp.Rset, smtp.Disconnect; pop.SetServerProperties HOST
// PORT, pop.Connect, pop.Login USER PASSWORD, pop.SetMaxReplyBytes N,
// pop.GetMsg I [DELETE] and pop.GetMsgHeader I (the text observed as
// pop.text, the size as pop.size), pop.Delete I, pop.Logoff, pop.Disconnect;
// "set smtp.timeout N", "set pop.timeout N", "set smtp.tls N", "set
// pop.tls N" (0 off, 1 explicit, 2 implicit; the certificate is checked
// against the system's store). Observed also: smtp.GetErrorText,
// pop.GetErrorText.
#include <gtest/gtest.h>

#include <stdexcept>

#include "Transcript.h"
#include "mail/CPop3.h"
#include "mail/CSmtp.h"

namespace velkor::test {
namespace {

class MailClient : public TranscriptClient {
public:
    std::string Call(const std::string& name, const Words& a) override {
        if (name == "set") {
            const std::string& f = a.at(0);
            int& field = f == "smtp.timeout" ? m_smtp.m_nTimeout
                         : f == "pop.timeout" ? m_pop.m_nTimeout
                         : f == "smtp.tls"    ? m_smtp.m_nTls
                         : f == "pop.tls"     ? m_pop.m_nTls
                                              : throw std::invalid_argument("no field " + f);
            field = std::stoi(a.at(1));
            return "";
        }
        if (name == "smtp.SetServerProperties") {
            m_smtp.SetServerProperties(a.at(0), static_cast<unsigned>(std::stoi(a.at(1))),
                                       std::stoi(a.at(2)), a.at(3), a.at(4));
            return "";
        }
        if (name == "smtp.Connect") return Str(m_smtp.Connect());
        if (name == "smtp.Disconnect") return Str(m_smtp.Disconnect());
        if (name == "smtp.Rset") return Str(m_smtp.Rset());
        if (name == "smtp.SendMessageA") {
            m_text = a.at(0);
            m_sent = a.size() > 1 ? static_cast<std::uint32_t>(std::stoul(a[1])) : 0;
            return Str(m_smtp.SendMessageA(m_text, m_sent));
        }
        if (name == "pop.SetServerProperties") {
            m_pop.SetServerProperties(a.at(0) == "<null>" ? nullptr : a.at(0).c_str(),
                                      static_cast<unsigned>(std::stoi(a.at(1))));
            return "";
        }
        if (name == "pop.Connect") return Str(m_pop.Connect());
        if (name == "pop.Login") return Str(m_pop.Login(a.at(0).c_str(), a.at(1).c_str()));
        if (name == "pop.SetMaxReplyBytes") {
            m_pop.SetMaxReplyBytes(std::stoul(a.at(0)));
            return "";
        }
        if (name == "pop.GetMsg") {
            m_text.clear();
            m_sent = 0;
            return Str(m_pop.GetMsg(std::stoi(a.at(0)), m_text, m_sent, a.size() > 1 ? std::stoi(a[1]) : 0));
        }
        if (name == "pop.GetMsgHeader") {
            m_text.clear();
            return Str(m_pop.GetMsgHeader(std::stoi(a.at(0)), m_text));
        }
        if (name == "pop.Delete") return Str(m_pop.Delete(std::stoi(a.at(0))));
        if (name == "pop.Logoff") return Str(m_pop.Logoff());
        if (name == "pop.Disconnect") return Str(m_pop.Disconnect());
        throw std::invalid_argument("no call " + name);
    }

    std::string Observe(const std::string& name, const Words& a) override {
        if (name == "smtp.GetLastError") return Str(m_smtp.GetLastError());
        if (name == "smtp.GetErrorText") return m_smtp.GetErrorText();
        if (name == "pop.GetErrorText") return m_pop.GetErrorText();
        if (name == "smtp.m_bConnected") return Str(m_smtp.m_bConnected);
        if (name == "smtp.sent" || name == "pop.size") return Str(m_sent);
        if (name == "smtp.text" || name == "pop.text") return m_text;
        if (name == "pop.GetLastError") return Str(m_pop.GetLastError());
        if (name == "pop.m_bConnected") return Str(m_pop.m_bConnected);
        if (name == "pop.GetMsgCount") return Str(m_pop.GetMsgCount());
        if (name == "pop.GetMsgLength") return Str(m_pop.GetMsgLength(std::stoi(a.at(0))));
        if (name == "pop.GetMsgID") return m_pop.GetMsgID(std::stoi(a.at(0)));
        if (name == "pop.m_nPort") return Str(m_pop.m_nPort);
        if (name == "pop.m_strServer") return m_pop.m_strServer;
        throw std::invalid_argument("no observation " + name);
    }

private:
    CSmtp m_smtp;
    CPop3 m_pop;
    std::string m_text;
    std::uint32_t m_sent = 0;
};

std::unique_ptr<TranscriptClient> MakeMailClient(const Vars&) {
    return std::unique_ptr<TranscriptClient>(new MailClient);
}

const TranscriptFamily kSmtp{"smtp", "221 Bye", MakeMailClient};
const TranscriptFamily kPop3{"pop3", "+OK Bye", MakeMailClient};

VELKOR_TRANSCRIPT_SUITE(SmtpTranscript, kSmtp);
VELKOR_TRANSCRIPT_SUITE(Pop3Transcript, kPop3);

}  // namespace
}  // namespace velkor::test
