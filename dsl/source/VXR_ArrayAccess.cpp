// Runtime arrays as generated code uses them: creation variants, release,
// index mapping, element access, initialisers and the two checks. Storage
// and assignment live in VXR_Arrays.cpp.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "VXR_ParamsData.h"

namespace {

// Where a write through an out-of-range reference lands: cleared before it
// is handed out, never part of any array.
double scratchReal;
int scratchInt;

// Bounds of the first (1.60/1.42: the only) dimension; false when the array
// has none to read.
bool firstBounds(const VXR_Array* a, int* left, int* right)
{
#if VXR_REVISION == 187
    if (a->_numDims < 1 || !a->_pLeftBounds || !a->_pRightBounds)
        return false;
    *left = a->_pLeftBounds[0];
    *right = a->_pRightBounds[0];
#else
    *left = a->_leftBound;
    *right = a->_rightBound;
#endif
    return true;
}

void arrayError(const VXR_Array* a, const char* id, const char* text)
{
    VXR_Message(a->_pSimInterface, a->_pParent, id, MessageTypeE_ERROR, text);
    if (a->_pSimInterface && a->_pSimInterface->pSystemRequest)
        a->_pSimInterface->pSystemRequest("exit", 1, a->_pParent, nullptr, a->_pSimInterface);
}

bool hasElement(const VXR_Array* a, int pos)
{
    return pos >= 0 && pos < a->_dataLen && a->_data._pReal;
}

#if VXR_REVISION == 187
// The access errors are composed step by step in a 2047-character buffer;
// each step appends to what is there (snprintf never writes past it).
struct AccessText {
    char buf[VXR_MESSAGE_BUFFER_CHARS + 1] = "";
    template <class... A>
    void append(const char* fmt, A... args)
    {
        const size_t used = strlen(buf);
        snprintf(buf + used, sizeof buf - used, fmt, args...);
    }
};

void VXR_arrayDimensionError(const VXR_Array* a, int size)
{
    AccessText t;
    t.append("Invalid array access: %s has %d dimensions but %d were given.", VXR_nameOrNull(a->_arrayName),
             a->_numDims, size);
    arrayError(a, nullptr, t.buf);
}

void VXR_arrayBoundsError(const VXR_Array* a, int indx, int dim)
{
    AccessText t;
    t.append("Invalid array access: %s", VXR_nameOrNull(a->_arrayName));
    for (int d = 0; d < dim; ++d)
        t.append("[]");
    t.append("[%d]", indx);
    for (int d = dim + 1; d < a->_numDims; ++d)
        t.append("[]");
    t.append(" out of allowed range (%d:%d)", a->_pLeftBounds[dim], a->_pRightBounds[dim]);
    if (a->_numDims > 1)
        t.append(" for dimension (%d)", dim + 1);
    arrayError(a, nullptr, t.buf);
}

// Storage positions are the positions themselves.
int position(VXR_Array*, int indx)
{
    return indx;
}
#else
// The older accessors take the declared index and check it themselves.
int position(VXR_Array* a, int indx)
{
    const int lo = a->_leftBound < a->_rightBound ? a->_leftBound : a->_rightBound;
    const int hi = a->_leftBound < a->_rightBound ? a->_rightBound : a->_leftBound;
    if (indx < lo || indx > hi) {
        char buf[VXR_MESSAGE_BUFFER_CHARS + 1];
        snprintf(buf, sizeof buf, "Invalid array access: %s[%d] out of allowed range (%d:%d)",
                 VXR_nameOrNull(a->_arrayName), indx, a->_leftBound, a->_rightBound);
        arrayError(a, nullptr, buf);
        return -1;
    }
    const long long pos = static_cast<long long>(indx) - lo;
    return pos > INT_MAX ? -1 : static_cast<int>(pos);
}
#endif

// Fills the array from count values, value(k) for k = 0 .. count-1, the
// first at the left bound; storage grows (zeroed) only past _dataLen.
template <class Value>
void fillFromList(VXR_Array* a, int count, Value value)
{
    if (count < 0)
        count = 0;
    const bool isReal = a->_arrayType == VXR_REAL_ARRAY;
    if (isReal)
        allocRealArrayData(a, count);
    else if (a->_arrayType == VXR_INT_ARRAY)
        allocIntArrayData(a, count);
    a->_contentsModified = 1;
    if (a->_dataLen < count || !a->_data._pReal)
        return; // failed allocation (reported) or an array of no element type
    int left = 0, right = 0;
    const bool reverse = firstBounds(a, &left, &right) && left > right;
    for (int k = 0; k < count; ++k) {
        const int pos = reverse ? count - 1 - k : k;
        if (isReal)
            a->_data._pReal[pos] = value(k, 0.0);
        else
            a->_data._pInt[pos] = value(k, 0);
    }
}

// Element k of a concatenation item as the target element type: ints widen
// to double, reals truncate toward zero (NaN and out-of-range: INT_MIN).
struct ItemValue {
    const VXR_Data& e;
    double operator()(int k, double) const
    {
        return e.dataType == VXR_REAL_DATA ? e.arrayData.pReal[k] : static_cast<double>(e.arrayData.pInt[k]);
    }
    int operator()(int k, int) const
    {
        return e.dataType == VXR_REAL_DATA ? VXR_truncToIntChecked(e.arrayData.pReal[k]) : e.arrayData.pInt[k];
    }
};

// The next value of a variadic list of T (read strictly in order: the
// initialiser asks for k = 0, 1, ... once each).
template <class T>
struct ListValue {
    va_list* ap;
    double operator()(int, double) const { return static_cast<double>(va_arg(*ap, T)); }
    int operator()(int, int) const { return toInt(va_arg(*ap, T)); }
    static int toInt(double x) { return VXR_truncToIntChecked(x); }
    static int toInt(int x) { return x; }
};

int numericItemLength(const VXR_Data& e)
{
    if (e.dataType != VXR_REAL_DATA && e.dataType != VXR_INT_DATA)
        return -1; // nets are no values
    if (e.arrayLen > 0 && !e.arrayData.pReal)
        return -1;
    return e.arrayLen < 0 ? 0 : e.arrayLen;
}

void initByConcat(VXR_Array* a, const VXR_Data& e)
{
    const int n = numericItemLength(e);
    if (n >= 0)
        fillFromList(a, n, ItemValue{e});
}

} // namespace

