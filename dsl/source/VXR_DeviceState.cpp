// Releasing saved device states; binary serialization primitives.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "VXR_Operators.h"
#include "VXR_ParamsData.h"

namespace {

#if VXR_REVISION == 142
// Revision 1.42 operator states carry no free member: the type says who owns
// the storage (host objects through the host table, runtime records here).
void freeOperatorState(VXR_DeviceState* pState, void* op) {
    // Read as a plain int: a foreign or corrupt state may hold any value.
    int type;
    std::memcpy(&type, op, sizeof type);
    VXR_DeviceInst* dev = pState->pDevice;
    if (type == VXR_ZI_STATE) { // its history copies and nested transition state with it
        VXR_ziFreeState(static_cast<ziState*>(op), dev ? dev->pSimInterface : nullptr);
        return;
    }
    if (type == VXR_IDT_STATE) {
        VXR_free(op);
        return;
    }
    if (type < VXR_DELAY_SPEC || type > VXR_POLERES_SPEC) {
        std::printf("Assertion occuring for '%s'\n", dev && dev->instName ? dev->instName : "");
        std::fflush(stdout);
        std::abort();
    }
    // Host objects go back through the instance's host table.
    VXR_SimInterface* host = dev ? dev->pSimInterface : nullptr;
    if (!host) return;
    void (*hostFree)(void*) = nullptr;
    switch (type) {
    case VXR_DELAY_SPEC: hostFree = host->pFreeDelaySpec; break;
    case VXR_SLEW_SPEC: hostFree = host->pFreeSlewSpec; break;
    case VXR_TRANSITION_SPEC: hostFree = host->pFreeTransitionSpec; break;
    default: hostFree = host->pFreePoleResSpec; break;
    }
    if (hostFree) hostFree(op);
}
#else
void freeOperatorState(VXR_DeviceState*, void* op) {
    auto* gen = static_cast<VXR_GenericOperatorState*>(op);
    if (gen->pFreeSelf)
        gen->pFreeSelf(gen);
    else
        VXR_free(op);
}
#endif

// The direction as stored; any value other than write or read is an error.
VXR_SrlzDirE direction(const VXR_SrlzDirE* pDir) {
    int v;
    std::memcpy(&v, pDir, sizeof v);
    return v == SRLZ_TO_FILE ? SRLZ_TO_FILE : v == SRLZ_FROM_FILE ? SRLZ_FROM_FILE : SRLZ_ERROR;
}

// One item of exactly `size` bytes in the direction *pDir.
void transfer(void* p, size_t size, FILE* f, VXR_SrlzDirE* pDir) {
    if (!pDir) return;
    size_t n = 0;
    const VXR_SrlzDirE dir = direction(pDir);
    if (dir == SRLZ_TO_FILE && f)
        n = std::fwrite(p, size, 1, f);
    else if (dir == SRLZ_FROM_FILE && f)
        n = std::fread(p, size, 1, f);
    if (n != 1) *pDir = SRLZ_ERROR;
}

// One value through a local copy: a failed read leaves *pVal as it was.
template <class T>
void serializeScalar(T* pVal, FILE* f, VXR_SrlzDirE* pDir) {
    if (pDir) *pDir = direction(pDir);
    T v{};
    if (pDir && *pDir == SRLZ_TO_FILE) v = *pVal;
    transfer(&v, sizeof v, f, pDir);
    if (pDir && *pDir == SRLZ_FROM_FILE) *pVal = v;
}

bool readInt(int* v, FILE* f, VXR_SrlzDirE* pDir) {
    transfer(v, sizeof *v, f, pDir);
    return *pDir != SRLZ_ERROR;
}

// Bytes left in a seekable stream; -1 when it cannot be told.
long long bytesLeft(FILE* f) {
    const long here = std::ftell(f);
    if (here < 0 || std::fseek(f, 0, SEEK_END) != 0) return -1;
    const long end = std::ftell(f);
    if (std::fseek(f, here, SEEK_SET) != 0) return -1;
    return end < here ? 0 : static_cast<long long>(end) - here;
}

// Upper bound for a recorded length on a stream whose size is unknown.
constexpr long long kMaxUnseekableRead = 1ll << 26;

}  // namespace

