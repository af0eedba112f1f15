// URL parsing, combining and resolution, with the binding deviations.
#include <gtest/gtest.h>

#include "web/CURL.h"

namespace velkor {
namespace {

struct ParseCase {
    const char* url;
    const char* scheme;
    const char* netloc;
    const char* path;
    const char* params;
    const char* query;
    const char* fragment;
};

class UrlParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(UrlParse, Components) {
    const ParseCase& c = GetParam();
    CURLComponent parts;
    parts.m_strPath = "untouched";
    CURL().Parse(c.url, parts);
    EXPECT_EQ(parts.m_strScheme, c.scheme);
    EXPECT_EQ(parts.m_strNetLoc, c.netloc);
    EXPECT_EQ(parts.m_strPath, c.path);
    EXPECT_EQ(parts.m_strParams, c.params);
    EXPECT_EQ(parts.m_strQuery, c.query);
    EXPECT_EQ(parts.m_strFragment, c.fragment);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UrlParse,
    ::testing::Values(ParseCase{"http://h", "http", "h", "untouched", "", "", ""},
                      ParseCase{"http://h?x=1", "http", "h?x=1", "untouched", "", "", ""},
                      ParseCase{"a:b", "a", "", "b", "", "", ""},
                      ParseCase{":x", "", "", ":x", "", "", ""},
                      ParseCase{"my_site:8080/x", "", "", "my_site:8080/x", "", "", ""},
                      ParseCase{"/p;a?b#c", "", "", "/p", "a", "b", "c"},
                      ParseCase{"/p?q;r", "", "", "/p", "", "q;r", ""},
                      ParseCase{"HTTP://u:p@h:80/d/f.html;x?y#z", "HTTP", "u:p@h:80",
                                "/d/f.html", "x", "y", "z"},
                      ParseCase{"", "", "", "", "", "", ""}));

TEST(UrlCombine, AppendsTheNonEmptyParts) {
    const CURL url;
    CURLComponent parts;
    EXPECT_EQ(url.Combine(parts), "");
    parts.m_strPath = "p";
    EXPECT_EQ(url.Combine(parts), "p");
    url.Parse("http://h/d/f;x?y#z", parts);
    EXPECT_EQ(url.Combine(parts), "http://h/d/f;x?y#z");
    EXPECT_EQ(url.IsSchemeValid(""), 1);
    EXPECT_EQ(url.IsSchemeValid("svn+SSH.1-2"), 1);
    EXPECT_EQ(url.IsSchemeValid("a_b"), 0);
}

struct ResolveCase {
    const char* base;
    const char* relative;
    const char* absolute;
};

class UrlResolve : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(UrlResolve, AgainstTheBase) {
    const ResolveCase& c = GetParam();
    EXPECT_EQ(CURL().GetAbsoluteURL(c.base, c.relative), c.absolute)
        << c.base << " + " << c.relative;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UrlResolve,
    ::testing::Values(ResolveCase{"s://h/a/b/c", "d", "s://h/a/b/d"},
                      ResolveCase{"s://h/a/b/c", "../d", "s://h/a/d"},
                      ResolveCase{"s://h/a/b/c", "./d", "s://h/a/b/d"},
                      ResolveCase{"s://h/a/b/c", "..", "s://h/a/"},
                      ResolveCase{"s://h/a/b/c", ".", "s://h/a/b/"},
                      ResolveCase{"s://h/a/b/c", "?y", "s://h/a/b/c?y"},
                      ResolveCase{"s://h/a/b/c", "#f", "s://h/a/b/c#f"},
                      ResolveCase{"s://h/a/b/c", "//other/x", "s://other/x"},
                      ResolveCase{"s://h/a/b/c", "Other:Thing", "Other:Thing"},
                      ResolveCase{"s://h/a/b/c", "/x/./y", "s://h/x/./y"},
                      ResolveCase{"s://h/a/b/c", "g/./././h", "s://h/a/b/g/h"},
                      ResolveCase{"s://h/a/b/c", "../../../../g", "s://h/../../g"},
                      ResolveCase{"s://h/a", "../x", "s://h/../x"},
                      ResolveCase{"s://h/a", "../../x", "s://h/../../x"},
                      ResolveCase{"s://h/a/b;p?q", ";np", "s://h/a/b;np"},
                      ResolveCase{"s://h/a/b;p?q", "#f", "s://h/a/b;p?q#f"},
                      ResolveCase{"", "rel/x", "rel/x"},
                      ResolveCase{"s://h/a", "", "s://h/a"}));

TEST(UrlResolve, LongHostilePathsStayLinear) {
    std::string rel;
    for (int i = 0; i < 200000; ++i) rel += "x/../";
    rel += "end";
    EXPECT_EQ(CURL().GetAbsoluteURL("s://h/a/b", rel), "s://h/a/end");
}

}  // namespace
}  // namespace velkor
