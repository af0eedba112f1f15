// CHttp's fixed texts: status lines, error messages and the base64 of
// credentials (the conversations are in transcripts/http).
#include <gtest/gtest.h>

#include <string>

#include "web/CHttp.h"

namespace velkor {
namespace {

TEST(HttpTexts, MessagesStatusLinesAndBase64) {
    CHttp http;
    struct { const char* line; int result; int code; const char* message; } rows[] = {
        {"HTTP/1.0 404 Not Found", 1, 404, "Not Found."},
        {"HTTP/1.1 404 Not Found", 0, 0, ""},
        {"HTTP Error 503", 1, 503, "Service temporarily unavailable."},
        {"HTTP/1.0 299 x", 1, 299, "Error 299"},
    };
    for (const auto& r : rows) {
        int code = -1;
        std::string message = "x";
        EXPECT_EQ(http.httpError(r.line, code, message), r.result) << r.line;
        EXPECT_EQ(code, r.code);
        EXPECT_EQ(message, r.message);
    }
    EXPECT_EQ(CHttp::ErrorMessage(7), "Disk/file error");
    EXPECT_EQ(CHttp::ErrorMessage(9), "CTarrowInternet error 9");
    EXPECT_EQ(EncodeTextBase64(""), "");
    EXPECT_EQ(EncodeTextBase64("a"), "YQ==");
    EXPECT_EQ(EncodeTextBase64("ab"), "YWI=");
    EXPECT_EQ(EncodeTextBase64(std::string(300, 'z')).size(), 400u);  // no line breaks
}

}  // namespace
}  // namespace velkor
