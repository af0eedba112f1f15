// Parsing and printing a realistic mix of server lines (as ngIRCd sends
// them in a session: registration, joins, modes, lists, messages).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "irc/CIRCMessage.h"

namespace {

using velkor::CIRCMessage;

const std::vector<std::string> kLines = {
    ":irc.velkor.test 001 alice :Welcome to the Internet Relay Network alice!~alice@127.0.0.1",
    ":irc.velkor.test 005 alice RFC2812 IRCD=ngIRCd CHARSET=UTF-8 CASEMAPPING=ascii "
    "PREFIX=(qaohv)~&@%+ CHANTYPES=#&+ CHANMODES=beI,k,l,imMnOPQRstVz CHANLIMIT=#&+:0 :are "
    "supported on this server",
    ":irc.velkor.test 251 alice :There are 1 users and 0 services on 1 servers",
    ":irc.velkor.test 372 alice :- \"Velkor test server\"",
    ":alice!~alice@127.0.0.1 JOIN :#velkor",
    ":irc.velkor.test 353 alice = #velkor :@alice bob +carol dave",
    ":irc.velkor.test 366 alice #velkor :End of NAMES list",
    ":alice!~alice@127.0.0.1 MODE #velkor +vkl bob s3cret 10",
    ":irc.velkor.test 324 alice #velkor +klnt s3cret 10",
    ":irc.velkor.test 367 alice #velkor *!*@bad.example alice 1796516482",
    ":irc.velkor.test 322 bob #velkor 2 :Velkor test topic",
    ":alice!~alice@127.0.0.1 PRIVMSG #velkor :hello channel, how is everybody today?",
    ":bob!~bob@127.0.0.1 NOTICE alice :psst",
    ":alice!~alice@127.0.0.1 TOPIC #velkor :Velkor test topic",
    "PING :irc.velkor.test",
    ":bob!~bob@127.0.0.1 QUIT :bye now",
};

void BM_ParseServerLines(benchmark::State& state) {
    std::size_t i = 0;
    for (auto _ : state) {
        CIRCMessage m(kLines[i]);
        benchmark::DoNotOptimize(m.m_nMsgID);
        if (++i == kLines.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseServerLines);

void BM_AsString(benchmark::State& state) {
    std::vector<CIRCMessage> messages;
    for (const auto& l : kLines) messages.emplace_back(l);
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(messages[i].AsString());
        if (++i == messages.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AsString);

}  // namespace
