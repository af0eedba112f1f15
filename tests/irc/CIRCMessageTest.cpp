// IRC lines: parsing, printing, the table, classification, builders,
// records and the channel mode grammar.
#include <gtest/gtest.h>

#include <ctime>

#include "irc/CIRCMessage.h"

namespace velkor {
namespace {

using Mode = CIRCChannelModeParam;
using Params = std::vector<std::string>;
using Changes = Mode::ModeChangeList;

struct ParseCase {
    const char* line;
    const char* nick;
    const char* user;
    const char* host;
    const char* command;
    int id;
    Params params;
    const char* printed;
};

class Parse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(Parse, TokenisesAndPrints) {
    const ParseCase& c = GetParam();
    const std::time_t before = std::time(nullptr);
    const CIRCMessage m(c.line);
    EXPECT_EQ(m.m_strNick, c.nick);
    EXPECT_EQ(m.m_strUser, c.user);
    EXPECT_EQ(m.m_strHost, c.host);
    EXPECT_EQ(m.m_strCommand, c.command);
    EXPECT_EQ(m.m_nMsgID, c.id);
    EXPECT_EQ(m.m_arrParams, c.params);
    EXPECT_GE(m.m_tTime, before);
    EXPECT_EQ(m.AsString(), c.printed);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, Parse,
    ::testing::Values(
        ParseCase{":nick!user@host.example PRIVMSG #chan :hello there  world", "nick", "user",
                  "host.example", "PRIVMSG", 1, {"#chan", "hello there  world"},
                  ":nick!user@host.example PRIVMSG #chan :hello there  world\r\n"},
        ParseCase{"ping :irc.example", "", "", "", "PING", 34, {"irc.example"},
                  "PING :irc.example\r\n"},
        ParseCase{":op MODE #c +o alice", "op", "", "", "MODE", 8, {"#c", "+o", "alice"},
                  ":op MODE #c +o :alice\r\n"},
        ParseCase{"PRIVMSG a :one\r\nQUIT :two", "", "", "", "PRIVMSG", 1, {"a", "one"},
                  "PRIVMSG a :one\r\n"},
        ParseCase{"CMD  a   b :", "", "", "", "CMD", 217, {"a", "b", ""}, "CMD a b :\r\n"},
        ParseCase{":nick@host 004 x", "nick@host", "", "", "004", 47, {"x"},
                  ":nick@host 004 :x\r\n"},
        ParseCase{":n!u JOIN #x", "n", "u", "", "JOIN", 11, {"#x"}, ":n JOIN :#x\r\n"},
        ParseCase{":srv 244 a", "srv", "", "", "244", 208, {"a"}, ":srv 244 :a\r\n"},
        ParseCase{"vlk :note", "", "", "", "VLK", 215, {"note"}, "VLK :note\r\n"},
        ParseCase{"", "", "", "", "", 3, {}, "\r\n"},
        ParseCase{":", "", "", "", "", 3, {}, "\r\n"},
        ParseCase{"   ", "", "", "", "", 3, {}, "\r\n"}));

TEST(Parse, HostileLines) {
    const std::string big(1 << 20, 'x');
    CIRCMessage m(":" + big + " " + big + " " + big + " :" + big);
    EXPECT_EQ(m.m_strNick.size(), big.size());
    EXPECT_EQ(m.m_arrParams.size(), 2u);
    CIRCMessage blanks(std::string(1 << 20, ' ') + "PING");
    EXPECT_EQ(blanks.m_strCommand, "");
    EXPECT_EQ(blanks.m_arrParams, Params{"PING"});
    CIRCMessage nul(std::string("PING a\0b c", 10));
    EXPECT_EQ(nul.m_arrParams, Params{"a"});
}

TEST(Table, WordsIdsAndClasses) {
    EXPECT_EQ(CIRCMessage::GetIRCCmdID("privmsg"), IRC_MSG_PRIVMSG);
    EXPECT_EQ(CIRCMessage::GetIRCCmdID("353"), RPL_NAMREPLY);
    EXPECT_EQ(CIRCMessage::GetIRCCmdID("nope"), IRC_MSG_UNDEFINED);
    EXPECT_EQ(CIRCMessage::GetIRCCmdID(""), 3);
    EXPECT_EQ(CIRCMessage::GetIRCCmdString(RPL_ENDOFNAMES), "366");
    EXPECT_EQ(CIRCMessage::GetIRCCmdString(static_cast<IRC_MSG_ID>(218)), "");
    EXPECT_EQ(CIRCMessage::GetIRCCmdString(static_cast<IRC_MSG_ID>(-1)), "");
    // Every non-empty word maps back to its own ID (244 to its first).
    int words = 0;
    for (int id = 0; id < kIrcMsgIdCount; ++id) {
        const std::string w = CIRCMessage::GetIRCCmdString(static_cast<IRC_MSG_ID>(id));
        if (w.empty()) continue;
        ++words;
        EXPECT_EQ(CIRCMessage::GetIRCCmdID(w), w == "244" ? 208 : id) << w;
    }
    EXPECT_EQ(words, 207);
}

struct ClassCase {
    const char* word;
    bool command, notifyBack, reply, list, listEnd, error, commonError, reserved, vlk, undefined;
};

class Classes : public ::testing::TestWithParam<ClassCase> {};

TEST_P(Classes, Ranges) {
    const ClassCase& c = GetParam();
    const CIRCMessage m(std::string(c.word) + " x");
    EXPECT_EQ(m.IsCommandMsg(), c.command);
    EXPECT_EQ(m.IsCommandNotifyBackMsg(), c.notifyBack);
    EXPECT_EQ(m.IsReplyMsg(), c.reply);
    EXPECT_EQ(m.IsReplyListMsg(), c.list);
    EXPECT_EQ(m.IsReplyListEndMsg(), c.listEnd);
    EXPECT_EQ(m.IsErrorMsg(), c.error);
    EXPECT_EQ(m.IsErrorCommonMsg(), c.commonError);
    EXPECT_EQ(m.IsReservedMsg(), c.reserved);
    EXPECT_EQ(m.IsVlkMsg(), c.vlk);
    EXPECT_EQ(m.IsUndefinedMsg(), c.undefined);
}

INSTANTIATE_TEST_SUITE_P(
    Words, Classes,
    ::testing::Values(ClassCase{"NOTICE", 1, 1, 0, 0, 0, 0, 0, 0, 0, 0},
                      ClassCase{"ISON", 1, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                      ClassCase{"004", 0, 0, 1, 1, 1, 0, 0, 0, 0, 0},
                      ClassCase{"353", 0, 0, 1, 1, 0, 0, 0, 0, 0, 0},
                      ClassCase{"001", 0, 0, 1, 0, 0, 0, 0, 0, 0, 0},
                      ClassCase{"461", 0, 0, 0, 0, 0, 1, 1, 0, 0, 0},
                      ClassCase{"502", 0, 0, 0, 0, 0, 1, 0, 0, 0, 0},
                      ClassCase{"492", 0, 0, 0, 0, 0, 0, 0, 1, 0, 0},
                      ClassCase{"VLK", 0, 0, 0, 0, 0, 0, 0, 0, 1, 0},
                      ClassCase{"999", 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));

TEST(Replies, BelongingAndEnding) {
    const CIRCMessage names("NAMES #c"), join("JOIN #c"), whois("WHOIS bob");
    const CIRCMessage r353(":s 353 me = #c :a b"), r366(":s 366 me #c :End"),
        r318(":s 318 me bob :End"), r311(":s 311 me bob u h * :Bob"), r401(":s 401 me bob :No");
    EXPECT_TRUE(names.IsMyReplyMsg(r353));
    EXPECT_FALSE(names.IsMyReplyEndMsg(r353));
    EXPECT_TRUE(names.IsMyReplyEndMsg(r366));
    EXPECT_TRUE(join.IsMyReplyMsg(r353));
    EXPECT_FALSE(join.IsMyReplyEndMsg(r366));
    EXPECT_FALSE(whois.IsMyReplyEndMsg(r311));
    EXPECT_TRUE(whois.IsMyReplyEndMsg(r318));
    EXPECT_TRUE(whois.IsMyReplyEndMsg(r401));  // not a list reply: its first reply ends it
    EXPECT_FALSE(r353.IsMyReplyMsg(r366));     // a reply has no replies
    EXPECT_FALSE(CIRCMessage("ERROR :x").IsMyReplyMsg(r401));
}

TEST(Notifications, ServerAndEchoes) {
    const CIRCMessage other(":bob!b@h PRIVMSG #c :hi"), mine(":Me!m@h QUIT :bye"),
        noPrefix("PRIVMSG #c :hi"), reply(":srv 001 me :Welcome"), unknown("XYZ");
    EXPECT_TRUE(other.IsServerNotifyMsg("me"));
    EXPECT_FALSE(mine.IsServerNotifyMsg("me"));
    EXPECT_FALSE(noPrefix.IsServerNotifyMsg("me"));
    EXPECT_FALSE(reply.IsServerNotifyMsg("me"));
    EXPECT_TRUE(unknown.IsServerNotifyMsg("me"));
    EXPECT_TRUE(mine.IsVLKNotifyBackMsg("ME"));
    EXPECT_FALSE(other.IsVLKNotifyBackMsg("me"));
}

TEST(AutoMessages, Markers) {
    const CIRCMessage am("PRIVMSG bob :VLK-AM   hello world"), split("PRIVMSG bob :vlk-am+ part"),
        bare("PRIVMSG bob :VLK-AM"), plain("PRIVMSG bob :VLK-AMX y");
    EXPECT_TRUE(am.IsAutoMsg());
    EXPECT_FALSE(am.IsSplitAutoMsg());
    EXPECT_EQ(am.GetAutoMsgString(), "hello world");
    EXPECT_TRUE(split.IsSplitAutoMsg());
    EXPECT_EQ(split.GetAutoMsgString(), "part");
    EXPECT_TRUE(bare.IsAutoMsg());
    EXPECT_EQ(bare.GetAutoMsgString(), "");
    EXPECT_FALSE(plain.IsAutoMsg());
    EXPECT_EQ(plain.GetAutoMsgString(), "");
}

TEST(Names, ChannelsAndNicknames) {
    for (const char* ok : {"#a", "&a", "+a", "!a"}) EXPECT_TRUE(CIRCMessage::IsValidChannelName(ok));
    for (const std::string& bad : std::vector<std::string>{"a", "#a b", "#a,b", "#a\x07", "", std::string("\0#a", 3)})
        EXPECT_FALSE(CIRCMessage::IsValidChannelName(bad)) << bad;
    EXPECT_FALSE(CIRCMessage::IsValidChannelName("#" + std::string(254, 'c')));
    EXPECT_TRUE(CIRCMessage::IsValidChannelName("#" + std::string(253, 'c')));
    for (const char* ok : {"abc-d", "[nick]", "_x", "\xE9t\xE9", "a1"})
        EXPECT_TRUE(CIRCMessage::IsValidNickName(ok)) << ok;
    for (const char* bad : {"1abc", "-abc", "a.b", "", "a b"})
        EXPECT_FALSE(CIRCMessage::IsValidNickName(bad)) << bad;
    EXPECT_TRUE(CIRCMessage::IsValidNickName(std::string(255, 'n')));
    EXPECT_FALSE(CIRCMessage::IsValidNickName(std::string(256, 'n')));
}

TEST(Messages, CompareCopyResetAndParamStrings) {
    CIRCMessage a(":Nick!u@h PRIVMSG #Chan :Hello");
    CIRCMessage b = a;
    b.m_strNick = "NICK";
    b.m_arrParams[0] = "#chan";
    EXPECT_TRUE(a == b);
    b.m_arrParams[1] = "Bye";
    EXPECT_TRUE(a != b);
    b.Reset();
    EXPECT_EQ(b.m_tTime, 0);
    EXPECT_EQ(b.m_nMsgID, IRC_MSG_UNDEFINED);
    EXPECT_EQ(CIRCMessage().m_tTime, -1);
    const CIRCMessage p("X a b c d");
    EXPECT_EQ(p.GetParamString(1, 1), "b");
    EXPECT_EQ(p.GetParamString(0, 3), "a b c");
    EXPECT_EQ(p.GetParamString(1, 3), "b c");  // the end index is the count itself
    EXPECT_EQ(p.GetParamString(1, -1), "b c d");
    EXPECT_EQ(p.GetParamString(3, 2), "");
    EXPECT_EQ(p.GetParamString(4, 1), "");
    EXPECT_EQ(p.GetParamString(0, 0), "");
}

struct BuildCase {
    const char* label;
    CIRCMessage (*build)();
    int id;
    Params params;
    const char* printed;
};

void PrintTo(const BuildCase& c, std::ostream* os) { *os << c.label; }

CIRCMessage Built(void (*f)(CIRCMessage&)) {
    CIRCMessage m(":stale!x@y OLD a b");
    f(m);
    return m;
}

class Builders : public ::testing::TestWithParam<BuildCase> {};

TEST_P(Builders, ComposeParseAndPrint) {
    const BuildCase& c = GetParam();
    const std::time_t before = std::time(nullptr);
    const CIRCMessage m = c.build();
    EXPECT_EQ(m.m_strNick, "");
    EXPECT_EQ(m.m_nMsgID, c.id);
    EXPECT_EQ(m.m_arrParams, c.params);
    EXPECT_GE(m.m_tTime, before);
    EXPECT_EQ(m.AsString(), c.printed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Builders,
    ::testing::Values(
        BuildCase{"JoinAddsHash", [] { return Built([](CIRCMessage& m) { m.CreateJoinMsg("chan", ""); }); },
                  11, {"#chan"}, "JOIN :#chan\r\n"},
        BuildCase{"JoinWithKey", [] { return Built([](CIRCMessage& m) { m.CreateJoinMsg("&c", "key"); }); },
                  11, {"&c", "key"}, "JOIN &c :key\r\n"},
        BuildCase{"JoinEmpty", [] { return Built([](CIRCMessage& m) { m.CreateJoinMsg("", ""); }); },
                  11, {}, "JOIN\r\n"},
        BuildCase{"PartAddsHash", [] { return Built([](CIRCMessage& m) { m.CreatePartMsg("c"); }); },
                  12, {"#c"}, "PART :#c\r\n"},
        BuildCase{"AwayEmpty", [] { return Built([](CIRCMessage& m) { m.CreateAwayMsg(""); }); },
                  37, {}, "AWAY\r\n"},
        BuildCase{"Away", [] { return Built([](CIRCMessage& m) { m.CreateAwayMsg("gone out"); }); },
                  37, {"gone out"}, "AWAY :gone out\r\n"},
        BuildCase{"TopicQuery", [] { return Built([](CIRCMessage& m) { m.CreateTopicMsg("#c", ""); }); },
                  13, {"#c"}, "TOPIC :#c\r\n"},
        BuildCase{"Topic", [] { return Built([](CIRCMessage& m) { m.CreateTopicMsg("#c", "new one"); }); },
                  13, {"#c", "new one"}, "TOPIC #c :new one\r\n"},
        BuildCase{"Invite", [] { return Built([](CIRCMessage& m) { m.CreateInviteMsg("#c", "bob"); }); },
                  16, {"bob", "#c"}, "INVITE bob :#c\r\n"},
        BuildCase{"Kick", [] { return Built([](CIRCMessage& m) { m.CreateKickMsg("#c", "bob"); }); },
                  17, {"#c", "bob"}, "KICK #c :bob\r\n"},
        BuildCase{"Private", [] { return Built([](CIRCMessage& m) { m.CreatePrivateMsg("#c", "hi all"); }); },
                  1, {"#c", "hi all"}, "PRIVMSG #c :hi all\r\n"},
        BuildCase{"CrLfIsCut", [] { return Built([](CIRCMessage& m) { m.CreatePrivateMsg("#c", "hi\r\nQUIT :pwned"); }); },
                  1, {"#c", "hi"}, "PRIVMSG #c :hi\r\n"},
        BuildCase{"LfInTargetIsCut", [] { return Built([](CIRCMessage& m) { m.CreatePrivateMsg("#c\nKILL x", "t"); }); },
                  1, {"#c"}, "PRIVMSG :#c\r\n"},
        BuildCase{"Nick", [] { return Built([](CIRCMessage& m) { m.CreateNickMsg("neo"); }); },
                  5, {"neo"}, "NICK :neo\r\n"},
        BuildCase{"List", [] { return Built([](CIRCMessage& m) { m.CreateListMsg(); }); }, 15, {},
                  "LIST\r\n"},
        BuildCase{"Whois", [] { return Built([](CIRCMessage& m) { m.CreateWhoisMsg("bob"); }); },
                  31, {"bob"}, "WHOIS :bob\r\n"},
        BuildCase{"Whowas", [] { return Built([](CIRCMessage& m) { m.CreateWhowasMsg("bob"); }); },
                  32, {"bob"}, "WHOWAS :bob\r\n"},
        BuildCase{"Quit", [] { return Built([](CIRCMessage& m) { m.CreateQuitMsg("bye now"); }); },
                  0, {"bye now"}, "QUIT :bye now\r\n"},
        BuildCase{"Ping", [] { return Built([](CIRCMessage& m) { m.CreatePingMsg("srv"); }); },
                  34, {"srv"}, "PING :srv\r\n"},
        BuildCase{"Pong", [] { return Built([](CIRCMessage& m) { m.CreatePongMsg(CIRCMessage("PING :irc.x")); }); },
                  35, {"irc.x"}, "PONG :irc.x\r\n"},
        BuildCase{"PongEmpty", [] { return Built([](CIRCMessage& m) { m.CreatePongMsg(CIRCMessage("PING")); }); },
                  35, {""}, "PONG :\r\n"},
        BuildCase{"Vlk", [] { return Built([](CIRCMessage& m) { m.CreateVlkNotifyMsg("x y"); }); },
                  215, {"x y"}, "VLK :x y\r\n"},
        BuildCase{"ModeQuery", [] { return Built([](CIRCMessage& m) { m.CreateChannelModeMsg("#c", Mode::MODE_BAN); }); },
                  8, {"#c", "b"}, "MODE #c :b\r\n"},
        BuildCase{"ModeOne", [] { return Built([](CIRCMessage& m) { m.CreateChannelModeMsg("#c", {Mode::MODE_KEY, "s3"}, 1); }); },
                  8, {"#c", "+k", "s3"}, "MODE #c +k :s3\r\n"},
        BuildCase{"ModeOneSingle", [] { return Built([](CIRCMessage& m) { m.CreateChannelModeMsg("#c", {Mode::MODE_MODERATED, "x"}, 0); }); },
                  8, {"#c", "-m"}, "MODE #c :-m\r\n"},
        BuildCase{"ModeLists", [] { return Built([](CIRCMessage& m) {
                      m.CreateChannelModeMsg("#c", {{Mode::MODE_OPERATOR, "ann"}, {Mode::MODE_VOICE, "bob"}},
                                             {{Mode::MODE_TOPICLOCK, ""}}); }); },
                  8, {"#c", "+ov-t", "ann", "bob"}, "MODE #c +ov-t ann :bob\r\n"},
        BuildCase{"ModeListsEmpty", [] { return Built([](CIRCMessage& m) { m.CreateChannelModeMsg("#c", Changes{}, Changes{}); }); },
                  8, {"#c"}, "MODE :#c\r\n"}),
    [](const ::testing::TestParamInfo<BuildCase>& info) { return info.param.label; });

TEST(Builders, NotifyBackSetsTheOwnNickOnEchoesOnly) {
    CIRCMessage m;
    m.CreatePrivateMsg("#c", "x");
    m.CreateVLKNotifyBackMsg("me");
    EXPECT_EQ(m.m_strNick, "me");
    m.CreateJoinMsg("#c", "");
    m.CreateVLKNotifyBackMsg("me");
    EXPECT_EQ(m.m_strNick, "");
    // Like every builder's text, the nick ends at a line end: one line out.
    m.CreatePrivateMsg("#c", "x");
    m.CreateVLKNotifyBackMsg("me\r\nQUIT :owned");
    EXPECT_EQ(m.AsString(), ":me PRIVMSG #c :x\r\n");
}

TEST(Records, FromReceivedLines) {
    const auto names = CIRCMessage(":s 353 me = #c :@op +voice  plain").GetRPLNamesParam();
    EXPECT_EQ(names.m_strChannel, "#c");
    ASSERT_EQ(names.m_names.size(), 3u);
    EXPECT_EQ(names.m_names[0], (std::pair<std::string, int>{"op", 1}));
    EXPECT_EQ(names.m_names[1], (std::pair<std::string, int>{"voice", 1}));
    EXPECT_EQ(names.m_names[2], (std::pair<std::string, int>{"plain", 0}));
    EXPECT_TRUE(CIRCMessage(":s 353 me = #c").GetRPLNamesParam().m_names.empty());

    const auto list = CIRCMessage(":s 322 me #c many :the topic").GetRPLListParam();
    EXPECT_EQ(list.m_strChannel, "#c");
    EXPECT_EQ(list.m_nUsers, 0);
    EXPECT_EQ(list.m_strTopic, "the topic");
    EXPECT_EQ(CIRCMessage(":s 322 me #c 12 :t").GetRPLListParam().m_nUsers, 12);

    const auto ban = CIRCMessage(":s 367 me #c *!*@bad.host").GetRPLChannelModeListParam();
    EXPECT_EQ(ban.m_strMask, "*!*@bad.host");
    EXPECT_EQ(ban.m_strSetter, "");
    std::time_t zero = 0;
    std::tm tm{};
    localtime_r(&zero, &tm);
    char expected[32];
    std::strftime(expected, sizeof expected, "%Y-%m-%d %H:%M", &tm);
    EXPECT_EQ(ban.m_strTime, expected);

    const auto kick = CIRCMessage(":op KICK #c bob :bye").GetKickParam();
    EXPECT_EQ(kick.m_strNick, "op");
    EXPECT_EQ(kick.m_strKicked, "bob");
    EXPECT_EQ(CIRCMessage(":a QUIT :long text").GetQuitParam().m_strNick, "a");
    EXPECT_EQ(CIRCMessage(":s PONG s :tok").GetPongParam().m_strServer, "tok");
    const auto welcome = CIRCMessage(":irc.x 001 neo :Welcome").GetRPLWelcomeParam();
    EXPECT_EQ(welcome.m_strServer, "irc.x");
    EXPECT_EQ(welcome.m_strNick, "neo");
    EXPECT_EQ(CIRCMessage(":s 332 me #c :the topic").GetRPLTopicParam().m_strTopic, "the topic");
}

TEST(ModeGrammar, Commands) {
    auto r = CIRCMessage(":op MODE #c +ov-k ann bob key").GetChannelModeParam();
    EXPECT_EQ(r.m_strNick, "op");
    EXPECT_EQ(r.m_strChannel, "#c");
    EXPECT_EQ(r.m_addList, (Changes{{Mode::MODE_OPERATOR, "ann"}, {Mode::MODE_VOICE, "bob"}}));
    EXPECT_EQ(r.m_removeList, (Changes{{Mode::MODE_KEY, "key"}}));

    r = CIRCMessage("MODE #c -o+v ann bob").GetChannelModeParam();
    EXPECT_EQ(r.m_removeList, (Changes{{Mode::MODE_OPERATOR, "ann"}}));
    EXPECT_EQ(r.m_addList, (Changes{{Mode::MODE_VOICE, "bob"}}));

    // "-l" takes no value (InspIRCd, ircd-hybrid): "nick" belongs to "+v".
    r = CIRCMessage(":s MODE #c -l+v nick").GetChannelModeParam();
    EXPECT_EQ(r.m_removeList, (Changes{{Mode::MODE_LIMIT, ""}}));
    EXPECT_EQ(r.m_addList, (Changes{{Mode::MODE_VOICE, "nick"}}));

    // The sign starts again as "+" with every token.
    r = CIRCMessage("MODE #c -o ann v bob").GetChannelModeParam();
    EXPECT_EQ(r.m_removeList, (Changes{{Mode::MODE_OPERATOR, "ann"}}));
    EXPECT_EQ(r.m_addList, (Changes{{Mode::MODE_VOICE, "bob"}}));

    Mode::CHANNEL_MODETYPE type = Mode::MODE_NONE;
    for (const char* line : {"MODE #c +b", "MODE #c b"}) {
        r = CIRCMessage(line).GetChannelModeParam();
        EXPECT_EQ(r.m_addList, (Changes{{Mode::MODE_BAN, ""}}));
        EXPECT_EQ(r.IsQueryListMsg(&type), 1);
        EXPECT_EQ(type, Mode::MODE_BAN);
    }
    r = CIRCMessage("MODE #c +Zt").GetChannelModeParam();  // Z is unknown
    EXPECT_EQ(r.m_addList, (Changes{{Mode::MODE_TOPICLOCK, ""}}));
    EXPECT_EQ(r.IsQueryListMsg(&type), 0);
    EXPECT_EQ(type, Mode::MODE_NONE);

    r = CIRCMessage(":me MODE me +i").GetChannelModeParam();  // a user mode
    EXPECT_EQ(r.m_strNick, "me");
    EXPECT_TRUE(r.m_addList.empty() && r.m_removeList.empty() && r.m_strChannel.empty());
}

TEST(ModeGrammar, ChannelModeReply) {
    auto r = CIRCMessage(":s 324 me #c +tnl 25").GetRPLChannelModeParam();
    EXPECT_EQ(r.m_strNick, "");
    EXPECT_EQ(r.m_strChannel, "#c");
    EXPECT_EQ(r.m_addList, (Changes{{Mode::MODE_TOPICLOCK, ""},
                                    {Mode::MODE_NOOUTSIDE, ""},
                                    {Mode::MODE_LIMIT, "25"}}));
    r = CIRCMessage(":s 324 me #c +b +k pw").GetRPLChannelModeParam();
    EXPECT_EQ(r.m_addList, (Changes{{Mode::MODE_BAN, ""}, {Mode::MODE_KEY, "pw"}}));
    EXPECT_TRUE(CIRCMessage(":s 324 me").GetRPLChannelModeParam().m_strChannel.empty());
}

}  // namespace
}  // namespace velkor
