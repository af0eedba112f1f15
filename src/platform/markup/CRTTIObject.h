// The markup library's run-time class registry: a linked list of class
// records (name, object size, factory, base), and the objects that know
// their record.
#pragma once

namespace velkor {

class CRTTIObject;

struct CRTTIInfo {
    const char* m_lpszClassName;
    int m_nObjectSize;
    CRTTIObject* (*m_pfnCreateObject)();
    CRTTIInfo* m_pBaseClass;
    CRTTIInfo* m_pNextClass;

    // Creates an object of the class; null when the class has no factory.
    CRTTIObject* CreateObject() const { return m_pfnCreateObject ? m_pfnCreateObject() : nullptr; }
    // True when this class is `base` or derives from it.
    bool IsDerivedFrom(const CRTTIInfo* base) const;
};

class CRTTIObject {
public:
    virtual ~CRTTIObject() = default;
    virtual CRTTIInfo* GetRTTIClass() const;
    bool IsKindOf(const CRTTIInfo* info) const { return GetRTTIClass()->IsDerivedFrom(info); }

    static CRTTIInfo classCRTTIObject;
};

// The last class record of the registry.
CRTTIInfo* GetLastRTTIClass();
// Links a record after the last one (once; a second call does nothing).
void RegisterRTTIClass(CRTTIInfo* info);
// The record of a class by name, or null.
CRTTIInfo* FindRTTIClass(const char* name);

}  // namespace velkor
