// Noise sources and their contribution lists, the AC stimulus and the
// limited exponential.
#include <math.h>
#include <stdarg.h>

#include "VXR_Operators.h"
#include "VXR_ParamsData.h"

namespace {

constexpr double kExp300 = 1.9424263952412558e130; // e^300

void negativePower(VXR_NoiseSrc* pSrc) {
    VXR_DeviceInst* parent = pSrc->pParent;
    VXR_Message(parent ? parent->pSimInterface : nullptr, parent, pSrc->name, MessageTypeE_WARNING,
                "Negative noise power specified.");
}

void noiseTableError(VXR_NoiseSrc* pSrc, const char* text) {
    VXR_DeviceInst* parent = pSrc->pParent;
    VXR_SimInterface* simIf = parent->pSimInterface;
    VXR_Message(simIf, parent, pSrc->name, MessageTypeE_ERROR, text);
    simIf->pSystemRequest("exit", 1, parent, nullptr, simIf);
}

bool tableBoundsSet(const VXR_Array* a) {
    if (!a || !a->_boundsSet)
        return false;
#if VXR_REVISION == 187
    return a->_numDims >= 1 && a->_pLeftBounds && a->_pRightBounds;
#else
    return true;
#endif
}

} // namespace

extern "C" {

/* ---- Noise sources ------------------------------------------------------- */

void VXR_setNoiseSrcInfo(VXR_NoiseSrc* pSrc, VXR_NoiseSrcTypeE type, const char* name, VXR_DeviceInst* pParent) {
    pSrc->pContrib = nullptr;
    pSrc->pNoiseSrcInfo = nullptr;
    pSrc->pTable = nullptr;
    pSrc->name = name;
    pSrc->pParent = pParent;
    pSrc->noiseSrcType = type;
}

void VXR_setWhiteNoisePwr(VXR_NoiseSrc* pSrc, double pwr) {
    if (pwr >= 0.0) {
        pSrc->pwr = pwr;
        return;
    }
    negativePower(pSrc);
    pSrc->pwr = 0.0;
}

void VXR_setFlickerNoiseExpr(VXR_NoiseSrc* pSrc, double pwr, double flickerExp) {
    if (pwr >= 0.0) {
        pSrc->pwr = pwr;
        pSrc->flickerExp = flickerExp;
        return;
    }
    negativePower(pSrc);
    pSrc->pwr = 0.0;
}

void VXR_setNoiseTableArg(VXR_NoiseSrc* pSrc, VXR_Array* pTableArray) {
    // Each failure is fatal: report it once and keep the source as it was.
    if (!tableBoundsSet(pTableArray)) {
        noiseTableError(pSrc, "Invalid array passed to noise_table source.");
        return;
    }
    if (pTableArray->_dataLen % 2 != 0) {
        noiseTableError(pSrc, "Arrays passed to noise_table must have even length.");
        return;
    }
    if (VXR_arrayDescending(pTableArray)) {
        noiseTableError(pSrc, "Arrays passed to noise_table should have increasing indices.");
        return;
    }
    pSrc->pTable = pTableArray;
}

void VXR_clearNoiseSrc(VXR_NoiseSrc* pSrc) {
    pSrc->pwr = 0.0;
    pSrc->flickerExp = 0.0;
    pSrc->useCount = 0;
    for (VXR_NoiseContrib* c = pSrc->pContrib; c; c = c->pNext)
        c->coeff = 0.0;
}

void VXR_insertNoiseVal(VXR_NoiseContrib** ppHead, void* pRhsPair, double coeff, VXR_FreqResponse* pFreqResponse,
                        VXR_SimInterface* pSimInterface) {
    for (VXR_NoiseContrib* c = *ppHead; c; c = c->pNext) {
        if (c->pRhsPair == pRhsPair && c->pFreqResponse == pFreqResponse) {
            c->coeff += coeff;
            return;
        }
    }
    auto* node =
        static_cast<VXR_NoiseContrib*>(VXR_malloc(sizeof(VXR_NoiseContrib), pSimInterface, nullptr, nullptr));
    if (!node)
        return; // reported by the allocator
    node->pNoiseContribInfo = nullptr;
    node->pRhsPair = pRhsPair;
    node->coeff = coeff;
    node->pFreqResponse = pFreqResponse;
    node->pNext = *ppHead;
    *ppHead = node;
}

void VXR_addColoredNoise(VXR_NoiseSrc* pSrc, void* pRhsPair, double coeff, VXR_FreqResponse* pFreqResponse) {
    pSrc->useCount++;
    if (pRhsPair)
        VXR_insertNoiseVal(&pSrc->pContrib, pRhsPair, coeff, pFreqResponse,
                           pSrc->pParent ? pSrc->pParent->pSimInterface : nullptr);
}

void VXR_freeNoiseContribs(VXR_NoiseSrc* pSrc) {
    VXR_NoiseContrib* c = pSrc->pContrib;
    while (c) {
        VXR_NoiseContrib* next = c->pNext;
        VXR_free(c);
        c = next;
    }
    pSrc->pContrib = nullptr;
}

#if VXR_REVISION == 187
void VXR_addNoise(VXR_NoiseSrc* pSrc, void* pRhsPair, double coeff, VXR_ContribLoader* /*ldr*/) {
    VXR_addColoredNoise(pSrc, pRhsPair, coeff, nullptr);
}

void VXR_reportNoiseContrib(VXR_DeviceInst* inst, int noiseSrcNum, void* pRhsPair, void* pCallbackInfo) {
    VXR_SimInterface* simIf = inst->pSimInterface;
    if (simIf->pReportNoiseContrib)
        simIf->pReportNoiseContrib(noiseSrcNum, pRhsPair, inst, pCallbackInfo);
}
#else
// Keyed by state variable: the plus terminal with +coeff, the minus with -coeff.
void VXR_addNoise(VXR_NoiseSrc* pSrc, VXR_StateVar* svPlus, VXR_StateVar* svMinus, double coeff) {
    pSrc->useCount++;
    VXR_SimInterface* simIf = pSrc->pParent ? pSrc->pParent->pSimInterface : nullptr;
    if (svPlus)
        VXR_insertNoiseVal(&pSrc->pContrib, svPlus, coeff, nullptr, simIf);
    if (svMinus)
        VXR_insertNoiseVal(&pSrc->pContrib, svMinus, -coeff, nullptr, simIf);
}

#if VXR_REVISION == 160
void VXR_reportNoiseContrib(VXR_DeviceInst* inst, int noiseSrcNum, VXR_StateVar* svPlus, VXR_StateVar* svMinus,
                            void* pCallbackInfo) {
    VXR_SimInterface* simIf = inst->pSimInterface;
    if (simIf->pReportNoiseContrib)
        simIf->pReportNoiseContrib(noiseSrcNum, svPlus, svMinus, inst, pCallbackInfo);
}
#endif
#endif

/* ---- AC stimulus ------------------------------------------------------------ */

VXR_acSrc* VXR_create_acStim(VXR_DeviceInst* pParent, int id, int numOfAnalyses, ...) {
    VXR_SimInterface* simIf = pParent->pSimInterface;
    auto* p = static_cast<VXR_acSrc*>(VXR_malloc(sizeof(VXR_acSrc), simIf, pParent, nullptr));
    if (!p)
        return nullptr;
    p->pParent = pParent;
    p->numOfContribPairs = 0;
    p->pContribPairs = nullptr;
    p->id = id;
    p->mag = 0.0;
    p->phase = 0.0;
    p->freq = 0.0;
    p->mode = 0;
    p->freq0 = 0.0;
    p->freqIndex = 0;
    p->freqChange = 1;
    p->mask = 0;
    if (numOfAnalyses < 1) {
        p->mask = simIf->pFormAnalysisQueryMask(simIf, 1, "ac");
    } else {
        va_list ap;
        va_start(ap, numOfAnalyses);
        for (int i = 0; i < numOfAnalyses; ++i) {
            const char* name = va_arg(ap, const char*);
            p->mask |= simIf->pFormAnalysisQueryMask(simIf, 1, name);
        }
        va_end(ap);
    }
    return p;
}

void VXR_set_acStim(VXR_acSrc* p, double srcMag, double srcPhase, int mode, double freq) {
    p->mag = srcMag;
    p->phase = srcPhase;
    p->mode = mode;
    if (!(freq == p->freq)) { // NaN counts as a change
        p->freqChange = 1;
        p->freq = freq;
    }
}

void VXR_acContrib(VXR_acSrc* p, VXR_StateVar* svPlus, VXR_StateVar* svMinus, double coeff, VXR_ContribLoader* ldr) {
    if (p->mask & ldr->pGetAnalysisQueryMask(ldr VXR_LDR_INST(p->pParent)))
        ldr->pLoadRhsAC(p, svPlus, svMinus, coeff, ldr);
}

/* ---- Limited exponential ------------------------------------------------------ */

VXR_LimexpDesc* VXR_createLimexp(VXR_DeviceInst* pParent, int hasSingleLinearArg, VXR_StateVar* pPosVar,
                                 VXR_StateVar* pNegVar) {
    auto* d = static_cast<VXR_LimexpDesc*>(
        VXR_calloc(1, sizeof(VXR_LimexpDesc), pParent ? pParent->pSimInterface : nullptr, pParent, nullptr));
    if (!d)
        return nullptr;
    d->pParent = pParent;
    d->hasSingleLinearArg = hasSingleLinearArg;
    d->pPosVar = pPosVar;
    d->pNegVar = pNegVar;
    d->_cacheDeriv = 0.0;
    d->pEvalFunc = VXR_defaultSoftExp;
    d->pPrivateInfo = nullptr;
    return d;
}

// exp(arg), continued linearly above 300 with value and slope continuous.
double VXR_defaultSoftExp(double arg, VXR_LimexpDesc* pDesc) {
    double value, deriv;
    if (arg > 300.0) {
        deriv = kExp300;
        value = kExp300 * (arg - 299.0);
    } else {
        value = deriv = exp(arg);
    }
    if (pDesc)
        pDesc->_cacheDeriv = deriv;
    return value;
}

} // extern "C"
