#include "proxy/CPRDLDoc.h"

namespace velkor {

CPRDLDoc* CPRDLDoc::m_pthis = nullptr;

CPRDLDoc::~CPRDLDoc() {
    if (m_pthis == this) m_pthis = nullptr;
}

}  // namespace velkor
