/*
 * VXR_FrameServices.h - messages and memory wrappers of the runtime as the
 * parameter, port and array services call them.
 *
 * The definitions live with the message and memory services; these
 * prototypes only repeat their signatures (a redeclaration with the same
 * signature is harmless if the public header declares them too).
 */
#ifndef VXR_FRAMESERVICES_H
#define VXR_FRAMESERVICES_H

#include <stddef.h>
#include "VXR_Interface.h"

#ifdef __cplusplus
extern "C" {
#endif

#ifndef VXR_FRAME_SERVICES_PROTOTYPES
#define VXR_FRAME_SERVICES_PROTOTYPES
void VXR_Message(VXR_SimInterface* pSimInterface, VXR_DeviceInst* pInst, const char* id, VXR_MessageTypeE msgType,
                 const char* errMsg);
int VXR_IsMessageDuplicate(const char* msg, VXR_SimInterface* pSimInterface);
void* VXR_malloc(size_t size, VXR_SimInterface* pSimInterface, VXR_DeviceInst* pInst, const char* id);
void* VXR_calloc(size_t nmemb, size_t size, VXR_SimInterface* pSimInterface, VXR_DeviceInst* pInst, const char* id);
#if VXR_REVISION == 187
void* VXR_realloc(void* ptr, size_t size, VXR_SimInterface* pSimInterface, VXR_DeviceInst* pInst, const char* id);
#endif
char* VXR_strdup(const char* s, VXR_SimInterface* pSimInterface, VXR_DeviceInst* pInst);
void VXR_free(void* p);
#endif

#ifdef __cplusplus
}
#endif

#endif /* VXR_FRAMESERVICES_H */
