// Concatenation items and their replication, string concatenation and
// replication, and the string functions.
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "VXR_ParamsData.h"

extern "C" {
// The one empty result of string concatenation and replication; VXR_free
// leaves it alone.
const char VXR_emptyText[1] = "";
}

namespace {

VXR_SimInterface* hostOf(VXR_DeviceInst* inst)
{
    return inst ? inst->pSimInterface : nullptr;
}

void negativeReplication(VXR_DeviceInst* inst)
{
    VXR_fatalUserError(hostOf(inst), inst, "Attempt to use a negative-valued replication constant.");
}

// Element access of one replication kind: the item type it reads and how
// an element of another numeric item converts.
template <class T>
struct Kind;
template <>
struct Kind<double> {
    static constexpr VXR_DataTypeE type = VXR_REAL_DATA;
    static double get(const VXR_Data& e, int j)
    {
        return e.dataType == VXR_INT_DATA ? static_cast<double>(e.arrayData.pInt[j]) : e.arrayData.pReal[j];
    }
    static bool reads(VXR_DataTypeE t) { return t == VXR_REAL_DATA || t == VXR_INT_DATA; }
};
template <>
struct Kind<int> {
    static constexpr VXR_DataTypeE type = VXR_INT_DATA;
    static int get(const VXR_Data& e, int j)
    {
        return e.dataType == VXR_REAL_DATA ? VXR_truncToIntChecked(e.arrayData.pReal[j]) : e.arrayData.pInt[j];
    }
    static bool reads(VXR_DataTypeE t) { return t == VXR_REAL_DATA || t == VXR_INT_DATA; }
};
template <>
struct Kind<VXR_StateVar*> {
    static constexpr VXR_DataTypeE type = VXR_STATE_VAR_PTR;
    static VXR_StateVar* get(const VXR_Data& e, int j) { return e.arrayData.ppSV[j]; }
    static bool reads(VXR_DataTypeE t) { return t == VXR_STATE_VAR_PTR; }
};

template <class T>
VXR_Data emptyItem()
{
    VXR_Data e{};
    e.dataType = Kind<T>::type;
    return e;
}

template <class T>
T*& blockOf(VXR_Data& e);
template <>
double*& blockOf<double>(VXR_Data& e)
{
    return e.arrayData.pReal;
}
template <>
int*& blockOf<int>(VXR_Data& e)
{
    return e.arrayData.pInt;
}
template <>
VXR_StateVar**& blockOf<VXR_StateVar*>(VXR_Data& e)
{
    return e.arrayData.ppSV;
}

// {replNum{item_0, ..., item_count-1}}: copy r of the joined items fills
// positions r*L .. r*L + L-1. A negative count or length, or an item the
// kind cannot read, is an ERROR with an empty result; so is a size past
// int or the address space ("Out of memory.").
template <class T>
VXR_Data replicate(VXR_DeviceInst* inst, int replNum, int count, va_list ap)
{
    VXR_Data result = emptyItem<T>();
    if (replNum < 0) {
        negativeReplication(inst);
        return result;
    }
    if (count < 1)
        return result;
    VXR_Data* items = static_cast<VXR_Data*>(VXR_calloc(static_cast<size_t>(count), sizeof(VXR_Data), hostOf(inst),
                                                        inst, nullptr));
    if (!items)
        return result;
    long long joined = 0;
    bool ok = true;
    for (int i = 0; i < count; ++i) {
        items[i] = va_arg(ap, VXR_Data);
        if (items[i].arrayLen < 0) {
            negativeReplication(inst);
            ok = false;
        } else if (!Kind<T>::reads(items[i].dataType)) {
            VXR_fatalUserError(hostOf(inst), inst, "Concatenation mixes nets and numbers.");
            ok = false;
        } else {
            joined += items[i].arrayLen; // at most count * INT_MAX: no overflow
        }
    }
    const long long total = joined * replNum; // below 2^62
    if (ok && total > 0) {
        if (total > INT_MAX || static_cast<unsigned long long>(total) > SIZE_MAX / sizeof(T)) {
            VXR_fatalUserError(hostOf(inst), inst, "Out of memory.");
        } else if (T* block = static_cast<T*>(
                       VXR_calloc(static_cast<size_t>(total), sizeof(T), hostOf(inst), inst, nullptr))) {
            long long k = 0;
            for (int i = 0; i < count; ++i) {
                const VXR_Data& e = items[i];
                for (int j = 0; e.arrayData.pReal && j < e.arrayLen; ++j)
                    for (int r = 0; r < replNum; ++r)
                        block[k + j + r * joined] = Kind<T>::get(e, j);
                k += e.arrayLen;
            }
            blockOf<T>(result) = block;
            result.arrayLen = static_cast<int>(total);
        }
    }
    VXR_free(items);
    return result;
}

template <class T>
VXR_Data single(VXR_DeviceInst* inst, T v)
{
    VXR_Data e = emptyItem<T>();
    T* block = static_cast<T*>(VXR_calloc(1, sizeof(T), hostOf(inst), inst, nullptr));
    if (block) {
        *block = v;
        blockOf<T>(e) = block;
        e.arrayLen = 1;
    }
    return e;
}

} // namespace

