// Runtime array storage: creation, bounds, element storage, assignment and
// duplication.
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "VXR_ParamsData.h"

namespace {

// Grow-only element storage of elemSize-byte elements; returns the block
// (zeroed where it was replaced) or NULL with _dataLen 0.
void* sizeData(VXR_Array* a, int sz, size_t elemSize)
{
    if (sz < 0)
        sz = 0;
    void* block = a->_data._pReal;
    if (sz > a->_dataLen) {
        VXR_free(block);
        a->_data._pReal = nullptr;
        block = VXR_malloc(static_cast<size_t>(sz) * elemSize, a->_pSimInterface, a->_pParent, nullptr);
        if (!block) {
            a->_dataLen = 0;
            return nullptr;
        }
        memset(block, 0, static_cast<size_t>(sz) * elemSize);
        a->_data._pReal = static_cast<double*>(block);
    }
    a->_dataLen = sz;
    return block;
}

// The element count that fits both int and the address space, or -1 after
// reporting an oversize array as the allocation that could never succeed.
int checkedCount(VXR_Array* a, long long count)
{
    const long long maxElems = static_cast<long long>(SIZE_MAX / sizeof(double));
    if (count > INT_MAX || count > maxElems) {
        VXR_fatalUserError(a->_pSimInterface, a->_pParent, "Out of memory.");
        return -1;
    }
    return static_cast<int>(count);
}

void sizeByType(VXR_Array* a, long long count)
{
    if (a->_arrayType != VXR_REAL_ARRAY && a->_arrayType != VXR_INT_ARRAY)
        return;
    int n = checkedCount(a, count);
    if (n < 0)
        n = 0; // an oversize array holds no elements
    if (a->_arrayType == VXR_REAL_ARRAY)
        allocRealArrayData(a, n);
    else
        allocIntArrayData(a, n);
}

#if VXR_REVISION == 187
VXR_SimInterface* parentSimIf(const VXR_Array* a)
{
    return a->_pParent ? a->_pParent->pSimInterface : a->_pSimInterface;
}

// Installs bound vectors that the array takes over (left, right: numDims
// ints each, or NULL after a failed allocation) and sizes the data.
void installBounds(VXR_Array* a, int numDims, int* left, int* right)
{
    VXR_free(a->_pLeftBounds);
    VXR_free(a->_pRightBounds);
    long long count = 1;
    if (numDims > 0 && (!left || !right)) {
        // Allocation failure (already reported): no bounds and no elements.
        VXR_free(left);
        VXR_free(right);
        left = right = nullptr;
        numDims = 0;
        count = 0;
    }
    for (int d = 0; d < numDims; ++d)
        count = VXR_addDimensionCount(count, left[d], right[d]);
    a->_pLeftBounds = left;
    a->_pRightBounds = right;
    a->_numDims = numDims;
    a->_boundsSet = 1;
    a->_contentsModified = 1;
    sizeByType(a, count);
}

// Whether numDims ints fit the address space (a 32-bit size_t wraps for
// counts past 2^30); reported as the allocation that cannot succeed.
bool boundVectorsFit(VXR_Array* a, int numDims)
{
    if (static_cast<size_t>(numDims) <= SIZE_MAX / sizeof(int))
        return true;
    VXR_fatalUserError(a->_pSimInterface, a->_pParent, "Out of memory.");
    return false;
}

bool hasBoundVectors(const VXR_Array* a)
{
    return a->_numDims <= 0 || (a->_pLeftBounds && a->_pRightBounds);
}
#endif

// Writes source(k), k = 0 .. n-1, into dst (back to front when reverse); any
// changed element marks the array modified.
template <class T, class Source>
void copyElements(VXR_Array* a, T* dst, int n, bool reverse, Source source)
{
    for (int k = 0; k < n; ++k) {
        const T v = source(k);
        T& t = dst[reverse ? n - 1 - k : k];
        if (v != t) // also true when either side is NaN
            a->_contentsModified = 1;
        t = v;
    }
}

} // namespace

