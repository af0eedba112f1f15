// IRC lines of any shape: parse, print, re-parse, and read every record.
#include <cstddef>
#include <cstdint>
#include <string>

#include "irc/CIRCMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    velkor::CIRCMessage m(line);
    const velkor::CIRCMessage again(m.AsString());
    (void)m.GetChannelModeParam();
    (void)m.GetRPLChannelModeParam().IsQueryListMsg();
    (void)m.GetRPLNamesParam();
    (void)m.GetRPLChannelModeListParam();
    (void)m.GetAutoMsgString();
    (void)m.IsMyReplyEndMsg(again);
    (void)m.GetParamString(1, 3);
    return 0;
}
