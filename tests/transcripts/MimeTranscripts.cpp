// Mail texts without a peer: every transcript in transcripts/mime.
//
// Each call is a static helper of CMailCommonFunction by name, with its
// text arguments as written; it returns the helper's result and keeps its
// out-parameters for "? NAME value" (their names follow the helper's
// parameters: bytes, count, name, text, charset, address, type, ...).
// Buffers are exactly the capacity asked for, on the heap, so that the
// sanitizer build sees a write past them. Lists read "a | b | c".
// Beyond the helpers: "set m_nCount N", "SetActiveCodePage N", "IsLeadByte
// N", "QpRoundTrip LINE-LENGTH UP-TO" (the first length whose round trip
// differs, or "ok") and "? matches REGEX 1" (the last result matches).
//
// A message: "Analyse TEXT" (AnalyseMailMessage and AnalyseOnDisplay of a
// new message), "NewMessage", "AnalyseNested N" (N multiparts in one another), the Add...
// calls of composing, "Compose" (the composed text; "AnalyseComposed" reads
// it back), "DelMIMEPart N", "DelMailSendTo KIND" (0 To, 1 Cc, 2 Bcc) and
// "IsAttachment DISPOSITION" (of a new part). Observed on the message:
// depths, part-count, deepest, body-type, child-num N, first-child N,
// next-child P C, parent N, content N, text-num, text N, attachment-num,
// attachment N ("name | length | bytes"), part-num, part-type N, relate-num,
// relate N ("cid | bytes"), recipient-num KIND, recipient KIND N, mail-from,
// record (subject | date | message id | priority), news-from,
// subject-charset, field-count, first-part-type N, mail-text, has TEXT.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <map>
#include <regex>
#include <stdexcept>

#include "TestFiles.h"
#include "Transcript.h"
#include "mail/CMailMessage.h"
#include "platform/CodePage.h"

namespace velkor::test {
namespace {

using Mail = CMailCommonFunction;
using Seen = std::map<std::string, std::string>;
using Offsets = std::vector<std::uint32_t>;

const unsigned char* Bytes(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }
std::uint32_t Size(const std::string& s) { return static_cast<std::uint32_t>(s.size()); }
int Int(const Words& a, std::size_t i, int fallback) { return a.size() > i ? std::stoi(a[i]) : fallback; }

// The pieces of a text between offsets.
std::string Pieces(const std::string& text, const Offsets& starts, const Offsets& ends) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < starts.size() && i < ends.size(); ++i)
        out.push_back(text.substr(starts[i], ends[i] - starts[i]));
    return JoinLines(out);
}

// A decoder of the text a[1] into a buffer of a[2] bytes (default: the
// text's size + 3), over the range a[3] to a[4] when given.
std::string DecodeInto(const Words& a, Seen& seen,
                       const std::function<int(unsigned char*, std::uint32_t&, int, int)>& decode) {
    const std::string& src = a.at(1);
    std::vector<unsigned char> buf(static_cast<std::size_t>(Int(a, 2, static_cast<int>(src.size() + 3))));
    std::uint32_t count = static_cast<std::uint32_t>(buf.size());
    const int r = decode(buf.data(), count, Int(a, 3, -1), Int(a, 4, -1));
    seen["count"] = Str(count);
    seen["bytes"] = r ? std::string(reinterpret_cast<char*>(buf.data()), count) : "";
    seen["buffer"] = std::string(reinterpret_cast<char*>(buf.data()), count);
    return Str(r);
}

// Decoding the same range in blocks of 1 to 5 source bytes hands over what
// the whole decode left in its buffer, with the same result; else names the
// first block size that differs.
std::string SameInBlocks(const Words& a, const std::string& whole, const Seen& seen) {
    const std::string& src = a.at(1);
    const auto capacity = static_cast<std::uint32_t>(Int(a, 2, static_cast<int>(src.size() + 3)));
    for (std::size_t block = 1; block <= 5; ++block) {
        std::string got;
        std::uint32_t count = 0;
        const int r = Mail::DecodeToSink(a.at(0), src, Int(a, 3, -1), Int(a, 4, -1), capacity,
                                         [&](const unsigned char* d, std::size_t n) {
                                             got.append(reinterpret_cast<const char*>(d), n);
                                             return true;
                                         }, count, block);
        if (Str(r) != whole || got != seen.at("buffer") || count != got.size())
            return "blocks of " + Str(static_cast<unsigned long long>(block)) + " give " + Str(r) +
                   " and " + got;
    }
    return whole;
}