extern "C" {

int VXR_serializedLengthPlausible(long long nbytes, FILE* f) {
    const long long left = bytesLeft(f);
    return left >= 0 ? nbytes <= left : nbytes <= kMaxUnseekableRead;
}

void VXR_freeDeviceState(VXR_DeviceState* pState) {
    if (!pState) return;
    // The child count lives in the device; it is read only when a child
    // state array exists (otherwise the device need not be alive).
    if (pState->pChildState) {
        const int nChildren = pState->pDevice ? pState->pDevice->numOfChildren : 0;
        for (int i = 0; i < nChildren; ++i) VXR_freeDeviceState(pState->pChildState[i]);
    }
    if (pState->pEventState)
        for (int i = 0; i < pState->numOfEventStates; ++i) VXR_free(pState->pEventState[i]);
    if (pState->pOperatorState)
        for (int i = 0; i < pState->numOfOperatorStates; ++i)
            if (pState->pOperatorState[i]) freeOperatorState(pState, pState->pOperatorState[i]);
    VXR_free(pState->pPrivateInfo);
    VXR_free(pState->pOperatorState);
    VXR_free(pState->pEventState);
    VXR_free(pState->pChildState);
    VXR_free(pState);
}

void VXR_serializeDouble(const char*, double* pVal, FILE* f, VXR_SrlzDirE* pDir) { serializeScalar(pVal, f, pDir); }

void VXR_serializeInt(const char*, int* pVal, FILE* f, VXR_SrlzDirE* pDir) { serializeScalar(pVal, f, pDir); }

void VXR_serializeString(const char*, const char** p_strval, FILE* f, VXR_SrlzDirE* pDir) {
    if (!pDir) return;
    *pDir = direction(pDir);
    if (*pDir == SRLZ_TO_FILE) {
        const char* s = *p_strval ? *p_strval : "";  // a missing text is written empty
        const size_t len = std::strlen(s);
        if (len > static_cast<size_t>(INT_MAX - 1)) {
            *pDir = SRLZ_ERROR;
            return;
        }
        int n = static_cast<int>(len);
        transfer(&n, sizeof n, f, pDir);
        if (*pDir == SRLZ_TO_FILE && n > 0) transfer(const_cast<char*>(s), len, f, pDir);
        return;
    }
    if (*pDir != SRLZ_FROM_FILE) {
        *pDir = SRLZ_ERROR;
        return;
    }
    int n = 0;
    if (!readInt(&n, f, pDir)) return;
    if (n < 0 || n == INT_MAX || !VXR_serializedLengthPlausible(n, f)) {
        *pDir = SRLZ_ERROR;
        return;
    }
    char* text = static_cast<char*>(VXR_malloc(static_cast<size_t>(n) + 1, nullptr, nullptr, nullptr));
    if (!text) {
        *pDir = SRLZ_ERROR;
        return;
    }
    if (n > 0) transfer(text, static_cast<size_t>(n), f, pDir);
    if (*pDir == SRLZ_ERROR) {
        VXR_free(text);
        return;
    }
    text[n] = '\0';
    *p_strval = text;
}

void VXR_serializeArray(const char*, VXR_Array* pArray, FILE* f, VXR_SrlzDirE* pDir) {
    if (!pDir) return;
    *pDir = direction(pDir);
    if (*pDir != SRLZ_TO_FILE && *pDir != SRLZ_FROM_FILE) {
        *pDir = SRLZ_ERROR;
        return;
    }
    const bool isReal = pArray->_arrayType == VXR_REAL_ARRAY;
    const size_t elemSize = isReal ? sizeof(double) : sizeof(int);
#if VXR_REVISION == 187
    const int curDims = pArray->_numDims;
    int* const curLeft = pArray->_pLeftBounds;
    int* const curRight = pArray->_pRightBounds;
#else
    // One bound pair, recorded as a one-dimensional array.
    const int curDims = 1;
    int* const curLeft = &pArray->_leftBound;
    int* const curRight = &pArray->_rightBound;
#endif
    void* const data = isReal ? static_cast<void*>(pArray->_data._pReal) : static_cast<void*>(pArray->_data._pInt);

    if (*pDir == SRLZ_TO_FILE) {
        if ((curDims > 0 && (!curLeft || !curRight)) || (pArray->_dataLen > 0 && !data) || pArray->_dataLen < 0) {
            *pDir = SRLZ_ERROR;
            return;
        }
        int nd = curDims;
        VXR_serializeInt(nullptr, &nd, f, pDir);
        for (int d = 0; d < curDims; ++d) {
            VXR_serializeInt(nullptr, &curLeft[d], f, pDir);
            VXR_serializeInt(nullptr, &curRight[d], f, pDir);
        }
        int len = pArray->_dataLen;
        VXR_serializeInt(nullptr, &len, f, pDir);
        for (int i = 0; i < len; ++i) {
            if (isReal)
                VXR_serializeDouble(nullptr, &pArray->_data._pReal[i], f, pDir);
            else
                VXR_serializeInt(nullptr, &pArray->_data._pInt[i], f, pDir);
        }
        return;
    }

    // Reading: everything is read and checked against the array's present
    // shape before anything in it changes. The recorded shape must fit the
    // bound vectors and the data block the array already has (a bounds pair
    // of one element is allowed on an empty array: that is an unset one).
    int nd = 0;
    if (!readInt(&nd, f, pDir)) return;
#if VXR_REVISION == 187
    const bool dimsOk = nd >= 0 && nd <= curDims && (nd == 0 || (curLeft && curRight));
#else
    const bool dimsOk = nd == 1;
#endif
    if (!dimsOk) {
        *pDir = SRLZ_ERROR;
        return;
    }
    int bounds[2 * 64];
    int* pBounds = bounds;
    if (nd > 64) {
        pBounds = static_cast<int*>(VXR_malloc(sizeof(int) * 2 * static_cast<size_t>(nd), pArray->_pSimInterface,
                                               pArray->_pParent, pArray->_arrayName));
        if (!pBounds) {
            *pDir = SRLZ_ERROR;
            return;
        }
    }
    long long count = 1;
    for (int d = 0; d < nd && *pDir != SRLZ_ERROR; ++d) {
        if (readInt(&pBounds[2 * d], f, pDir) && readInt(&pBounds[2 * d + 1], f, pDir))
            count = VXR_addDimensionCount(count, pBounds[2 * d], pBounds[2 * d + 1]);
    }
    int len = 0;
    if (*pDir != SRLZ_ERROR) readInt(&len, f, pDir);
    const int capacity = pArray->_dataLen;
    if (*pDir != SRLZ_ERROR &&
        (len < 0 || len > capacity || (nd > 0 && count > (capacity > 1 ? capacity : 1)) || (len > 0 && !data) ||
         !VXR_serializedLengthPlausible(static_cast<long long>(len) * static_cast<long long>(elemSize), f)))
        *pDir = SRLZ_ERROR;
    void* elems = nullptr;
    if (*pDir != SRLZ_ERROR && len > 0) {
        elems = VXR_malloc(elemSize * static_cast<size_t>(len), pArray->_pSimInterface, pArray->_pParent,
                           pArray->_arrayName);
        if (!elems)
            *pDir = SRLZ_ERROR;
        else
            transfer(elems, elemSize * static_cast<size_t>(len), f, pDir);
    }
    if (*pDir != SRLZ_ERROR) {
#if VXR_REVISION == 187
        pArray->_numDims = nd;
#endif
        for (int d = 0; d < nd; ++d) {
            curLeft[d] = pBounds[2 * d];
            curRight[d] = pBounds[2 * d + 1];
        }
        pArray->_dataLen = len;
        if (len > 0) std::memcpy(data, elems, elemSize * static_cast<size_t>(len));
    }
    VXR_free(elems);
    if (pBounds != bounds) VXR_free(pBounds);
}

void VXR_serializeMarker(const char* str, FILE* f, VXR_SrlzDirE* pDir) {
    if (!pDir) return;
    *pDir = direction(pDir);
    if (*pDir == SRLZ_ERROR || !str || !*str) return;
    const size_t len = std::strlen(str);
    if (*pDir == SRLZ_TO_FILE) {
        if (!f || std::fwrite(str, 1, len, f) != len) *pDir = SRLZ_ERROR;
        return;
    }
    if (*pDir != SRLZ_FROM_FILE || !f) {
        *pDir = SRLZ_ERROR;
        return;
    }
    for (size_t i = 0; i < len; ++i) {
        const int c = std::fgetc(f);
        if (c == EOF || static_cast<char>(c) != str[i]) {
            *pDir = SRLZ_ERROR;
            return;
        }
    }
}

}  // extern "C"
