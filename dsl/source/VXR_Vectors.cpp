// Net and port vectors: binding vector ports, node and register-port
// vectors, concatenated vectors, part selects for children, and the checks
// generated code makes on vector accesses.
#include <stdio.h>
#include <string.h>

#include "VXR_ParamsData.h"

#if VXR_REVISION == 187

namespace {

VXR_Vector* vectorOf(VXR_DeviceInst* inst, int id)
{
    if (!inst || !inst->pVectors || id < 0 || id >= inst->numOfVectors)
        return nullptr;
    return &inst->pVectors[id];
}

// A vector owns its element array: a new one replaces it.
void adoptSlots(VXR_Vector* vec, VXR_StateVar** slots, int L, int R)
{
    if (vec->pSVs != slots)
        VXR_free(vec->pSVs);
    vec->pSVs = slots;
    vec->L = L;
    vec->R = R;
}

bool isNode(const VXR_StateVar* sv)
{
    return sv && sv != UNCONNECTED_SV && sv != VXR_NO_NODE_SV;
}

template <class... A>
void vectorError(VXR_DeviceInst* inst, const char* fmt, A... args)
{
    char buf[VXR_MESSAGE_BUFFER_CHARS + 1];
    snprintf(buf, sizeof buf, fmt, args...);
    VXR_fatalUserError(inst->pSimInterface, inst, buf);
}

// A name in a block sized to its text; NULL after a reported failure.
template <class... A>
char* makeName(VXR_DeviceInst* inst, const char* fmt, A... args)
{
    const int n = snprintf(nullptr, 0, fmt, args...);
    if (n < 0)
        return nullptr;
    char* s = static_cast<char*>(VXR_malloc(static_cast<size_t>(n) + 1, inst->pSimInterface, inst, nullptr));
    if (s)
        snprintf(s, static_cast<size_t>(n) + 1, fmt, args...);
    return s;
}

// Element name "%d%s" of index i, "_%d%s" of its magnitude below 0.
char* elementName(VXR_DeviceInst* inst, long long i, const char* name)
{
    return i >= 0 ? makeName(inst, "%lld%s", i, name) : makeName(inst, "_%lld%s", -i, name);
}

// An element array of |R - L| + 1 zeroed slots; NULL after a reported failure.
VXR_StateVar** newSlots(VXR_DeviceInst* inst, int L, int R)
{
    const long long n = VXR_boundPairCount(L, R);
    if (static_cast<unsigned long long>(n) > SIZE_MAX / sizeof(VXR_StateVar*)) {
        VXR_fatalUserError(inst->pSimInterface, inst, "Out of memory.");
        return nullptr;
    }
    return static_cast<VXR_StateVar**>(
        VXR_calloc(static_cast<size_t>(n), sizeof(VXR_StateVar*), inst->pSimInterface, inst, nullptr));
}

// Node and register-port vectors: one host node per index from L to R, in
// that order, each linked back to its vector. After a failure nothing is
// stored (the nodes already made are the host's).
template <class MakeNode>
void setupVector(VXR_DeviceInst* inst, const char* name, int id, int L, int R, MakeNode makeNode)
{
    VXR_Vector* vec = vectorOf(inst, id);
    if (!vec)
        return;
    VXR_StateVar** slots = newSlots(inst, L, R);
    if (!slots)
        return;
    const char* base = name ? name : "";
    const int dir = R > L ? 1 : -1;
    for (long long i = L;; i += dir) {
        char* elem = elementName(inst, i, base);
        if (!elem) {
            VXR_free(slots);
            return;
        }
        VXR_StateVar* sv = makeNode(elem);
        slots[i >= L ? i - L : L - i] = sv;
        if (isNode(sv))
            sv->pVector = vec;
        if (i == R)
            break;
    }
    adoptSlots(vec, slots, L, R);
}

// Whether the part select [subL:subR] of [L:R] is fine, sending the errors.
// A one-element select has no direction of its own: it only has to lie in
// the vector.
bool checkSubsetBounds(VXR_DeviceInst* inst, const char* name, int L, int R, int subL, int subR)
{
    bool ok = true;
    const int lo = L < R ? L : R, hi = L < R ? R : L;
    if (subL == subR) {
        if (subL < lo || subL > hi) {
            vectorError(inst, "Part select '[%d:%d]' exceeds bounds of '%s[%d:%d]'.\n", subL, subR, name, L, R);
            ok = false;
        }
        return ok;
    }
    const bool selectUp = subL < subR;
    if (L != R && selectUp != (R > L)) {
        vectorError(inst, "Part select '[%d:%d]' has reversed order of '%s[%d:%d]'.\n", subL, subR, name, L, R);
        ok = false;
    }
    if (selectUp ? (subL < L || subR > R) : (subL > L || subR < R)) {
        vectorError(inst, "Part select '[%d:%d]' exceeds bounds of '%s[%d:%d]'.\n", subL, subR, name, L, R);
        ok = false;
    }
    return ok;
}

} // namespace