std::string Units(const std::vector<char16_t>& units, std::uint32_t count) {
    std::string out;
    char hex[8];
    for (std::uint32_t i = 0; i <= count && i < units.size(); ++i) {
        std::snprintf(hex, sizeof hex, "%s%04x", out.empty() ? "" : " ", static_cast<unsigned>(units[i]));
        out += hex;
    }
    return out;  // the units and the 0 after them
}

// A converter to UTF-16 into a buffer of a[1] units and a 0.
template <typename Convert>
std::string ToUnicode(const Words& a, Seen& s, Convert convert) {
    std::vector<char16_t> out(static_cast<std::size_t>(std::stoi(a.at(1))) + 1, u'x');
    std::uint32_t count = static_cast<std::uint32_t>(out.size() - 1);
    const int r = convert(Bytes(a.at(0)), Size(a.at(0)), out.data(), count);
    s["units"] = Units(out, count);
    return Str(r);
}

using Handler = std::function<std::string(const Words&, Seen&)>;

const std::map<std::string, Handler>& Calls() {
    static const std::map<std::string, Handler> calls = {
        {"Encode", [](const Words& a, Seen&) {
             return Mail::Encode(a.at(0), Bytes(a.at(1)), Size(a.at(1)), Int(a, 2, 0));
         }},
        {"Decode", [](const Words& a, Seen& s) {
             const std::string r = DecodeInto(a, s, [&](unsigned char* out, std::uint32_t& n, int from, int to) {
                 return Mail::Decode(a.at(0), a.at(1), out, n, from, to);
             });
             return SameInBlocks(a, r, s);
         }},
        {"DecodeUU", [](const Words& a, Seen& s) {
             Words w{"uu", a.at(0)};
             w.insert(w.end(), a.begin() + 1, a.end());
             return DecodeInto(w, s, [&](unsigned char* out, std::uint32_t& n, int, int) {
                 return Mail::DecodeUU(a.at(0), out, n);
             });
         }},
        {"DecodeUUFileName", [](const Words& a, Seen& s) {
             std::string name, unused = "keep";
             const int r = Mail::DecodeUUFileName(a.at(0), name, unused);
             s["name"] = name;
             s["unused"] = unused;
             return Str(r);
         }},
        {"QpRoundTrip", [](const Words& a, Seen&) -> std::string {
             const int lineLength = std::stoi(a.at(0));
             for (std::size_t n = 0; n < std::stoul(a.at(1)); n += 7) {
                 const std::string data = RandomBytes(n, static_cast<unsigned>(n + lineLength));
                 const std::string enc = Mail::EncodeTextQuotedPrintable(Bytes(data), Size(data), lineLength);
                 std::vector<unsigned char> buf(enc.size() + 1);
                 std::uint32_t count = Size(enc) + 1;
                 if (!Mail::DecodeTextQuotedPrintable(enc, buf.data(), count) ||
                     std::string(buf.begin(), buf.begin() + count) != data)
                     return Str(static_cast<unsigned long long>(n));
             }
             return "ok";
         }},
        {"ISO2022ToSJIS", [](const Words& a, Seen&) { return Mail::ISO2022ToSJIS(a.at(0)); }},
        {"UTF8ToUnicode", [](const Words& a, Seen& s) { return ToUnicode(a, s, Mail::UTF8ToUnicode); }},
        {"UTF7ToUnicode", [](const Words& a, Seen& s) { return ToUnicode(a, s, Mail::UTF7ToUnicode); }},
        {"DecodeHeaderItem", [](const Words& a, Seen& s) {
             std::string text, charset = "stale";
             const int r = Mail::DecodeHeaderItem(a.at(0), text, charset);
             s["text"] = text;
             s["charset"] = charset;
             return Str(r);
         }},
        {"EncodeHeaderItem", [](const Words& a, Seen& s) {
             // Also: the decoded length of each encoded word, and the whole decoded.
             std::string out, decoded, charset;
             Mail::EncodeHeaderItem(a.at(0), out, a.at(1), a.at(2));
             std::vector<std::string> sizes;
             for (std::size_t pos = 0, next;; pos = next + 3) {
                 next = out.find("\r\n\t", pos);
                 Mail::DecodeHeaderItem(out.substr(pos, next == std::string::npos ? next : next - pos), decoded, charset);
                 sizes.push_back(Str(static_cast<unsigned long long>(decoded.size())));
                 if (next == std::string::npos) break;
             }
             s["word-sizes"] = JoinLines(sizes);
             Mail::DecodeHeaderItem(out, decoded, charset);
             s["decoded"] = decoded;
             return out;
         }},
        {"AnalyseMailAddress", [](const Words& a, Seen& s) {
             CRecipient r{"old", "old", "old"};
             const int result = Mail::AnalyseMailAddress(a.at(0), r);
             s["recipient"] = r.m_strAddress + " | " + r.m_strName + " | " + r.m_strCharset;
             return Str(result);
         }},
        {"AnalyseMailAddressString", [](const Words& a, Seen& s) {
             CRecipientArray list;
             Mail::AnalyseMailAddressString(a.at(0), list);
             std::vector<std::string> shown;
             for (const CRecipient& r : list) shown.push_back(r.m_strAddress + "/" + r.m_strName + "/" + r.m_strCharset);
             s["list"] = JoinLines(shown);
             return Str(static_cast<unsigned long long>(list.size()));
         }},
        {"ComposeMailAddress", [](const Words& a, Seen&) {
             // Each argument "address/name/charset"; one argument composes a
             // single recipient, more compose the list form.
             CRecipientArray list;
             for (const std::string& w : a) {
                 const std::size_t x = w.find('/'), y = w.find('/', x + 1);
                 list.push_back(CRecipient{w.substr(0, x), w.substr(x + 1, y - x - 1), w.substr(y + 1)});
             }
             return list.size() == 1 ? Mail::ComposeMailAddress(list[0]) : Mail::ComposeMailAddress(list);
         }},
        {"ChangeTimeFormat", [](const Words& a, Seen&) { return Mail::ChangeTimeFormat(a.at(0)); }},
        {"GetCurrentMailTime", [](const Words&, Seen&) { return Mail::GetCurrentMailTime(); }},
        {"NewBoundary", [](const Words&, Seen& s) {
             const std::string b = Mail::NewBoundary();
             s["m_nCount"] = Str(Mail::m_nCount);
             return b;
         }},
        {"NewCID", [](const Words& a, Seen&) { return Mail::NewCID(a.at(0)); }},
        {"VerifyFileName", [](const Words& a, Seen&) { return Mail::VerifyFileName(a.at(0)); }},
        {"ParseContentType", [](const Words& a, Seen& s) {
             std::string type = a.size() > 1 ? a[1] : "", subtype, params;
             const int r = Mail::ParseContentType(a.at(0), type, subtype, params);
             s["type"] = type + "/" + subtype;
             s["params"] = params;
             return Str(r);
         }},
        {"ParseContentDisposition", [](const Words& a, Seen& s) {
             std::string disposition, name, charset;
             const int r = Mail::ParseContentDisposition(a.at(0), disposition, name, charset);
             s["disposition"] = disposition;
             s["name"] = name;
             s["charset"] = charset;
             return Str(r);
         }},
        {"GetMultipartBoundary", [](const Words& a, Seen&) { return Mail::GetMultipartBoundary(a.at(0)); }},
        {"GetFirstPartType", [](const Words& a, Seen&) { return Mail::GetFirstPartType(a.at(0)); }},
        {"GetTextCharset", [](const Words& a, Seen&) { return Mail::GetTextCharset(a.at(0)); }},
        {"GetFilename", [](const Words& a, Seen&) { return Mail::GetFilename(a.at(0)); }},
        {"GetRelatedInfo", [](const Words& a, Seen& s) {
             std::string type = "keep", start = "keep", info = "keep";
             const int r = Mail::GetRelatedInfo(a.at(0), type, start, info);
             s["related"] = type + " | " + start + " | " + info;
             return Str(r);
         }},
        {"SplitMultipart", [](const Words& a, Seen& s) {
             Offsets starts, ends;
             const int r = Mail::SplitMultipart(a.at(0), 0, static_cast<std::uint32_t>(std::stoul(a.at(1))),
                                                a.at(2), starts, ends);
             s["parts"] = Pieces(a.at(0), starts, ends);
             s["last-end"] = ends.empty() ? "none" : Str(ends.back());
             return Str(r);
         }},
        {"SplitMultipart2", [](const Words& a, Seen& s) {
             Offsets starts, ends;
             const int r = Mail::SplitMultipart2(a.at(0), 0, Size(a.at(0)), starts, ends);
             s["parts"] = Pieces(a.at(0), starts, ends);
             return Str(r);
         }},
        {"SplitString", [](const Words& a, Seen& s) {
             std::vector<std::string> lines{"stale"};
             const int r = Mail::SplitString(a.at(0), lines, Int(a, 1, -1), Int(a, 2, -1));
             s["lines"] = JoinLines(lines);
             s["line-count"] = Str(static_cast<unsigned long long>(lines.size()));
             return Str(r);
         }},
        {"SplitLine", [](const Words& a, Seen& s) {
             std::string name, value;
             const int r = Mail::SplitLine(a.at(0), name, value);
             s["field"] = name + " | " + value;
             return Str(r);
         }},
        {"SetActiveCodePage", [](const Words& a, Seen&) {
             SetActiveCodePage(static_cast<unsigned>(std::stoul(a.at(0))));
             return std::string();
         }},
        {"IsLeadByte", [](const Words& a, Seen&) {
             return Str(IsLeadByte(static_cast<unsigned char>(std::stoul(a.at(0), nullptr, 0))));
         }},
        {"set", [](const Words& a, Seen&) {
             if (a.at(0) != "m_nCount") throw std::invalid_argument("no field " + a[0]);
             Mail::m_nCount = std::stoi(a.at(1));
             return std::string();
         }},
    };
    return calls;
}