extern "C" {

void allocRealArrayData(VXR_Array* pArray, int sz)
{
    sizeData(pArray, sz, sizeof(double));
}

void allocIntArrayData(VXR_Array* pArray, int sz)
{
    sizeData(pArray, sz, sizeof(int));
}

VXR_Array* VXR_createArray(VXR_DeviceInst* pParent, VXR_ArrayTypeE arrayType, const char* arrayName)
{
    VXR_SimInterface* simIf = pParent ? pParent->pSimInterface : nullptr;
#if VXR_REVISION == 187
    VXR_Array* a = static_cast<VXR_Array*>(VXR_calloc(1, sizeof(VXR_Array), simIf, pParent, nullptr));
    if (!a)
        return nullptr;
    a->_digID = -1;
    a->_D2A_ImportIndex = 0;
    a->_numDims = 1;
    a->_pLeftBounds = nullptr;
    a->_pRightBounds = nullptr;
#else
    VXR_Array* a = static_cast<VXR_Array*>(VXR_malloc(sizeof(VXR_Array), simIf, pParent, nullptr));
    if (!a)
        return nullptr;
    a->_leftBound = 0;
    a->_rightBound = 0;
#endif
    a->_pParent = pParent;
    a->_pSimInterface = simIf;
    a->_arrayName = arrayName;
    a->_arrayType = arrayType;
    a->_boundsSet = 0;
    a->_contentsModified = 1;
    a->_isVar = 0;
    a->_dataLen = 0;
    a->_data._pReal = nullptr;
    return a;
}

#if VXR_REVISION == 187
void VXR_setArrayBoundVectors(VXR_Array* pArray, int numDims, const int* pLeftBounds, const int* pRightBounds)
{
    if (!pArray)
        return;
    if (numDims < 0 || !pLeftBounds || !pRightBounds)
        numDims = 0;
    // New vectors are filled before the old ones go, so passing the array's
    // own vectors is harmless.
    if (!boundVectorsFit(pArray, numDims))
        return installBounds(pArray, numDims, nullptr, nullptr);
    const size_t bytes = static_cast<size_t>(numDims) * sizeof(int);
    int* left = static_cast<int*>(VXR_malloc(bytes, pArray->_pSimInterface, pArray->_pParent, nullptr));
    int* right = static_cast<int*>(VXR_malloc(bytes, pArray->_pSimInterface, pArray->_pParent, nullptr));
    if (left && right) {
        memcpy(left, pLeftBounds, bytes);
        memcpy(right, pRightBounds, bytes);
    }
    installBounds(pArray, numDims, left, right);
}

void VXR_setArrayBoundLists(VXR_Array* pArray, int numDims, ...)
{
    if (!pArray)
        return;
    if (numDims < 0)
        numDims = 0;
    VXR_SimInterface* simIf = parentSimIf(pArray);
    if (!boundVectorsFit(pArray, numDims))
        return installBounds(pArray, numDims, nullptr, nullptr);
    const size_t bytes = static_cast<size_t>(numDims) * sizeof(int);
    int* left = static_cast<int*>(VXR_malloc(bytes, simIf, pArray->_pParent, nullptr));
    int* right = static_cast<int*>(VXR_malloc(bytes, simIf, pArray->_pParent, nullptr));
    if (left && right) {
        va_list ap;
        va_start(ap, numDims);
        for (int d = 0; d < numDims; ++d) {
            left[d] = va_arg(ap, int);
            right[d] = va_arg(ap, int);
        }
        va_end(ap);
    }
    installBounds(pArray, numDims, left, right);
}

void VXR_setArrayBounds(VXR_Array* pArray, int leftBound, int rightBound)
{
    VXR_setArrayBoundVectors(pArray, 1, &leftBound, &rightBound);
}
#else
void VXR_setArrayBounds(VXR_Array* pArray, int leftBound, int rightBound)
{
    if (!pArray)
        return;
    pArray->_leftBound = leftBound;
    pArray->_rightBound = rightBound;
    pArray->_boundsSet = 1;
    pArray->_contentsModified = 1;
    sizeByType(pArray, VXR_boundPairCount(leftBound, rightBound));
}
#endif

void VXR_assignArray(VXR_Array* pLhs, const VXR_Array* pRhs)
{
    if (!pLhs || !pRhs || pLhs == pRhs)
        return;
    if (!pLhs->_boundsSet) {
#if VXR_REVISION == 187
        if (pRhs->_boundsSet && hasBoundVectors(pRhs))
            VXR_setArrayBoundVectors(pLhs, pRhs->_numDims, pRhs->_pLeftBounds, pRhs->_pRightBounds);
#else
        if (pRhs->_boundsSet)
            VXR_setArrayBounds(pLhs, pRhs->_leftBound, pRhs->_rightBound);
#endif
    }
    // Never past either storage: at most the target's elements are written.
    int n = pRhs->_dataLen < pLhs->_dataLen ? pRhs->_dataLen : pLhs->_dataLen;
    if (n <= 0 || !pRhs->_data._pReal || !pLhs->_data._pReal)
        return;
    const bool reverse = VXR_arrayDescending(pLhs) != VXR_arrayDescending(pRhs);
    const bool rhsReal = pRhs->_arrayType == VXR_REAL_ARRAY;
    if (pLhs->_arrayType == VXR_REAL_ARRAY)
        copyElements(pLhs, pLhs->_data._pReal, n, reverse, [&](int k) {
            return rhsReal ? pRhs->_data._pReal[k] : static_cast<double>(pRhs->_data._pInt[k]);
        });
    else if (pLhs->_arrayType == VXR_INT_ARRAY)
        copyElements(pLhs, pLhs->_data._pInt, n, reverse, [&](int k) {
            return rhsReal ? VXR_roundToIntChecked(pRhs->_data._pReal[k]) : pRhs->_data._pInt[k];
        });
}

VXR_Array* VXR_duplicateArray(const VXR_Array* pRhs)
{
    if (!pRhs)
        return nullptr;
    VXR_Array* a = VXR_createArray(pRhs->_pParent, pRhs->_arrayType, pRhs->_arrayName);
    if (a)
        VXR_assignArray(a, pRhs);
    return a;
}

} // extern "C"
