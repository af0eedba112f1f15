// Velkor: Internet protocol clients for desktop applications.
// Includes every class of the core library.
#pragma once

#include "platform/LastError.h"
#include "platform/WaitHook.h"
#include "platform/CAsyncSocket.h"
#include "platform/CSocket.h"
#include "socket/CVLKSocket.h"
#include "proxy/CPRDLDoc.h"
#include "ftp/CFtpLink.h"
#include "ftp/CFtpFile.h"
#include "ftp/CFtp.h"
#include "platform/CodePage.h"
#include "platform/CXCommon.h"
#include "platform/TimeZone.h"
#include "mail/CRecipient.h"
#include "mail/CMailCommonFunction.h"
#include "irc/IRCMessageId.h"
#include "irc/IRCParamRecords.h"
#include "irc/CIRCChannelModeParam.h"
#include "irc/CIRCMessage.h"
