// CXMLParser: a markup text as an indexed list of lines.
//
// Reads XML and real-world HTML as it comes: comments, declarations and
// processing instructions are kept verbatim, <script> and <style> contents
// are one verbatim line, attributes may be quoted, unquoted or without a
// value, tags may be in any case and need not be closed, and a stray "<" or
// "&" is text. Nothing recurses: nesting depth costs nothing but the lines.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "CRTTIObject.h"
#include "CXMLLine.h"

namespace velkor {

class CXMLParser : public CRTTIObject {
public:
    CXMLParser() = default;
    ~CXMLParser() override = default;

    // Parses a text into lines (replacing the old ones); 1, or 0 for an
    // empty text.
    int SetXml(const std::string& text);
    // The lines' texts joined with "\r\n" after each.
    std::string GetXml() const;

    int GetLineCount() const { return static_cast<int>(m_lines.size()); }
    CXMLLine* GetLineAt(int index) const;
    // The first opening or stand-alone line of that element from `start` on; -1.
    int GetTagLine(int start, const std::string& element) const;
    // The closing line that matches the opening line at `index`; -1.
    int GetMatchTagLine(int index) const;
    // Inserts lines in order at `index` (clamped to the list); takes them over.
    void AddLine(int index, std::vector<std::unique_ptr<CXMLLine>> lines);
    void DelLine(int index, int count);

    // Escapes & < > " ' as entities, and back (the five named ones and
    // numeric ones below 128; anything else stays as written).
    static std::string Encode(const std::string& text);
    static std::string Decode(const std::string& text);

protected:
    std::vector<std::unique_ptr<CXMLLine>> m_lines;
};

}  // namespace velkor
