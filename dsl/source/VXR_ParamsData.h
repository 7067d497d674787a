/*
 * VXR_ParamsData.h - runtime-internal helpers of the parameter, port and
 * array services: defined conversions of doubles to int, the fatal-error
 * path, and the port and array routines that other runtime sources share.
 */
#ifndef VXR_PARAMSDATA_H
#define VXR_PARAMSDATA_H

#include <limits.h>
#include <math.h>
#include "VXR_SupportLib.h"

/* The one conversion of a double to int: truncation toward zero, with
 * INT_MIN for NaN and for values outside int (a defined value that range
 * checks flag). */
static inline int VXR_truncToIntChecked(double x)
{
    if (!(x > -2147483649.0 && x < 2147483648.0))
        return INT_MIN;
    return (int)x;
}

/* Round half away from zero: x + 0.5 for x > 0, else x - 0.5, the sum
 * rounded to double, then truncated as above. */
static inline int VXR_roundToIntChecked(double x)
{
    return VXR_truncToIntChecked(x > 0.0 ? x + 0.5 : x - 0.5);
}

/* Element count of the bound pair [left:right], exact in 64 bits. */
static inline long long VXR_boundPairCount(int left, int right)
{
    const long long d = (long long)right - left;
    return (d < 0 ? -d : d) + 1;
}

/* count (1 .. INT_MAX + 1) times the element count of [left:right]. A product
 * past int comes out as INT_MAX + 1, the oversize mark, and no dimension
 * count can carry it past 64 bits. */
static inline long long VXR_addDimensionCount(long long count, int left, int right)
{
    const long long oversize = (long long)INT_MAX + 1;
    const long long n = VXR_boundPairCount(left, right);
    return count > oversize / n ? oversize : count * n;
}

/* Whether the first dimension runs from a higher to a lower index (an
 * array without bound vectors does not). */
static inline int VXR_arrayDescending(const VXR_Array* a)
{
#if VXR_REVISION == 187
    return a->_numDims >= 1 && a->_pLeftBounds && a->_pRightBounds && a->_pLeftBounds[0] > a->_pRightBounds[0];
#else
    return a->_leftBound > a->_rightBound;
#endif
}

/* Printable form of a possibly missing name. */
static inline const char* VXR_nameOrNull(const char* s)
{
    return s ? s : "(null)";
}

#ifdef __cplusplus
extern "C" {
#endif

/* ERROR message about the instance (no id), then the "exit" request. */
void VXR_fatalUserError(VXR_SimInterface* pSimInterface, VXR_DeviceInst* pInst, const char* text);

/* Element storage of an array: grows only; _dataLen becomes sz (0 when the
 * allocation failed). */
void allocRealArrayData(VXR_Array* pArray, int sz);
void allocIntArrayData(VXR_Array* pArray, int sz);

#if VXR_REVISION == 187
/* Slots of terminal term: 1 for a vector (its element array), 0 for a
 * scalar port (the address of its pPorts slot) or a terminal without slots
 * (outputs untouched). */
int getSV_SizePtr(VXR_DeviceInst* pInst, int term, int* pSize, VXR_StateVar*** pppSV);

/* Refreshes an array imported from the digital side through the loader. */
void doSyncDigitalArray(VXR_Array* pArray, VXR_DeviceInst* pInst, VXR_ContribLoader* ldr);
#endif

#ifdef __cplusplus
}
#endif

#endif /* VXR_PARAMSDATA_H */
