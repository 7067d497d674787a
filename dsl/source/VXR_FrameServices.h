// Messages and memory wrappers used by the runtime's frame services.
#ifndef VXR_FRAMESERVICES_H
#define VXR_FRAMESERVICES_H

#include <stddef.h>
#include "VXR_Interface.h"

#ifdef __cplusplus
extern "C" {
#endif

void VXR_Message(VXR_SimInterface* pSimInterface, VXR_DeviceInst* pInst, const char* id, VXR_MessageTypeE msgType,
                 const char* errMsg);
int VXR_IsMessageDuplicate(const char* msg, VXR_SimInterface* pSimInterface);
void* VXR_malloc(size_t size, VXR_SimInterface* pSimInterface, VXR_DeviceInst* pInst, const char* id);
void* VXR_calloc(size_t nmemb, size_t size, VXR_SimInterface* pSimInterface, VXR_DeviceInst* pInst,
                 const char* id);
char* VXR_strdup(const char* s, VXR_SimInterface* pSimInterface, VXR_DeviceInst* pInst);
void VXR_free(void* p);

#ifdef __cplusplus
}
#endif

#endif
