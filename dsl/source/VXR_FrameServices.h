/*
 * VXR_FrameServices.h - messages and allocation wrappers of the runtime, as
 * the other runtime sources call them.
 */
#ifndef VXR_FRAMESERVICES_H
#define VXR_FRAMESERVICES_H

#include <stddef.h>
#include "VXR_Interface.h"

#ifdef __cplusplus
extern "C" {
#endif

void VXR_Message(VXR_SimInterface* pSimInterface, VXR_DeviceInst* pInst, const char* id, VXR_MessageTypeE msgType,
                 const char* errMsg);
void* VXR_malloc(size_t size, VXR_SimInterface* pSimInterface, VXR_DeviceInst* pInst, const char* id);
void* VXR_calloc(size_t nmemb, size_t size, VXR_SimInterface* pSimInterface, VXR_DeviceInst* pInst, const char* id);
char* VXR_strdup(const char* s, VXR_SimInterface* pSimInterface, VXR_DeviceInst* pInst);
void VXR_free(void* p);

#ifdef __cplusplus
}
#endif

#endif /* VXR_FRAMESERVICES_H */
