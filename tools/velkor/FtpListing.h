// A connection's listing as the tools read it: ListedEntry is one line,
// Listable<Base> opens a CFtp class's listing (List is the library's
// internal call) to the tools and to the mirror engine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ftp/CFtp.h"

namespace velkor::tool {

// One line of a listing as the tool reads it.
struct ListedEntry {
    std::string line;      // as listed, with '\' back to '/'
    bool parsed = false;   // understood by the listing parsers; then:
    std::string name;
    bool dir = false, link = false;
    std::uint64_t size = 0;
    std::int32_t modified = 0;      // LIST's local-time guess
    std::int64_t modifiedUtc = -1;  // MLSD's "modify" in UTC (-1: none)
};

// The lines of the listing `ftp` made last. The library hands them over
// with '/' as '\': a name holding either shows '/' (and is no single path
// element).
std::vector<ListedEntry> ParsedEntries(const CFtp& ftp);

// What the mirror engine needs of one logon: the connection and its listing.
class ListingLink {
public:
    virtual ~ListingLink() = default;
    virtual CFtp& Ftp() = 0;
    // Lists a folder (MLSD where the server offers it and m_bUseMlsd is set).
    virtual bool ListDir(const std::string& path) = 0;
    std::vector<ListedEntry> Entries() { return ParsedEntries(Ftp()); }
};

// A CFtp class (CFtp, CFtpSite) with its listing opened.
template <class Base>
class Listable : public Base, public ListingLink {
public:
    CFtp& Ftp() override { return *this; }
    bool ListDir(const std::string& path) override { return this->List(path); }
    using ListingLink::Entries;
};

}  // namespace velkor::tool