extern "C" {

void VXR_CreatePortVector(VXR_DeviceInst* pInst, const char* name, int id, VXR_StateVar** termArray,
                          int (*termWidth)[3], int p, int numOfTerms, int* pTrm, int index, int range, int L, int R,
                          int*, int*, int*)
{
    VXR_Vector* vec = vectorOf(pInst, id);
    if (!vec || !pTrm)
        return;
    const long long size = VXR_boundPairCount(L, R);
    VXR_StateVar** slots = newSlots(pInst, L, R);
    if (slots)
        adoptSlots(vec, slots, L, R);
    const char* portName = VXR_nameOrNull(name);
    // The port's own entry; an entry past the given terminals is unconnected.
    const bool given = termArray && p >= 0 && p < numOfTerms;
    const int w = (termWidth && given) ? termWidth[p][0] : -1;
    VXR_StateVar** V = given ? reinterpret_cast<VXR_StateVar**>(termArray[p]) : nullptr;

    if (termWidth) {
        if (range > 0) {
            const long long whole = size * range; // both below 2^32: exact in 64 bits
            if (w != size && w != whole) {
                VXR_reportInstanceArrayError(portName, w, static_cast<int>(size), range, pInst->pSimInterface, pInst);
            } else if (w == whole) {
                for (long long k = 0; slots && k < size; ++k)
                    slots[k] = (V && index >= 0 && index < range) ? V[index * size + k] : UNCONNECTED_SV;
                ++*pTrm;
                pInst->numOfFlatTerms += static_cast<int>(size - 1);
                return;
            }
        }
        for (long long k = 0; slots && k < size; ++k)
            slots[k] = (V && w > 0 && (w == size || k < w)) ? V[k] : UNCONNECTED_SV;
        ++*pTrm;
        if (w != size && w != -1)
            VXR_reportWidthMismatch(portName, w, static_cast<int>(size), nullptr, pInst->pSimInterface, pInst);
        pInst->numOfFlatTerms += static_cast<int>(size - 1);
        return;
    }
    // Flat terminals: one per element while they last.
    for (long long k = 0; k < size; ++k) {
        const bool have = termArray && *pTrm >= 0 && *pTrm < numOfTerms;
        if (slots)
            slots[k] = have ? termArray[*pTrm] : UNCONNECTED_SV;
        if (have)
            ++*pTrm;
        else if (!slots)
            break;
    }
    pInst->numOfFlatTerms += static_cast<int>(size - 1);
}

void VXR_SetupNodeVector(VXR_DeviceInst* pInst, const char* name, int id, int L, int R, void* pCallbackInfo)
{
    if (!pInst || !pInst->pSimInterface || !pInst->pSimInterface->pSetupNode)
        return;
    VXR_SimInterface* sim = pInst->pSimInterface;
    setupVector(pInst, name, id, L, R, [&](char* elem) {
        return sim->pSetupNode(elem, pInst, VXR_NODAL_INFO_NONE, pCallbackInfo);
    });
}

void VXR_SetupRegPortVector(VXR_DeviceInst* pInst, const char* name, int id, NetTypeE netType, int digRef, int L,
                            int R, void* pCallbackInfo)
{
    if (!pInst || !pInst->pSimInterface || !pInst->pSimInterface->pCreateRegPort)
        return;
    VXR_SimInterface* sim = pInst->pSimInterface;
    setupVector(pInst, name, id, L, R, [&](char* elem) {
        return sim->pCreateRegPort(elem, netType, digRef, pInst, pCallbackInfo);
    });
}

void VXR_SetupVectorByConcat(VXR_DeviceInst* pInst, int id, VXR_Data e)
{
    VXR_Vector* vec = vectorOf(pInst, id);
    // Only a net concatenation with elements can stand as a vector; any
    // other block would be read as state variables it does not hold.
    if (!vec || e.dataType != VXR_STATE_VAR_PTR || e.arrayLen < 1 || !e.arrayData.ppSV) {
        VXR_free(e.arrayData.ppSV);
        return;
    }
    adoptSlots(vec, e.arrayData.ppSV, 0, e.arrayLen - 1);
}

VXR_StateVar** VXR_VectorToChild(VXR_DeviceInst* pInst, const char* name, int id, int subGiven, int subL, int subR,
                                 int* pWidth)
{
    VXR_Vector* vec = vectorOf(pInst, id);
    if (!subGiven && vec) {
        subL = vec->L;
        subR = vec->R;
    }
    bool ok = vec && vec->pSVs;
    if (ok && subGiven)
        ok = checkSubsetBounds(pInst, VXR_nameOrNull(name), vec->L, vec->R, subL, subR);
    if (pWidth) {
        pWidth[0] = ok ? static_cast<int>(VXR_boundPairCount(subL, subR)) : 0;
        pWidth[1] = subL;
        pWidth[2] = subR;
    }
    if (!ok)
        return nullptr;
    return vec->pSVs + VXR_boundPairCount(subL, vec->L) - 1;
}

void VXR_ReportVectorDiscipline(VXR_DeviceInst* pInst, int id, VXR_DisciplineDescriptor* pDisc)
{
    VXR_Vector* vec = vectorOf(pInst, id);
    if (!vec || !vec->pSVs || !pInst->pSimInterface || !pInst->pSimInterface->pReportDiscipline)
        return;
    const long long n = VXR_boundPairCount(vec->L, vec->R);
    for (long long k = 0; k < n; ++k) {
        // Markers stand for no node: there is nothing to give a discipline.
        if (isNode(vec->pSVs[k]))
            pInst->pSimInterface->pReportDiscipline(vec->pSVs[k], pDisc, pInst, pInst->pSimInterface);
    }
}

void VXR_VectorCheck(VXR_DeviceInst* pInst, const char* name, int id, int offset)
{
    const VXR_Vector* vec = vectorOf(pInst, id);
    if (!vec)
        return;
    const int lo = vec->L < vec->R ? vec->L : vec->R, hi = vec->L < vec->R ? vec->R : vec->L;
    if (offset < lo || offset > hi)
        vectorError(pInst, "Invalid net vector access of '%s[%d] with bounds '[%d:%d]' \n", VXR_nameOrNull(name),
                    offset, vec->L, vec->R);
}

void VXR_CheckBranchBounds(VXR_DeviceInst* pInst, const char* brName, int brLeft, int brRight, const char* nodeName,
                           int nodeLeft, int nodeRight)
{
    if (!pInst)
        return;
    if (VXR_boundPairCount(brLeft, brRight) != VXR_boundPairCount(nodeLeft, nodeRight))
        vectorError(pInst, "Mismatch between branch '%s' vector length and node '%s' vector length.\n",
                    VXR_nameOrNull(brName), VXR_nameOrNull(nodeName));
}

int VXR_UBranchMatch(VXR_BranchInfo* pBI, VXR_StateVar* pPosSV, VXR_StateVar* pNegSV)
{
    if (!pBI || !pBI->is_ub)
        return 0;
    if (!VXR_svPosMatch(pPosSV, pBI->pPosTerm))
        return 0;
    return VXR_svPosMatch(pNegSV, pBI->pNegTerm) ? 1 : 0;
}

const char* VXR_EncodeVector(VXR_DeviceInst* pInst, const char* base, int index)
{
    if (!pInst)
        return nullptr;
    const char* b = base ? base : "";
    const long long i = index;
    return i >= 0 ? makeName(pInst, "%lld%s_i", i, b) : makeName(pInst, "_%lld%s_i", -i, b);
}

} // extern "C"

#endif // VXR_REVISION == 187
