// Directory-listing lines of the four styles, and hostile lines.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>

#include "ftp/CFtp.h"

namespace velkor {
namespace {

// Seconds since 1970 of a local date and time, as the parsers compute it.
std::int32_t Local(int year, int month, int day, int hour = 0, int minute = 0) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    return static_cast<std::int32_t>(std::mktime(&tm));
}

int ThisYear() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return tm.tm_year + 1900;
}

struct Entry {
    std::string name, owner, group, permission;
    std::int32_t time;
    std::uint32_t size;
    int dir, link, exec, charDevice;
};

struct ParseCase {
    const char* label;
    const char* line;
    Entry want;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.label; }

class ListingLine : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ListingLine, Parses) {
    const ParseCase& c = GetParam();
    CFtpFile f;
    ASSERT_TRUE(CFtp::Parse_ls(c.line, &f)) << c.line;
    EXPECT_STREQ(f.m_pszName, c.want.name.c_str());
    EXPECT_STREQ(f.m_pszOwner, c.want.owner.c_str());
    EXPECT_STREQ(f.m_pszGroup, c.want.group.c_str());
    EXPECT_STREQ(f.m_pszPermission, c.want.permission.c_str());
    EXPECT_EQ(f.m_tModified, c.want.time);
    EXPECT_EQ(f.m_nSize, c.want.size);
    EXPECT_EQ(f.m_bDirectory, c.want.dir);
    EXPECT_EQ(f.m_bLink, c.want.link);
    EXPECT_EQ(f.m_bExec, c.want.exec);
    EXPECT_EQ(f.m_bCharDevice, c.want.charDevice);
    f.FreeStrings();
}

INSTANTIATE_TEST_SUITE_P(
    Styles, ListingLine,
    ::testing::Values(
        ParseCase{"UnixDirWithTime", "drwxr-xr-x 2 user staff 4096 Jan 5 12:34 docs",
                  {"docs", "user", "staff", "drwxr-xr-x", Local(ThisYear(), 1, 5, 12, 34), 4096,
                   1, 0, 0, 0}},
        ParseCase{"UnixDirWithYear", "drwxr-xr-x 2 user staff 4096 Jan 5 2003 docs",
                  {"docs", "user", "staff", "drwxr-xr-x", Local(2003, 1, 5), 4096, 1, 0, 0, 0}},
        ParseCase{"UnixMarkerAfterMode", "-rwxr-xr-x+ 1 user staff 10 Jan 5 2003 run.sh\r\n",
                  {"run.sh", "user", "staff", "-rwxr-xr-x", Local(2003, 1, 5), 10, 0, 0, 1, 0}},
        ParseCase{"UnixLink", "lrwxrwxrwx 1 user staff 6 Mar 9 2003 lnk -> target",
                  {"lnk", "user", "staff", "lrwxrwxrwx", Local(2003, 3, 9), 6, 0, 1, 0, 0}},
        ParseCase{"UnixCharDevice", "crw-rw---- 1 root tty 4, 64 Jan 5 2003 tty0",
                  {"tty0", "root", "tty", "crw-rw----", Local(2003, 1, 5), (4u << 16) | 64, 0, 0,
                   0, 1}},
        ParseCase{"UnixNameWithBlanks", "-rw-r--r--   1 u   g    20 Dec  1  2003  b c.txt",
                  {"b c.txt", "u", "g", "-rw-r--r--", Local(2003, 12, 1), 20, 0, 0, 0, 0}},
        ParseCase{"UnixTabs", "-rw-r--r--\t1\tu\tg\t7 Feb 2 2020 t",
                  {"t", "u", "g", "-rw-r--r--", Local(2020, 2, 2), 7, 0, 0, 0, 0}},
        ParseCase{"MsDosDirectory", "02-18-98  03:25PM       <DIR>          aspnet_client",
                  {"aspnet_client", "unknown", "unknown", "drwxrwxrwx", Local(1998, 2, 18, 15, 25),
                   0, 1, 0, 0, 0}},
        ParseCase{"MsDosFileMidnight", "02-18-98  12:10AM  1234 a b.txt",
                  {"a b.txt", "unknown", "unknown", "-rw-rw-rw-", Local(1998, 2, 18, 0, 10), 1234,
                   0, 0, 0, 0}},
        // Dates a 32-bit time cannot hold: the failure value, never a wrapped one.
        ParseCase{"UnixYear2100", "-rw-r--r-- 1 u g 5 Jan 5 2100 f",
                  {"f", "u", "g", "-rw-r--r--", -1, 5, 0, 0, 0, 0}},
        ParseCase{"UnixYear1901", "-rw-r--r-- 1 u g 5 Jan 5 1901 f",
                  {"f", "u", "g", "-rw-r--r--", -1, 5, 0, 0, 0, 0}},
        ParseCase{"MsDosYear1900", "01-05-00  12:00PM  5 x",
                  {"x", "unknown", "unknown", "-rw-rw-rw-", -1, 5, 0, 0, 0, 0}},
        ParseCase{"MsDosNoon", "02-18-98  12:10PM  1 n",
                  {"n", "unknown", "unknown", "-rw-rw-rw-", Local(1998, 2, 18, 12, 10), 1, 0, 0, 0,
                   0}},
        ParseCase{"MsDosMorning", "02-18-98  10:15AM  1 n",
                  {"n", "unknown", "unknown", "-rw-rw-rw-", Local(1998, 2, 18, 10, 15), 1, 0, 0, 0,
                   0}},
        ParseCase{"Eplf", "+i8388621.29609,m824255902,r,s280,\treadme",
                  {"readme", "unknown", "unknown", "----------", 824255902, 280, 0, 0, 0, 0}},
        ParseCase{"EplfDirectory", "+i8388621.48594,m825718503,\\,\tpub",
                  {"pub", "unknown", "unknown", "d---------", 825718503, 0, 1, 0, 0, 0}},
        ParseCase{"NetWare", "d [RWCEAFMS] admin 512 Jan 5 2003 apps",
                  {"apps", "admin", "unknown", "d [RWCEAFMS]", Local(2003, 1, 5), 512, 1, 0, 0,
                   0}}),
    [](const ::testing::TestParamInfo<ParseCase>& info) { return info.param.label; });

