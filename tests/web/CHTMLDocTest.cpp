// The page document's class, known by name (its rewriting of pages is a
// proxy transcript: markup-html-pages).
#include "web/CHTMLDoc.h"

#include <gtest/gtest.h>

namespace velkor {
namespace {

TEST(HtmlDoc, RegisteredUnderItsName) {
    CRTTIInfo* info = FindRTTIClass("CHTMLDoc");
    ASSERT_EQ(info, &CHTMLDoc::classCHTMLDoc);
    EXPECT_EQ(info->m_pBaseClass, &CXMLDoc::classCXMLDoc);
    std::unique_ptr<CRTTIObject> made(info->CreateObject());
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->GetRTTIClass(), &CHTMLDoc::classCHTMLDoc);
    EXPECT_TRUE(made->IsKindOf(&CXMLDoc::classCXMLDoc));
}

}  // namespace
}  // namespace velkor
