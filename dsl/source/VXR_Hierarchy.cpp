// Walks over an instance hierarchy; teardown, save and restore of children
// and events.
#include <cstring>

#include "VXR_SupportLib.h"

namespace {

VXR_SimInterface* hostOf(VXR_DeviceInst* pInst) { return pInst ? pInst->pSimInterface : nullptr; }

}  // namespace

extern "C" {

void VXR_FinalizeTopology(VXR_DeviceInst* pInst, void* pCallbackInfo) {
    if (!pInst) return;
    pInst->pModuleDescriptor->pFinalizeTopology(pInst, pCallbackInfo);
}

void VXR_SetStamp(VXR_DeviceInst* pInst, void* pCallbackInfo) {
    if (!pInst) return;
    pInst->pModuleDescriptor->pSetStamp(pInst, pCallbackInfo);
}

void VXR_CheckRangeInHierarchy(VXR_DeviceInst* pInst, VXR_ErrorLog* pErrorLog) {
    if (!pInst) return;
    pInst->pModuleDescriptor->pCheckRange(pInst, pErrorLog);
    for (int i = 0; i < pInst->numOfChildren; ++i) VXR_CheckRangeInHierarchy(pInst->pChildren[i], pErrorLog);
}

void VXR_ForceExecInvarInHierarchy(VXR_DeviceInst* pInst, int force) {
    if (!pInst) return;
    pInst->pModuleDescriptor->pForceExecInvarCode(pInst, force);
    for (int i = 0; i < pInst->numOfChildren; ++i) VXR_ForceExecInvarInHierarchy(pInst->pChildren[i], force);
}

void VXR_destroyChildren(VXR_DeviceInst* pInst) {
    if (!pInst || pInst->numOfChildren < 1) return;
#if VXR_REVISION != 142
    for (int i = 0; i < pInst->numOfChildren; ++i) {
        VXR_DeviceInst* child = pInst->pChildren[i];
        if (child && child->pModuleDescriptor->pDestroyDevice) child->pModuleDescriptor->pDestroyDevice(child);
    }
#endif
    // Revision 1.42 descriptors have no destroy slot: only the array goes.
    VXR_free(pInst->pChildren);
    pInst->pChildren = nullptr;
    pInst->numOfChildren = 0;
}

void VXR_destroyEvents(VXR_DeviceInst* pInst) {
    if (!pInst || pInst->numOfEvents < 1) return;
    for (int i = 0; i < pInst->numOfEvents; ++i) {
        VXR_EventDesc* ev = pInst->pEvents[i];
        if (!ev) continue;
        VXR_free(ev->pPrivateInfo);
        VXR_free(ev);
    }
    VXR_free(pInst->pEvents);
    pInst->pEvents = nullptr;
    pInst->numOfEvents = 0;
}

void VXR_SaveChildren(VXR_DeviceInst* pParent, VXR_DeviceState* pState) {
    if (!pParent || !pState || pParent->numOfChildren < 1) return;
    pState->pChildState = static_cast<VXR_DeviceState**>(VXR_calloc(
        static_cast<size_t>(pParent->numOfChildren), sizeof(VXR_DeviceState*), hostOf(pParent), pParent, nullptr));
    if (!pState->pChildState) return;
    for (int i = 0; i < pParent->numOfChildren; ++i) {
        VXR_DeviceInst* child = pParent->pChildren[i];
        if (child && child->pModuleDescriptor->pGetDeviceState)
            pState->pChildState[i] = child->pModuleDescriptor->pGetDeviceState(child);
    }
}

void VXR_RestoreChildren(VXR_DeviceInst* pParent, VXR_DeviceState* pState) {
    if (!pParent || !pState || !pState->pChildState) return;
    for (int i = 0; i < pParent->numOfChildren; ++i) {
        VXR_DeviceInst* child = pParent->pChildren[i];
        if (child && child->pModuleDescriptor->pRestoreDeviceState)
            child->pModuleDescriptor->pRestoreDeviceState(child, pState->pChildState[i]);
    }
}

// Event slots: the caller sized pEventState for numOfEventStates entries;
// the walk never goes past that or past the instance's own event count.
static int eventSlots(const VXR_DeviceInst* pInst, const VXR_DeviceState* pState) {
    if (!pState->pEventState) return 0;
    return pInst->numOfEvents < pState->numOfEventStates ? pInst->numOfEvents : pState->numOfEventStates;
}

void VXR_SaveEvents(VXR_DeviceInst* pInst, VXR_DeviceState* pState) {
    if (!pInst || !pState) return;
    const int n = eventSlots(pInst, pState);
    VXR_SimInterface* host = hostOf(pInst);
    for (int i = 0; i < n; ++i) {
        VXR_EventDesc* ev = pInst->pEvents[i];
        void* saved = nullptr;
        if (ev) {
            switch (ev->eventType) {
            case VXR_EVT_TIMER:
                if (ev->pPrivateInfo) {
                    saved = VXR_calloc(1, sizeof(VXR_TimerInfo), hostOf(ev->pParent), ev->pParent, nullptr);
                    if (saved) std::memcpy(saved, ev->pPrivateInfo, sizeof(VXR_TimerInfo));
                }
                break;
            case VXR_EVT_CROSSING:
            case VXR_EVT_ABOVE:
                if (host && host->pSaveCrossEvent) saved = host->pSaveCrossEvent(ev);
                break;
            default:
                break;
            }
        }
        pState->pEventState[i] = saved;
    }
}

void VXR_RestoreEvents(VXR_DeviceInst* pInst, VXR_DeviceState* pState) {
    if (!pInst || !pState) return;
    const int n = eventSlots(pInst, pState);
    VXR_SimInterface* host = hostOf(pInst);
    for (int i = 0; i < n; ++i) {
        VXR_EventDesc* ev = pInst->pEvents[i];
        void* saved = pState->pEventState[i];
        if (!ev) continue;
        switch (ev->eventType) {
        case VXR_EVT_TIMER:
            if (saved && ev->pPrivateInfo) std::memcpy(ev->pPrivateInfo, saved, sizeof(VXR_TimerInfo));
            break;
        case VXR_EVT_CROSSING:
        case VXR_EVT_ABOVE:
            if (host && host->pRestoreCrossEvent) host->pRestoreCrossEvent(ev, saved);
            break;
        default:
            break;
        }
    }
}

}  // extern "C"