// The bytes of a new[] buffer the message handed out (freed here).
std::string Take(unsigned char* data, std::uint32_t length) {
    std::string out(data ? reinterpret_cast<const char*>(data) : "", data ? length : 0);
    delete[] data;
    return out;
}

class MimeClient : public TranscriptClient {
public:
    ~MimeClient() override { SetActiveCodePage(kDefaultCodePage); }

    std::string Call(const std::string& name, const Words& a) override {
        m_seen.clear();
        if (const auto found = Calls().find(name); found != Calls().end()) return m_last = found->second(a, m_seen);
        return m_last = MessageCall(name, a);
    }

    std::string Observe(const std::string& name, const Words& a) override {
        if (name == "matches") return Str(std::regex_match(m_last, std::regex(a.at(0))));
        if (const auto found = m_seen.find(name); found != m_seen.end()) return found->second;
        return MessageObservation(name, a);
    }

private:
    int Analyse(std::string text) {
        m_msg = std::make_unique<CMailMessage>();
        m_msg->m_strMailText = std::move(text);
        const int r = m_msg->AnalyseMailMessage();
        m_msg->AnalyseOnDisplay();
        return r;
    }

    std::string MessageCall(const std::string& name, const Words& a) {
        const auto n = [&](std::size_t i) { return std::stoi(a.at(i)); };
        if (name == "Analyse") return Str(Analyse(a.at(0)));
        if (name == "AnalyseNested") {
            // Boundaries b0x, b1x, ...: none is the start of another.
            std::string text = "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b0x\r\n\r\n";
            for (int i = 0; i < n(0); ++i)
                text += "--b" + Str(i) + "x\r\nContent-Type: multipart/mixed; boundary=b" + Str(i + 1) + "x\r\n\r\n";
            return Str(Analyse(text + "--b" + a[0] + "x\r\n\r\nleaf\r\n"));
        }
        if (name == "AnalyseComposed") return Str(Analyse(m_composed));
        if (name == "NewMessage") {
            m_msg = std::make_unique<CMailMessage>();
            return std::string();
        }
        if (name == "IsAttachment") {
            CMIMEPart part;
            part.SetDisposition(a.at(0));
            return Str(part.IsAttachment());
        }
        if (!m_msg) m_msg = std::make_unique<CMailMessage>();
        CMailMessage& m = *m_msg;
        if (name == "AddMailRoot") return Str(m.AddMailRoot());
        if (name == "AddMailFrom") return Str(m.AddMailFrom(a.at(0), a.at(1)));
        if (name == "AddReplyTo") return Str(m.AddReplyTo(a.at(0), a.at(1)));
        if (name == "AddMailSendTo") return Str(m.AddMailSendTo(n(0), a.at(1), a.at(2)));
        if (name == "AddSubject") return Str(m.AddSubject(a.at(0), a.at(1)));
        if (name == "AddMailDate") return Str(m.AddMailDate(a.at(0)));
        if (name == "AddNewsGuoup") return Str(m.AddNewsGuoup(a.at(0)));
        if (name == "AddReference") return Str(m.AddReference(a.at(0)));
        if (name == "AddMailType") return Str(m.AddMailType(a.at(0)));
        if (name == "AddMailText") return Str(m.AddMailText(a.at(0), a.at(1), a.at(2)));
        if (name == "AddAttachment") return Str(m.AddAttachment(a.at(0), a.at(1), Bytes(a.at(2)), Size(a.at(2))));
        if (name == "Compose") return m_composed = m.ComposeMailMessage();
        if (name == "DelMIMEPart") return Str(m.Body().DelMIMEPart(n(0)));
        if (name == "DelMailSendTo") return Str(m.DelMailSendTo(n(0)));
        if (name == "GetMailType") return m.GetMailType();
        throw std::invalid_argument("no call " + name);
    }