TEST(ListingLine, RecentDateAheadOfTodayBelongsToLastYear) {
    const std::time_t now = std::time(nullptr);
    std::tm today{};
    localtime_r(&now, &today);
    // Tomorrow's month and day (or the same when today is 31 December, which
    // is then this year's and tested for it).
    std::tm tomorrow = today;
    tomorrow.tm_mday += 1;
    const std::time_t t = std::mktime(&tomorrow);
    localtime_r(&t, &tomorrow);
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::string line = std::string("-rw-r--r-- 1 u g 1 ") + months[tomorrow.tm_mon] + " " +
                             std::to_string(tomorrow.tm_mday) + " 08:00 f";
    CFtpFile f;
    ASSERT_TRUE(CFtp::Parse_ls(line.c_str(), &f));
    const int year = tomorrow.tm_year > today.tm_year ? today.tm_year + 1900
                                                      : today.tm_year + 1900 - 1;
    EXPECT_EQ(f.m_tModified, Local(year, tomorrow.tm_mon + 1, tomorrow.tm_mday, 8, 0)) << line;
    f.FreeStrings();
}

class RejectedLine : public ::testing::TestWithParam<std::string> {};

TEST_P(RejectedLine, IsRejectedWithoutReadingPastIt) {
    CFtpFile f;
    EXPECT_FALSE(CFtp::Parse_ls(GetParam().c_str(), &f)) << GetParam();
    f.FreeStrings();
}

INSTANTIATE_TEST_SUITE_P(
    Lines, RejectedLine,
    ::testing::Values("total 12", "", "+", "+m12,s3", "1", "1-", "12-", "02-18-98", "02-18-98  ",
                      "02-18-98 03", "d [RWCEAFMS]x admin 512 Jan 5 2003 apps", " [", "x",
                      "drwxr-xr-x", "drwxr-xr-x 2 user staff 4096 Jan 5 12:34",
                      "crw-rw---- 1 root tty 4 Jan 5 2003 no-comma",
                      "crw-rw---- 1 root tty 4, 64",
                      "-rw-r--r-- 1 u g 20 Jan5 2003 x", std::string(5000, ' '),
                      std::string(100000, 'a'), std::string(300, ':'),
                      std::string("\x01\xff\x80 \t\t\x7f", 7)));

TEST(ListingLine, NullArgumentsAndHugeNamesAreSafe) {
    CFtpFile f;
    EXPECT_FALSE(CFtp::Parse_ls(nullptr, &f));
    EXPECT_FALSE(CFtp::Parse_ls("total 1", nullptr));
    const std::string big = "-rw-r--r-- 1 u g 1 Jan 5 2003 " + std::string(1 << 20, 'n');
    ASSERT_TRUE(CFtp::Parse_ls(big.c_str(), &f));
    EXPECT_EQ(std::strlen(f.m_pszName), 1u << 20);
    f.FreeStrings();
}

}  // namespace
}  // namespace velkor
