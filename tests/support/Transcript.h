// Transcripts: scripted-peer test cases as small plain-text files, read by
// one runner per protocol family (tests/transcripts/<family>/*.txt).
//
// A transcript is a conversation. Lines whose tag starts with S, C or D are
// the peer's side and run in the peer's thread; lines starting with >, = or ?
// are the client's side and run in the test's thread. Each side keeps the
// order of the file; the two run at the same time, as client and server do.
//
//   # what fault this case catches          the first comment line names the case's purpose
//   S: 220 ready                            the peer sends the text and CR LF
//   S~ 22                                   the peer sends the text as it is (a split read)
//   C: USER alice                           the next line the client sends is exactly this
//   C: EHLO *                               ... or starts with "EHLO " (a trailing *)
//   C~ \x05\x01\x00                         the next bytes the client sends are exactly these
//   S: <sleep 200>                          the peer pauses 200 ms
//   S: <close>  <reset>                     the peer closes (orderly, or with RST) and stops
//   S: <drain>                              the peer reads until the client closes
//   S: <request>                            the peer reads lines up to an empty one
//   S: <repeat 40 300 x>                    sends "x" 40 times, 300 ms apart (stops when refused)
//   S: <dial TEXT>                          connects to the address of the client's last PORT
//                                           line and sends TEXT there (FTP active mode)
//   S: <next>                               ends this connection: the lines after it serve the next one
//   D: ... D~ ...                           the same on the data peer (a second listener)
//   D: <recv up>                            the data peer reads to the end into `up`
//   > Call arg "quoted arg" ...             the client makes a call of the family's table
//   = 1                                     the value the last call returned
//   ? name [args] value                     an observation equals value (the last word)
//   > Call "long \                          a line ending in " \" goes on with the next one
//          text"                            (its leading blanks dropped)
//
// When the peer's lines of a connection are done it answers QUIT with the
// family's goodbye and counts every other line as an unscripted one (a
// fault); families without a goodbye read to the end or close. Texts take the escapes \r \n \t \0 \\ \xHH \{ and the expansions
// {port} (control peer), {dport} and {pasv} (data peer and its 227 reply),
// {closedport} (a loopback port where nothing listens), {year} (this year),
// {tmp} (a folder of the case), {N*c} (N times c) and {A:B#} (bytes A to B
// of the counting pattern i*7+3).
//
// The engine also knows these client lines: "> sleep MS", "> write-file
// PATH TEXT" (its folders made), "> mkdir PATH", "> symlink TARGET LINK",
// "? file PATH TEXT" ("<none>": no such file), "? file-size PATH
// N", "? elapsed-below MS" and "? elapsed-at-least MS" (of the last call),
// "? accepted N" (control
// connections so far) and "? peer NAME TEXT" (what `<recv NAME>` read,
// checked once the peers are done). Every family may start real servers and
// look at what they stored: the lines of TranscriptServers.h.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace velkor::test {

using Words = std::vector<std::string>;
using Vars = std::map<std::string, std::string>;

// One family's client: its calls and observations, by name. Both throw
// std::invalid_argument for a name they do not know.
class TranscriptClient {
public:
    virtual ~TranscriptClient() = default;
    virtual std::string Call(const std::string& name, const Words& args) = 0;
    virtual std::string Observe(const std::string& name, const Words& args) = 0;
    // Expansions a call made known (say, the port of a server it started).
    virtual void AddVars(Vars&) {}
};

// Thrown by a client that cannot run the case here (a server not
// installed): the case is skipped with the reason.
struct TranscriptSkipped : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct TranscriptFamily {
    std::string folder;     // under tests/transcripts/
    std::string goodbye;    // the answer to QUIT after the script; empty: read to the end
    std::function<std::unique_ptr<TranscriptClient>(const Vars&)> makeClient;
    bool closeAfterScript = false;  // close at once instead (a client that keeps connections)
};

// Text with escapes and expansions replaced.
std::string ExpandText(const std::string& text, const Vars& vars);
// Arguments separated by blanks, "quoted" ones taking blanks; each expanded.
Words SplitWords(const std::string& text, const Vars& vars);

// The transcripts of a family's folder, sorted.
std::vector<std::string> TranscriptFiles(const std::string& folder);
// A test name from a transcript's file name.
std::string TranscriptName(const std::string& path);

// Runs one transcript; the faults found, in the order of the file's lines
// (empty: it passed; one "skipped: WHY": it could not run here).
std::vector<std::string> RunTranscript(const std::string& path, const TranscriptFamily& family);

// Number and bool results as the transcripts write them.
inline std::string Str(long long v) { return std::to_string(v); }
inline std::string Str(unsigned long long v) { return std::to_string(v); }
inline std::string Str(int v) { return std::to_string(v); }
inline std::string Str(unsigned v) { return std::to_string(v); }
inline std::string Str(bool v) { return v ? "1" : "0"; }
inline std::string Str(std::string v) { return v; }
// Lines joined with " | ".
std::string JoinLines(const std::vector<std::string>& lines);

}  // namespace velkor::test

// Declares the parameterised test of one family: every transcript of its
// folder is a case named after its file.
#define VELKOR_TRANSCRIPT_SUITE(Suite, familyExpr)                                            \
    class Suite : public ::testing::TestWithParam<std::string> {};                           \
    TEST_P(Suite, Runs) {                                                                     \
        const auto faults = ::velkor::test::RunTranscript(GetParam(), familyExpr);           \
        std::string shown;                                                                    \
        for (const std::string& fault : faults) shown += "\n  " + fault;                     \
        if (faults.size() == 1 && faults[0].rfind("skipped: ", 0) == 0) GTEST_SKIP() << faults[0]; \
        if (!faults.empty()) ADD_FAILURE() << GetParam() << ":" << shown;                     \
    }                                                                                         \
    INSTANTIATE_TEST_SUITE_P(                                                                 \
        Files, Suite, ::testing::ValuesIn(::velkor::test::TranscriptFiles((familyExpr).folder)), \
        [](const auto& info) { return ::velkor::test::TranscriptName(info.param); })
