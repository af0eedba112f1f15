// The Chinese (Simplified) of velkor-browse's texts, for Language's
// translator (shown when VELKOR_LANG or the locale is zh_CN).
#pragma once

namespace velkor::browse {

void AddChineseTexts();

}  // namespace velkor::browse