extern "C" {

VXR_Array* VXR_createArrayVar(VXR_DeviceInst* pParent, VXR_ArrayTypeE arrayType, const char* arrayName)
{
    VXR_Array* a = VXR_createArray(pParent, arrayType, arrayName);
    if (a)
        a->_isVar = 1;
    return a;
}

VXR_Array* VXR_createTempArray(const VXR_Array* pOrigArray, const char* arrayName)
{
    if (!pOrigArray)
        return nullptr;
    VXR_Array* a = VXR_createArray(pOrigArray->_pParent, pOrigArray->_arrayType, arrayName);
    if (!a || !pOrigArray->_boundsSet)
        return a;
#if VXR_REVISION == 187
    VXR_setArrayBoundVectors(a, pOrigArray->_numDims, pOrigArray->_pLeftBounds, pOrigArray->_pRightBounds);
#else
    VXR_setArrayBounds(a, pOrigArray->_leftBound, pOrigArray->_rightBound);
#endif
    return a;
}

void VXR_freeArray(VXR_Array* pArray)
{
    if (!pArray)
        return;
    // Storage may exist without bounds (an initialiser fills an unbounded
    // array), so it goes whatever _boundsSet says.
    VXR_free(pArray->_data._pReal);
#if VXR_REVISION == 187
    VXR_free(pArray->_pLeftBounds);
    VXR_free(pArray->_pRightBounds);
#endif
    VXR_free(pArray);
}

#if VXR_REVISION == 187
VXR_Array* digitalArray(int digID, int D2A_ImportIndex, VXR_DeviceInst* pParent, const char* arrayName,
                        int leftBound, int rightBound)
{
    VXR_Array* a = VXR_createArray(pParent, VXR_REAL_ARRAY, arrayName);
    if (!a)
        return nullptr;
    VXR_setArrayBounds(a, leftBound, rightBound);
    a->_digID = digID;
    a->_D2A_ImportIndex = D2A_ImportIndex;
    return a;
}

VXR_Array* analogArray(VXR_Array* pArray)
{
    return pArray;
}

int VXR_getArrayIndex(VXR_Array* pArray, int size, ...)
{
    if (!pArray)
        return -1;
    if (size != pArray->_numDims)
        VXR_arrayDimensionError(pArray, size);
    // Bounds beyond _numDims do not exist: an extra index has no place.
    if (size > pArray->_numDims || (size > 0 && (!pArray->_pLeftBounds || !pArray->_pRightBounds)))
        return -1;
    long long result = 0, stride = 1;
    va_list ap;
    va_start(ap, size);
    for (int d = 0; d < size; ++d) {
        int lo = pArray->_pLeftBounds[d], hi = pArray->_pRightBounds[d];
        if (lo > hi) {
            const int t = lo;
            lo = hi;
            hi = t;
        }
        const int i = va_arg(ap, int);
        if (i < lo || i > hi) {
            VXR_arrayBoundsError(pArray, i, d);
            result = -1;
            break;
        }
        result += (static_cast<long long>(i) - lo) * stride;
        stride = VXR_addDimensionCount(stride, lo, hi);
        if (result > INT_MAX) { // only past storage that could never be allocated
            result = -1;
            break;
        }
    }
    va_end(ap);
    return static_cast<int>(result);
}
#endif

double VXR_getArrayReal(VXR_Array* pArray, int indx)
{
    if (!pArray)
        return 0.0;
    const int pos = position(pArray, indx);
    if (!hasElement(pArray, pos))
        return 0.0;
    if (pArray->_arrayType == VXR_REAL_ARRAY)
        return pArray->_data._pReal[pos];
    return pArray->_arrayType == VXR_INT_ARRAY ? static_cast<double>(pArray->_data._pInt[pos]) : 0.0;
}

int VXR_getArrayInt(VXR_Array* pArray, int indx)
{
    if (!pArray)
        return 0;
    const int pos = position(pArray, indx);
    if (!hasElement(pArray, pos))
        return 0;
    if (pArray->_arrayType == VXR_INT_ARRAY)
        return pArray->_data._pInt[pos];
    return pArray->_arrayType == VXR_REAL_ARRAY ? VXR_truncToIntChecked(pArray->_data._pReal[pos]) : 0;
}

void VXR_setArrayReal(VXR_Array* pArray, int indx, double val)
{
    if (!pArray)
        return;
    const int pos = position(pArray, indx);
    if (!hasElement(pArray, pos))
        return;
    if (pArray->_arrayType == VXR_REAL_ARRAY) {
        double& t = pArray->_data._pReal[pos];
        if (val != t) // also true when either side is NaN
            pArray->_contentsModified = 1;
        t = val;
    } else if (pArray->_arrayType == VXR_INT_ARRAY) {
        VXR_setArrayInt(pArray, indx, VXR_roundToIntChecked(val));
    }
}

void VXR_setArrayInt(VXR_Array* pArray, int indx, int val)
{
    if (!pArray)
        return;
    const int pos = position(pArray, indx);
    if (!hasElement(pArray, pos))
        return;
    if (pArray->_arrayType == VXR_INT_ARRAY) {
        int& t = pArray->_data._pInt[pos];
        if (val != t)
            pArray->_contentsModified = 1;
        t = val;
    } else if (pArray->_arrayType == VXR_REAL_ARRAY) {
        VXR_setArrayReal(pArray, indx, static_cast<double>(val));
    }
}

double* VXR_realRef(VXR_Array* pArray, int indx)
{
    scratchReal = 0.0;
    if (!pArray)
        return &scratchReal;
    pArray->_contentsModified = 1;
    const int pos = position(pArray, indx);
    if (!hasElement(pArray, pos) || pArray->_arrayType != VXR_REAL_ARRAY)
        return &scratchReal;
    return &pArray->_data._pReal[pos];
}

int* VXR_intRef(VXR_Array* pArray, int indx)
{
    scratchInt = 0;
    if (!pArray)
        return &scratchInt;
    pArray->_contentsModified = 1;
    const int pos = position(pArray, indx);
    if (!hasElement(pArray, pos) || pArray->_arrayType != VXR_INT_ARRAY)
        return &scratchInt;
    return &pArray->_data._pInt[pos];
}

void VXR_initRealArray(VXR_Array* pArray, int sz, ...)
{
    if (!pArray)
        return;
    va_list ap;
    va_start(ap, sz);
    fillFromList(pArray, sz, ListValue<double>{&ap});
    va_end(ap);
}

void VXR_initIntArray(VXR_Array* pArray, int sz, ...)
{
    if (!pArray)
        return;
    va_list ap;
    va_start(ap, sz);
    fillFromList(pArray, sz, ListValue<int>{&ap});
    va_end(ap);
}

void VXR_initRealArrayByConcat(VXR_Array* pArray, VXR_Data e)
{
    if (pArray)
        initByConcat(pArray, e);
}

void VXR_initIntArrayByConcat(VXR_Array* pArray, VXR_Data e)
{
    if (pArray)
        initByConcat(pArray, e);
}

void VXR_initAndSetBoundsOfRealArrayByConcat(VXR_Array* pArray, VXR_Data e)
{
    if (!pArray)
        return;
    VXR_setArrayBounds(pArray, 0, e.arrayLen - 1);
    initByConcat(pArray, e);
}

void VXR_resetArray(VXR_Array* pArray)
{
    if (!pArray)
        return;
    if (pArray->_data._pReal) {
        for (int k = 0; k < pArray->_dataLen; ++k) {
            if (pArray->_arrayType == VXR_REAL_ARRAY)
                pArray->_data._pReal[k] = 0.0;
            else
                pArray->_data._pInt[k] = 0;
        }
    }
    pArray->_contentsModified = 1;
}

int VXR_checkArrayRange(VXR_Array* pArray, char leftParen, double leftVal, double rightVal, char rightParen)
{
    if (!pArray || !pArray->_data._pReal)
        return 1;
    for (int k = 0; k < pArray->_dataLen; ++k) {
        const double v = pArray->_arrayType == VXR_REAL_ARRAY ? pArray->_data._pReal[k]
                                                              : static_cast<double>(pArray->_data._pInt[k]);
        // Comparisons with NaN are false: a NaN element or bound never fails.
        if (leftParen == '(' ? v <= leftVal : v < leftVal)
            return 0;
        if (rightParen == ')' ? v >= rightVal : v > rightVal)
            return 0;
    }
    return 1;
}

void VXR_checkArraySize(VXR_Array* pArray)
{
    int left = 0, right = 0;
    if (!pArray || !firstBounds(pArray, &left, &right))
        return;
    if (pArray->_dataLen == VXR_boundPairCount(left, right))
        return;
    char buf[1000];
    snprintf(buf, sizeof buf,
             "Array initialization error: mismatch in array length. Attempt to\nuse initializer of length %d with "
             "array bounds [%d:%d].",
             pArray->_dataLen, left, right);
    arrayError(pArray, pArray->_arrayName, buf);
}

} // extern "C"
