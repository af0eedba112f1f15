#include "ftp/CFtpFile.h"

#include <initializer_list>

namespace velkor {

CFtpFile::~CFtpFile() {
    m_bDirectory = m_bExec = m_bLink = m_bBlockDevice = m_bCharDevice = m_bSocket = m_bPipe = 0;
}

void CFtpFile::FreeStrings() {
    for (char** p : {&m_pszName, &m_pszOwner, &m_pszGroup, &m_pszPermission}) {
        delete[] *p;
        *p = nullptr;
    }
}

}  // namespace velkor
