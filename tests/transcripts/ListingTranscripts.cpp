// Directory-listing lines: every transcript in transcripts/listing. No peer.
//
// Calls: Parse_ls LINE and Parse_mlsd LINE (1 when understood); mlsd
// observes "name|permission|64-bit size|UTC seconds|32-bit time". Observed: entry, the parsed
// fields as "name|owner|group|permission|modified|size|dir link exec char"
// with the time in local "YYYY-MM-DD HH:MM" (or -1); entry-seconds, the same
// with the time in seconds since 1970 (EPLF's own form); name-length.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <stdexcept>

#include "Transcript.h"
#include "ftp/CFtp.h"

namespace velkor::test {
namespace {

std::string LocalTime(std::int32_t t) {
    if (t == -1) return "-1";
    const std::time_t when = t;
    std::tm tm{};
    localtime_r(&when, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &tm);
    return text;
}

class ListingClient : public TranscriptClient {
public:
    ~ListingClient() override { m_file.FreeStrings(); }

    std::string Call(const std::string& name, const Words& a) override {
        if (name != "Parse_ls" && name != "Parse_mlsd") throw std::invalid_argument("no call " + name);
        m_file.FreeStrings();
        m_file = CFtpFile();
        return Str((name == "Parse_ls" ? CFtp::Parse_ls : CFtp::Parse_mlsd)(a.at(0).c_str(), &m_file));
    }

    std::string Observe(const std::string& name, const Words&) override {
        const CFtpFile& f = m_file;
        if (name == "name-length") return Str(static_cast<unsigned long long>(std::strlen(f.m_pszName)));
        if (name == "mlsd")  // the facts only MLSD gives: 64-bit size, UTC seconds
            return std::string(f.m_pszName) + "|" + f.m_pszPermission + "|" + Str(static_cast<unsigned long long>(f.m_nSize64)) +
                   "|" + Str(static_cast<long long>(f.m_tModifiedUtc)) + "|" + Str(f.m_tModified);
        if (name != "entry" && name != "entry-seconds")
            throw std::invalid_argument("no observation " + name);
        const std::string time = name == "entry" ? LocalTime(f.m_tModified) : Str(f.m_tModified);
        return std::string(f.m_pszName) + "|" + f.m_pszOwner + "|" + f.m_pszGroup + "|" +
               f.m_pszPermission + "|" + time + "|" + Str(f.m_nSize) + "|" +
               Str(int{f.m_bDirectory}) + " " + Str(int{f.m_bLink}) + " " + Str(int{f.m_bExec}) +
               " " + Str(int{f.m_bCharDevice});
    }

private:
    CFtpFile m_file;
};

const TranscriptFamily kListing{"listing", "", [](const Vars&) {
                                    return std::unique_ptr<TranscriptClient>(new ListingClient);
                                }};

VELKOR_TRANSCRIPT_SUITE(ListingTranscript, kListing);

}  // namespace
}  // namespace velkor::test
