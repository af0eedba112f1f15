// CRecipient: one mail address.
#pragma once

#include <string>
#include <vector>

namespace velkor {

class CRecipient {
public:
    std::string m_strAddress;  // bare address, no angle brackets, trimmed
    std::string m_strName;     // decoded display name without quotes; may be empty
    std::string m_strCharset;  // charset of the encoded word that carried the name

    bool operator==(const CRecipient&) const = default;
};

using CRecipientArray = std::vector<CRecipient>;

}  // namespace velkor
