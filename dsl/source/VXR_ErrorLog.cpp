// Range-violation log: fixed capacity, stores pointers, copies no text.
#include "VXR_SupportLib.h"

extern "C" {

VXR_ErrorLog* VXR_createErrorLog(int maxLength, VXR_SimInterface* pSimInterface) {
    if (maxLength < 0) maxLength = 0;
    VXR_ErrorLog* log = (VXR_ErrorLog*)VXR_malloc(sizeof(VXR_ErrorLog), pSimInterface, NULL, NULL);
    if (log == NULL) return NULL;
    log->length = 0;
    log->maxLength = maxLength;
    log->errorInst = NULL;
    log->errorStr = NULL;
    if (maxLength > 0) {
        // calloc checks count x size for overflow (a 32-bit size_t cannot hold
        // every int capacity); a failure was reported by the wrapper.
        log->errorInst = (VXR_DeviceInst**)VXR_calloc((size_t)maxLength, sizeof(VXR_DeviceInst*), pSimInterface,
                                                      NULL, NULL);
        log->errorStr = log->errorInst == NULL
                            ? NULL
                            : (char**)VXR_calloc((size_t)maxLength, sizeof(char*), pSimInterface, NULL, NULL);
        if (log->errorStr == NULL) {
            VXR_free(log->errorInst);
            VXR_free(log);
            return NULL;
        }
    }
    return log;
}

void VXR_insertError(VXR_ErrorLog* log, VXR_DeviceInst* pInst, const char* errStr) {
    if (log == NULL || log->length < 0 || log->length >= log->maxLength) return;
    log->errorInst[log->length] = pInst;
    log->errorStr[log->length] = const_cast<char*>(errStr); // the record's field is char*; the text is never written
    log->length++;
}

void VXR_freeErrorLog(VXR_ErrorLog* log) {
    if (log == NULL) return;
    VXR_free(log->errorInst);
    VXR_free(log->errorStr);
    VXR_free(log);
}

} // extern "C"