    std::string MessageObservation(const std::string& name, const Words& a) {
        if (!m_msg) throw std::invalid_argument("no observation " + name);
        CMailMessage& m = *m_msg;
        CMailBody& body = m.Body();
        const auto n = [&](std::size_t i) { return std::stoi(a.at(i)); };
        std::string x, y, z;
        std::uint32_t length = 0;
        unsigned char* data = nullptr;
        if (name == "depths" || name == "deepest") {
            std::string depths;
            int deepest = 0;
            for (int i = 0; i < body.GetPartCount(); ++i) {
                depths += Str(body.GetPart(i)->GetDepth());
                deepest = std::max(deepest, body.GetPart(i)->GetDepth());
            }
            return name == "depths" ? depths : Str(deepest);
        }
        if (name == "part-count") return Str(body.GetPartCount());
        if (name == "body-type") return body.GetBodyType();
        if (name == "child-num") return Str(body.GetChidlPartNum(n(0)));
        if (name == "first-child") return Str(body.FindFirstChildPart(n(0)));
        if (name == "next-child") return Str(body.FindNextChildPart(n(0), n(1)));
        if (name == "parent") return Str(body.FindParentPart(n(0)));
        if (name == "first-part-type") return body.GetPart(n(0))->GetFirstPartType();
        if (name == "content") {
            body.GetMIMEPart(n(0), data, length);
            return Take(data, length);
        }
        if (name == "text-num") return Str(m.GetTextNum());
        if (name == "text") {
            const int r = m.GetMailText(n(0), "", x, y, z);
            return r ? x : "none";
        }
        if (name == "attachment-num") return Str(m.GetAttachmentNum());
        if (name == "attachment") {
            if (!m.GetAttachment(n(0), x, y, data, length)) return "none";
            return x + " | " + Str(length) + " | " + Take(data, length);
        }
        if (name == "part-num") return Str(m.GetMailPartNum());
        if (name == "part-type") return m.GetMailPartType(n(0), x, y) ? x + "/" + y : "none";
        if (name == "relate-num") return Str(m.GetRelateNum());
        if (name == "relate") {
            std::string cid;
            if (!m.GetRelate(n(0), x, y, cid, data, length)) return "none";
            return cid + " | " + Take(data, length);
        }
        if (name == "recipient-num") return Str(m.GetRecipientNum(n(0)));
        if (name == "recipient") return m.GetRecipient(n(0), n(1), x, y) ? x : "none";
        if (name == "mail-from") return m.GetMailFrom();
        if (name == "record") {
            CMIDLRec row;
            m.GetMailHeaderDescription(&row);
            return row.m_strSubject + " | " + row.m_strDate + " | " + row.m_strMessageId + " | " +
                   Str(row.m_nPriority);
        }
        if (name == "news-from") {
            CNIDLRec row;
            m.GetMailHeaderDescription(&row);
            return row.m_strFrom;
        }
        if (name == "subject-charset") return m.Header().m_strSubjectCharset;
        if (name == "subject-length") return Str(static_cast<unsigned long long>(m.Header().m_strSubject.size()));
        if (name == "field-count") return Str(static_cast<unsigned long long>(m.Header().Fields().size()));
        if (name == "mail-text") return m.m_strMailText;
        if (name == "has") return Str(m_composed.find(a.at(0)) != std::string::npos);
        throw std::invalid_argument("no observation " + name);
    }

    Seen m_seen;
    std::string m_last;
    std::unique_ptr<CMailMessage> m_msg;
    std::string m_composed;
};

const TranscriptFamily kMime{"mime", "", [](const Vars&) {
                                 return std::unique_ptr<TranscriptClient>(new MimeClient);
                             }};

VELKOR_TRANSCRIPT_SUITE(MimeTranscript, kMime);

}  // namespace
}  // namespace velkor::test
