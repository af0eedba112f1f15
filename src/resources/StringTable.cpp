#include "resources/StringTable.h"

namespace velkor {

std::string LoadLibraryString(int id) {
    switch (id) {
        case IDS_HTML_HEAD_TEMPLATE:
            return "<head>\n<title>Html Document</title>\n<meta http-equiv=\"Content-Type\" "
                   "content=\"text/html; charset=%s\">\n</head>";
        default:
            return {};
    }
}

}  // namespace velkor
