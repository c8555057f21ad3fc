#include "olecontrol.h"

void COleControl::SetClientSite(IOleClientSite* pClientSite) {
    if (pClientSite) pClientSite->AddRef();
    m_pClientSite.attach(pClientSite);
}
