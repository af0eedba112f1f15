#include "platform/markup/CRTTIObject.h"

#include <cstring>
#include <mutex>

namespace velkor {

CRTTIInfo CRTTIObject::classCRTTIObject = {"CRTTIObject", sizeof(CRTTIObject), nullptr, nullptr,
                                           nullptr};

namespace {

std::mutex& RegistryMutex() {
    static std::mutex m;
    return m;
}

CRTTIInfo*& LastClass() {
    static CRTTIInfo* last = &CRTTIObject::classCRTTIObject;
    return last;
}

}  // namespace

bool CRTTIInfo::IsDerivedFrom(const CRTTIInfo* base) const {
    for (const CRTTIInfo* c = this; c; c = c->m_pBaseClass)
        if (c == base) return true;
    return false;
}

CRTTIInfo* CRTTIObject::GetRTTIClass() const { return &classCRTTIObject; }

CRTTIInfo* GetLastRTTIClass() {
    std::lock_guard<std::mutex> lock(RegistryMutex());
    return LastClass();
}

void RegisterRTTIClass(CRTTIInfo* info) {
    std::lock_guard<std::mutex> lock(RegistryMutex());
    for (CRTTIInfo* c = &CRTTIObject::classCRTTIObject; c; c = c->m_pNextClass)
        if (c == info) return;
    LastClass()->m_pNextClass = info;
    info->m_pNextClass = nullptr;
    LastClass() = info;
}

CRTTIInfo* FindRTTIClass(const char* name) {
    std::lock_guard<std::mutex> lock(RegistryMutex());
    for (CRTTIInfo* c = &CRTTIObject::classCRTTIObject; c; c = c->m_pNextClass)
        if (std::strcmp(c->m_lpszClassName, name) == 0) return c;
    return nullptr;
}

}  // namespace velkor
