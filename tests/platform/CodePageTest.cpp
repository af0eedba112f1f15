// Conversions between the active code page, UTF-8 and UTF-16: what the GUI
// boundary and the string table rely on, including bytes that form no
// character.
#include <gtest/gtest.h>

#include "platform/CodePage.h"

namespace velkor {
namespace {

struct PageCase {
    unsigned int page;
    std::string active;     // bytes in that page
    std::u16string wide;    // what they read as
};

class ActivePage : public testing::TestWithParam<PageCase> {
protected:
    void TearDown() override { SetActiveCodePage(kDefaultCodePage); }
};

TEST_P(ActivePage, ReadsBytesAndReplacesWhatFormsNoCharacter) {
    const PageCase& c = GetParam();
    SetActiveCodePage(c.page);
    EXPECT_EQ(ActiveToUtf16(c.active), c.wide);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, ActivePage,
    testing::Values(PageCase{kCodePageGbk, "a\xb1\xa8\xb8\xe6", u"a报告"},
                    PageCase{kCodePageGbk, "\xb1\xa8\xff", u"报\uFFFD"},
                    PageCase{kCodePageGbk, "x\xb1", u"x\uFFFD"},  // a lead byte cut off
                    PageCase{kCodePageUtf8, "\xe6\x8a\xa5.txt", u"报.txt"},
                    PageCase{kCodePageUtf8, "\xe6\x8a", u"\uFFFD\uFFFD"},
                    PageCase{kCodePageUtf8, "a\xc0\xafz", u"a\uFFFD\uFFFDz"},
                    PageCase{kCodePageLatin1, "caf\xe9", u"café"},
                    PageCase{kCodePageGbk, "", u""}));

TEST(CodePage, Utf8ResourcesReachEveryPageOrBecomeQuestionMarks) {
    struct Case {
        unsigned int page;
        std::string expected;
    };
    for (const Case& c : {Case{kCodePageGbk, "\xb1\xa8\xb8\xe6 ok"}, Case{kCodePageUtf8, "报告 ok"},
                          Case{kCodePageLatin1, "?? ok"}}) {
        SetActiveCodePage(c.page);
        EXPECT_EQ(Utf8ToActive("报告 ok"), c.expected) << c.page;
        const std::u16string back = ActiveToUtf16(c.expected);
        EXPECT_EQ(Utf16ToActive(back.data(), back.size()), c.expected) << c.page;
    }
    SetActiveCodePage(kDefaultCodePage);
}

}  // namespace
}  // namespace velkor