extern "C" {

VXR_Data VXR_Real(VXR_DeviceInst* pParent, double x)
{
    return single(pParent, x);
}

VXR_Data VXR_Int(VXR_DeviceInst* pParent, int n)
{
    return single(pParent, n);
}

VXR_Data VXR_RealReplicate(VXR_DeviceInst* pParent, int replNum, int count, ...)
{
    va_list ap;
    va_start(ap, count);
    const VXR_Data e = replicate<double>(pParent, replNum, count, ap);
    va_end(ap);
    return e;
}

VXR_Data VXR_IntReplicate(VXR_DeviceInst* pParent, int replNum, int count, ...)
{
    va_list ap;
    va_start(ap, count);
    const VXR_Data e = replicate<int>(pParent, replNum, count, ap);
    va_end(ap);
    return e;
}

#if VXR_REVISION == 187

VXR_Data VXR_pSV(VXR_DeviceInst* pParent, VXR_StateVar* pSV, int* pWidth)
{
    if (!pWidth)
        return single(pParent, pSV);
    VXR_Data e = emptyItem<VXR_StateVar*>();
    if (*pWidth <= 0 || !pSV) {
        negativeReplication(pParent);
        return e;
    }
    const int n = *pWidth;
    auto* block = static_cast<VXR_StateVar**>(
        VXR_malloc(static_cast<size_t>(n) * sizeof(VXR_StateVar*), hostOf(pParent), pParent, nullptr));
    if (block) {
        // pSV is the first of n consecutive slots of a vector's element array.
        memcpy(block, reinterpret_cast<VXR_StateVar**>(pSV), static_cast<size_t>(n) * sizeof(VXR_StateVar*));
        e.arrayData.ppSV = block;
        e.arrayLen = n;
    }
    return e;
}

VXR_Data VXR_pSV_Replicate(VXR_DeviceInst* pParent, int replNum, int count, ...)
{
    va_list ap;
    va_start(ap, count);
    const VXR_Data e = replicate<VXR_StateVar*>(pParent, replNum, count, ap);
    va_end(ap);
    return e;
}

int VXR_BitwiseConcatenate(VXR_DeviceInst* pParent, int, ...)
{
    VXR_Message(hostOf(pParent), pParent, nullptr, MessageTypeE_WARNING,
                "Bitwise concatenation within the analog domain is not currently supported.");
    return 0;
}

int VXR_BitwiseReplicate(VXR_DeviceInst* pParent, int, int)
{
    VXR_Message(hostOf(pParent), pParent, nullptr, MessageTypeE_WARNING,
                "Bitwise replication within the analog domain is not currently supported.");
    return 0;
}

char* VXR_StringConcatenate(VXR_DeviceInst* pParent, int count, ...)
{
    if (count < 0)
        return nullptr;
    if (count == 0)
        return const_cast<char*>(VXR_emptyText);
    va_list ap;
    va_start(ap, count);
    const char* first = va_arg(ap, const char*);
    char* text = VXR_strdup(first ? first : "", hostOf(pParent), pParent);
    size_t len = text ? strlen(text) : 0;
    for (int i = 1; text && i < count; ++i) {
        const char* next = va_arg(ap, const char*);
        const size_t add = next ? strlen(next) : 0;
        char* joined = static_cast<char*>(VXR_calloc(len + add + 1, 1, hostOf(pParent), pParent, nullptr));
        if (joined) {
            memcpy(joined, text, len);
            memcpy(joined + len, next ? next : "", add);
            len += add;
        }
        VXR_free(text);
        text = joined;
    }
    va_end(ap);
    return text;
}

char* VXR_StringReplicate(VXR_DeviceInst* pParent, int replNum, const char* orig)
{
    const size_t len = orig ? strlen(orig) : 0;
    if (len == 0 || replNum == 0)
        return const_cast<char*>(VXR_emptyText);
    if (replNum < 0) {
        negativeReplication(pParent);
        return const_cast<char*>(VXR_emptyText);
    }
    if (len > (SIZE_MAX - 1) / static_cast<size_t>(replNum)) {
        VXR_fatalUserError(hostOf(pParent), pParent, "Out of memory.");
        return const_cast<char*>(VXR_emptyText);
    }
    char* text = static_cast<char*>(
        VXR_calloc(len * static_cast<size_t>(replNum) + 1, 1, hostOf(pParent), pParent, nullptr));
    for (int r = 0; text && r < replNum; ++r)
        memcpy(text + static_cast<size_t>(r) * len, orig, len);
    return text;
}

int VXR_rfc_len(VXR_DeviceInst*, const char* str)
{
    if (!str)
        return 0;
    const size_t n = strlen(str);
    return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

const char* VXR_rfc_substr(VXR_DeviceInst* pParent, const char* str, int i1, int i2)
{
    if (i1 < 0 || !str || i1 > i2 || static_cast<size_t>(i2) >= strlen(str))
        return VXR_strdup("", hostOf(pParent), pParent); // a fresh empty text
    const size_t n = static_cast<size_t>(i2) - static_cast<size_t>(i1) + 1;
    char* s = static_cast<char*>(VXR_calloc(n + 1, 1, hostOf(pParent), pParent, nullptr));
    if (s)
        memcpy(s, str + i1, n);
    return s;
}

double VXR_rfc_atoreal(VXR_DeviceInst*, const char* str)
{
    return str ? strtod(str, nullptr) : 0.0;
}

#endif // VXR_REVISION == 187

} // extern "C"
