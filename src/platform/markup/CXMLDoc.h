// CXMLDoc: a markup document tied to a file.
//
// The stored file holds the document's lines, each ended by "\r\n", passed
// through Encrypt on the way out and Decrypt on the way in (both leave the
// text unchanged here; a derived class may override them).
#pragma once

#include <string>

#include "CXMLParser.h"

namespace velkor {

class CXMLDoc : public CXMLParser {
public:
    CXMLDoc() = default;
    ~CXMLDoc() override = default;

    // A new document tied to `path` (empty: never saved); 1 or 0.
    virtual int NewXMLDoc(const std::string& path);
    // Reads the document from its file; 1, or 0 when it cannot be read.
    virtual int LoadXMLDoc(const std::string& path);
    // Writes the document to its file; 1, or 0 (also when it has none). The
    // file is replaced whole or not at all (a save that fails part-way
    // leaves the old file), with the mode FileMode() gives.
    int SaveXMLDoc();
    // Writes the document to another file; 1 or 0.
    virtual int SaveXmlToFile(const std::string& path);
    virtual void PreUpdateVersion() {}
    virtual void AfterUpdateVersion() {}
    virtual std::string Encrypt(const std::string& text) { return text; }
    virtual std::string Decrypt(const std::string& text) { return text; }

    const std::string& GetPath() const { return m_strPath; }
    CRTTIInfo* GetRTTIClass() const override;

    static CRTTIInfo classCXMLDoc;

protected:
    // The mode a saved file gets: 0644; documents holding secrets say 0600.
    virtual unsigned int FileMode() const { return 0644; }
    // Replaces a file with bytes atomically; true on success.
    bool WriteFile(const std::string& path, const std::string& bytes) const;

    std::string m_strPath;
};

}  // namespace velkor
