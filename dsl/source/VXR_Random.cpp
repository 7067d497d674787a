// Random numbers: the seeded 32-bit generator, its mapping onto [0, 1] per
// revision, and the $random, $dist_ and $rdist_ entry points.
//
// Users reproduce runs from seeds, so every draw follows the documented
// sequence bit for bit, odd corners included (the odd-dof real chi-square
// seeds the host generator twice with the same seed). Seeds are 32-bit ints
// that the generator reads as unsigned; all seed arithmetic is unsigned.
#include <float.h>
#include <math.h>
#include <stdint.h>

#include <type_traits>

#include "VXR_ParamsData.h"

namespace {

// ---- Generator and mappings --------------------------------------------------

// A real draw as an integer of [start, end]: truncation toward zero after
// subtracting 1 from a negative value; beyond an end counts as that end.
int toRange(double r, int start, int end)
{
    const double t = trunc(r < 0.0 ? r - 1.0 : r);
    if (!(t >= static_cast<double>(start)))
        return start;
    if (t > static_cast<double>(end))
        return end;
    return static_cast<int>(t);
}

// Revision 1.87: the high 23 bits of the new seed followed by its high 9 bits,
// scaled by the double nearest 1/(2^32 - 1): 0 and 1 are both reachable.
struct Mapping187 {
    static uint32_t word(uint32_t s) { return (s & 0xFFFFFE00u) | (s >> 23); }
    static double unit(uint32_t s) { return word(s) * 2.3283064370807974e-10; }
    // $random over the full int range: the scaling formula's exact value
    // converts to w - 2^31 for every w (double arithmetic would give one
    // less for small w).
    static int fullRange(uint32_t s) { return static_cast<int>(static_cast<int64_t>(word(s)) - 2147483648LL); }
    static constexpr bool kTopDrawCapped = true; // $rdist_poisson's u0 >= 1 case
};

// Revisions 1.60 and 1.42: e = 1 + (high 23 bits) / 2^23 in [1, 2), and
// u = e + e * 2^-23 - 1, between 2^-23 and just above 1.
struct MappingOld {
    static double unit(uint32_t s)
    {
        const double e = 1.0 + static_cast<double>(s >> 9) / 8388608.0;
        return e + e * 0x1p-23 - 1.0;
    }
    // The scaling formula reduces to u * 2^32 - 2^31, exact in double here
    // (u has at most 46 fraction bits).
    static int fullRange(uint32_t s) { return toRange(unit(s) * 4294967296.0 - 2147483648.0, INT_MIN, INT_MAX); }
    static constexpr bool kTopDrawCapped = false;
};

using Mapping = std::conditional_t<VXR_REVISION == 187, Mapping187, MappingOld>;

// One generator step: the new seed as unsigned (it is also stored).
uint32_t step(int* seed)
{
    uint32_t s = static_cast<uint32_t>(*seed);
    if (s == 0)
        s = 259341593u;
    s = s * 69069u + 1u;
    *seed = static_cast<int>(s);
    return s;
}

double scaleUnit(double u, int start, int end)
{
    if (start < end)
        return u * (static_cast<double>(end) - static_cast<double>(start)) + static_cast<double>(start);
    return u * 2147483647.0;
}

double uniform(int* seed, int start, int end)
{
    return scaleUnit(Mapping::unit(step(seed)), start, end);
}

int rtl_dist_uniform(int* seed, int start, int end)
{
    if (start >= end)
        return start;
    if (end != INT_MAX)
        return toRange(uniform(seed, start, end + 1), start, end);
    if (start != INT_MIN)
        return toRange(uniform(seed, start - 1, INT_MAX) + 1.0, start, end);
    return Mapping::fullRange(step(seed));
}

// Factor of the real functions: an integer draw mapped onto [0, 1]
// (-2147483648 gives a factor just below 0).
double factor(int r)
{
    return (r / 2147483647.0 + 1.0) * 0.5;
}

// ---- Integer distributions on the runtime generator --------------------------

// Half away from zero as VXR_roundToIntChecked; beyond int the result
// saturates by sign (+inf to INT_MAX, -inf to INT_MIN), NaN gives INT_MIN.
int roundSaturated(double x)
{
    const double r = x > 0.0 ? x + 0.5 : x - 0.5;
    if (r >= 2147483648.0)
        return INT_MAX;
    return VXR_roundToIntChecked(x);
}

double normal(int* seed, int mean, int deviation)
{
    double x, s;
    do {
        x = uniform(seed, -1, 1);
        const double y = uniform(seed, -1, 1);
        s = x * x + y * y;
    } while (!(s < 1.0 && s != 0.0));
    return x * sqrt(log(s) * (-2.0) / s) * static_cast<double>(deviation) + static_cast<double>(mean);
}

double exponential(int* seed, int mean)
{
    const double u = uniform(seed, 0, 1);
    return u == 0.0 ? 0.0 : -log(u) * static_cast<double>(mean);
}

// Means whose e^-mean is not a normal double (above about 708.4): the same
// product of uniform values, held as q * 2^-e with q kept above 2^-500 by
// exact power-of-two scaling, so it neither loses bits nor underflows; it is
// compared with e^-mean through the exponent. The count saturates at INT_MAX.
int poissonLarge(int* seed, double mean)
{
    int n = 0;
    double q = uniform(seed, 0, 1), e = 0.0;
    double threshold = exp(-mean); // e^(e ln 2 - mean): p in q's scale
    for (;;) {
        if (q > 0.0 && q < 0x1p-500) {
            q *= 0x1p500;
            e += 500.0;
            threshold = exp(e * 0.6931471805599453 - mean);
        }
        if (!(q > threshold))
            return n;
        if (n == INT_MAX)
            return n;
        ++n;
        q = uniform(seed, 0, 1) * q;
    }
}

// Ends: the product reaches p.
int poisson(int* seed, int mean)
{
    const double p = exp(-static_cast<double>(mean));
    if (p < DBL_MIN)
        return poissonLarge(seed, static_cast<double>(mean));
    int n = 0;
    double q = uniform(seed, 0, 1);
    while (q > p) {
        ++n;
        q = uniform(seed, 0, 1) * q;
    }
    return n;
}

double chi_square(int* seed, int n)
{
    double value = 0.0;
    if (n % 2 != 0) {
        const double z = normal(seed, 0, 1);
        value = z * z;
    }
    for (int i = 0; i < n / 2; ++i) // one exponential per further pair of degrees
        value = value + 2.0 * exponential(seed, 1);
    return value;
}

double t(int* seed, int n)
{
    if (n <= 0)
        return 0.0;
    const double c = chi_square(seed, n);
    const double s = sqrt(c / n);
    const double z = normal(seed, 0, 1); // after the chi-square
    return z / s;
}

double erlangian(int* seed, int k, int mean)
{
    double p = 1.0;
    for (int i = 0; i < k; ++i)
        p = p * uniform(seed, 0, 1);
    return -static_cast<double>(mean) * log(p) / k;
}

// Half away from zero, saturating beyond int.
int rtl_dist_normal(int* seed, int mean, int sd)
{
    return roundSaturated(normal(seed, mean, sd));
}

int rtl_dist_exponential(int* seed, int mean)
{
    return mean > 0 ? roundSaturated(exponential(seed, mean)) : 0;
}

int rtl_dist_poisson(int* seed, int mean)
{
    return mean > 0 ? poisson(seed, mean) : 0;
}

int rtl_dist_chi_square(int* seed, int df)
{
    return df < 1 ? 0 : roundSaturated(chi_square(seed, df));
}

int rtl_dist_t(int* seed, int df)
{
    return df < 1 ? 0 : roundSaturated(t(seed, df));
}

int rtl_dist_erlang(int* seed, int k, int mean)
{
    return k < 1 ? 0 : roundSaturated(erlangian(seed, k, mean));
}

// ---- Large Poisson means ---------------------------------------------------------

// The standard normal quantile: a rational start refined by Newton steps on
// erfc. u in (0, 1).
double normalQuantile(double u)
{
    const double tail = u < 0.5 ? u : 1.0 - u;
    const double t = sqrt(-2.0 * log(tail));
    double z = t - (2.515517 + t * (0.802853 + t * 0.010328)) / (1.0 + t * (1.432788 + t * (0.189269 + t * 0.001308)));
    if (u < 0.5)
        z = -z;
    for (int i = 0; i < 4; ++i) {
        const double cdf = 0.5 * erfc(-z * 0.7071067811865476);
        const double pdf = exp(-0.5 * z * z) * 0.3989422804014327;
        if (!(pdf > 0.0))
            break;
        z -= (cdf - u) / pdf;
    }
    return z;
}

// Inversion of the Poisson distribution function at u0 in (0, 1] for a mean
// whose e^-mean is not a normal double: the smallest n whose cumulative
// probability exceeds u0. The terms are formed relative to the mode, where
// they are largest, over mode +- (12 sd + 10); the mass outside lies below
// e^-60 and the sum over the window normalises the distribution. Means
// beyond 2^40 (a window of tens of millions of terms) take the normal
// quantile with its skewness term, exact there to well within one sd.
double poissonQuantileLarge(double u0, double mean)
{
    if (mean > 0x1p40) {
        if (!(u0 < 1.0))
            return floor(mean + 40.0 * sqrt(mean));
        const double z = normalQuantile(u0);
        return floor(mean + sqrt(mean) * z + (z * z - 1.0) / 6.0 + 0.5);
    }
    const double mode = floor(mean), half = ceil(12.0 * sqrt(mean)) + 10.0;
    const double lo = mode - half > 0.0 ? mode - half : 0.0, hi = mode + half;
    double total = 0.0, term = 1.0;
    for (double k = mode; k < hi; k += 1.0) { // upward from the mode
        term = term * mean / (k + 1.0);
        total += term;
    }
    term = 1.0;
    total += 1.0;
    for (double k = mode; k > lo; k -= 1.0) { // downward to the window's start
        term = term * k / mean;
        total += term;
    }
    const double target = u0 * total;
    double cum = 0.0;
    for (double k = lo; k < hi; k += 1.0) {
        cum += term;
        if (cum > target)
            return k;
        term = term * mean / (k + 1.0);
    }
    return hi;
}

// ---- Descriptor plumbing ------------------------------------------------------

VXR_SimInterface* hostOf(const VXR_RandomDesc* d)
{
    return d->_pParent ? d->_pParent->pSimInterface : nullptr;
}

// The host table when it has a generator; a host without one gets the
// draw-free fallbacks of the host-generator forms.
// A standard normal draw from the host generator (polar method).
double polarNormal(VXR_SimInterface* simIf)
{
    double x1, w;
    do {
        x1 = simIf->pRand(simIf) / 2147483647.0;
        const double x2 = simIf->pRand(simIf) / 2147483647.0;
        w = x1 * x1 + x2 * x2;
    } while (!(w < 1.0 && w >= 1e-30));
    return x1 * sqrt(log(w) * (-2.0) / w);
}

VXR_SimInterface* hostGenerator(const VXR_RandomDesc* d)
{
    VXR_SimInterface* simIf = hostOf(d);
    return simIf && simIf->pSeedRand && simIf->pRand ? simIf : nullptr;
}

void reportBadCount(VXR_RandomDesc* d, const char* text)
{
    VXR_fatalUserError(hostOf(d), d->_pParent, text);
}

// The count of a real form, truncated toward zero (NaN and values beyond int
// count as INT_MIN); one below 1 is reported and the draw goes on with it.
int realCount(VXR_RandomDesc* d, double count, const char* text)
{
    const int n = VXR_truncToIntChecked(count);
    if (n <= 0)
        reportBadCount(d, text);
    return n;
}

// An integer draw under the seed convention: from *pSeed or the descriptor's
// seed; the new seed to both (the descriptor's even when nothing was drawn).
// Without a descriptor (its creation failed) nothing is drawn.
template <class Draw>
int intDraw(VXR_RandomDesc* d, int* pSeed, Draw draw)
{
    if (!d)
        return 0;
    int seed = pSeed ? *pSeed : d->_currentSeed;
    const int result = draw(&seed);
    d->_cacheIntRand = result;
    d->_currentSeed = seed;
    if (pSeed)
        *pSeed = seed;
    return result;
}

// The end of a real draw that hands the descriptor's seed back to the caller.
double finishReal(VXR_RandomDesc* d, int* pSeed, double value)
{
    d->_cacheDblRand = value;
    if (pSeed)
        *pSeed = d->_currentSeed;
    return value;
}

// A chi-square draw for a count beyond int (2 x a gamma draw of shape n/2)
// by the Marsaglia-Tsang method on the host generator: polar normals as in
// VXR_rdist_normal and factor-mapped uniforms; seeded and renewed as the
// counted form is.
double chiSquareBeyondInt(VXR_RandomDesc* d, int* pSeed, double n)
{
    VXR_SimInterface* simIf = hostGenerator(d);
    if (!simIf)
        return 0.0;
    simIf->pSeedRand(simIf, pSeed ? *pSeed : d->_currentSeed);
    const double shape = 0.5 * n - 1.0 / 3.0, c = 1.0 / sqrt(9.0 * shape);
    double value;
    for (;;) {
        const double z = polarNormal(simIf);
        const double cz = c * z;
        if (!(cz > -1.0))
            continue;
        const double y = cz * (3.0 + cz * (3.0 + cz)); // (1 + cz)^3 - 1
        const double u = factor(simIf->pRand(simIf));
        // log u < z^2/2 + shape (1 - v + ln v), v = 1 + y
        if (u > 0.0 && log(u) < 0.5 * z * z + shape * (log1p(y) - y)) {
            value = 2.0 * shape * (1.0 + y);
            break;
        }
    }
    d->_currentSeed = simIf->pRand(simIf);
    return finishReal(d, pSeed, value);
}

} // namespace

extern "C" {

// ---- Descriptor -----------------------------------------------------------------

VXR_RandomDesc* VXR_createRandomDesc(VXR_DeviceInst* pParent)
{
    VXR_SimInterface* simIf = pParent ? pParent->pSimInterface : nullptr;
    auto* d = static_cast<VXR_RandomDesc*>(VXR_malloc(sizeof(VXR_RandomDesc), simIf, pParent, nullptr));
    if (!d)
        return nullptr;
    d->_pParent = pParent;
    d->_initialSeed = simIf && simIf->pRand ? simIf->pRand(simIf) : 0;
    d->_currentSeed = 0; // until the first init point, draws start from seed 0
    d->_cacheIntRand = 0;
    d->_cacheDblRand = 0.0;
    return d;
}

void VXR_randomInitPoint(VXR_RandomDesc* pRandDesc)
{
    if (pRandDesc)
        pRandDesc->_currentSeed = pRandDesc->_initialSeed;
}

void VXR_randomAcceptPoint(VXR_RandomDesc* pRandDesc)
{
    if (pRandDesc)
        pRandDesc->_initialSeed = pRandDesc->_currentSeed;
}

// ---- Uniform ----------------------------------------------------------------------

int VXR_dist_uniform(VXR_RandomDesc* pRandDesc, int* pSeed, int startVal, int stopVal)
{
    return intDraw(pRandDesc, pSeed, [=](int* s) { return rtl_dist_uniform(s, startVal, stopVal); });
}

int VXR_random(VXR_RandomDesc* pRandDesc, int* pSeed)
{
    return VXR_dist_uniform(pRandDesc, pSeed, INT_MIN, INT_MAX);
}

double VXR_rdist_uniform(VXR_RandomDesc* pRandDesc, int* pSeed, double minVal, double maxVal)
{
    if (!pRandDesc)
        return 0.0;
    const int i = VXR_random(pRandDesc, pSeed);
    if (minVal > maxVal)
        return 0.0; // the draw counts all the same
    const double u = factor(i);
    return maxVal * u + minVal * (1 - u);
}

// ---- Normal, exponential, Poisson ------------------------------------------------

int VXR_dist_normal(VXR_RandomDesc* pRandDesc, int* pSeed, int mean, int sd)
{
    return intDraw(pRandDesc, pSeed, [=](int* s) { return rtl_dist_normal(s, mean, sd); });
}

// The polar method on the host generator, seeded with the caller's seed; the
// next host draw becomes the new seed.
double VXR_rdist_normal(VXR_RandomDesc* pRandDesc, int* pSeed, double mean, double stddev)
{
    VXR_SimInterface* simIf = pRandDesc ? hostGenerator(pRandDesc) : nullptr;
    if (!simIf)
        return pRandDesc ? mean : 0.0;
    simIf->pSeedRand(simIf, pSeed ? *pSeed : pRandDesc->_currentSeed);
    const double result = polarNormal(simIf) * stddev + mean;
    pRandDesc->_currentSeed = simIf->pRand(simIf);
    return finishReal(pRandDesc, pSeed, result);
}

int VXR_dist_exponential(VXR_RandomDesc* pRandDesc, int* pSeed, int mean)
{
    return intDraw(pRandDesc, pSeed, [=](int* s) { return rtl_dist_exponential(s, mean); });
}

double VXR_rdist_exponential(VXR_RandomDesc* pRandDesc, int* pSeed, double mean)
{
    if (!pRandDesc)
        return 0.0;
    double u = factor(VXR_random(pRandDesc, pSeed)) + 1e-300;
    if (u <= 0.0)
        u = 1e-300; // the draw -2147483648: its factor lies below 0, whose log is NaN
    return -mean * log(u);
}

int VXR_dist_poisson(VXR_RandomDesc* pRandDesc, int* pSeed, int mean)
{
    return intDraw(pRandDesc, pSeed, [=](int* s) { return rtl_dist_poisson(s, mean); });
}

// Inversion of the distribution function with one draw.
double VXR_rdist_poisson(VXR_RandomDesc* pRandDesc, int* pSeed, double mean)
{
    if (!pRandDesc)
        return 0.0;
    const double u0 = factor(VXR_random(pRandDesc, pSeed)) + 1e-300;
    const double p = exp(-mean);
    double result;
    if (Mapping::kTopDrawCapped && u0 >= 1.0) {
        result = 2147483647.0;
    } else if (u0 < p) {
        result = 0.0;
    } else if (p < DBL_MIN) { // NaN means stay on the sum below
        result = poissonQuantileLarge(u0, mean);
    } else {
        // For large means e^-mean is 0 or has few bits and the sum levels
        // off below u0: stop once a term is 0 or no longer moves the sum.
        double term = p, cum = p, n = 0.0;
        for (;;) {
            term = term * mean / (n + 1);
            const double before = cum;
            cum = cum + term;
            n = n + 1;
            if (!(u0 >= cum) || term == 0.0 || cum == before)
                break;
        }
        result = n;
    }
    return finishReal(pRandDesc, pSeed, result);
}

// ---- Chi-square, Student t, Erlang -----------------------------------------------

int VXR_dist_chi_square(VXR_RandomDesc* pRandDesc, int* pSeed, int dof)
{
    if (pRandDesc && dof <= 0)
        reportBadCount(pRandDesc, "In $dist_chi_square(degree_of_freedom), degree_of_freedom must be positive");
    return intDraw(pRandDesc, pSeed, [=](int* s) { return rtl_dist_chi_square(s, dof); });
}

double VXR_rdist_chi_square(VXR_RandomDesc* pRandDesc, int* pSeed, double dof)
{
    if (!pRandDesc)
        return 0.0;
    if (dof >= 2147483648.0 && dof < INFINITY)
        return chiSquareBeyondInt(pRandDesc, pSeed, trunc(dof));
    const int n = realCount(pRandDesc, dof,
                            "In $rdist_chi_square(degree_of_freedom), degree_of_freedom must be positive");
    VXR_SimInterface* simIf = hostGenerator(pRandDesc);
    if (!simIf)
        return 0.0;
    simIf->pSeedRand(simIf, pSeed ? *pSeed : pRandDesc->_currentSeed);
    double p = 1.0;
    for (int i = 0; i < n / 2; ++i)
        p *= factor(simIf->pRand(simIf));
    double value = -2.0 * log(p);
    if (static_cast<unsigned>(n) & 1u) {
        // The seed is still the one given above: the normal seeds the host
        // generator with it again and repeats its first draws.
        const double z = VXR_rdist_normal(pRandDesc, pSeed, 0.0, 1.0);
        value = z * z + value;
    }
    pRandDesc->_currentSeed = simIf->pRand(simIf);
    return finishReal(pRandDesc, pSeed, value);
}

int VXR_dist_t(VXR_RandomDesc* pRandDesc, int* pSeed, int dof)
{
    if (pRandDesc && dof <= 0)
        reportBadCount(pRandDesc, "In $dist_t(degree_of_freedom), degree_of_freedom must be positive");
    return intDraw(pRandDesc, pSeed, [=](int* s) { return rtl_dist_t(s, dof); });
}

// The normal first, then the chi-square from the seed the normal left.
double VXR_rdist_t(VXR_RandomDesc* pRandDesc, int* pSeed, double dof)
{
    if (!pRandDesc)
        return 0.0;
    // A count beyond int is valid, as in VXR_rdist_chi_square.
    const bool beyondInt = dof >= 2147483648.0 && dof < INFINITY;
    const double n = beyondInt ? trunc(dof)
                               : realCount(pRandDesc, dof,
                                           "In $rdist_t(degree_of_freedom), degree_of_freedom must be positive");
    VXR_SimInterface* simIf = hostGenerator(pRandDesc);
    if (!simIf)
        return 0.0;
    const double z = VXR_rdist_normal(pRandDesc, pSeed, 0.0, 1.0);
    const double c = VXR_rdist_chi_square(pRandDesc, pSeed, dof);
    pRandDesc->_currentSeed = simIf->pRand(simIf);
    return finishReal(pRandDesc, pSeed, n > 0 ? z / sqrt(c / n) : 0.0);
}

int VXR_dist_erlang(VXR_RandomDesc* pRandDesc, int* pSeed, int k, int mean)
{
    if (pRandDesc && k <= 0)
        reportBadCount(pRandDesc, "In $dist_erlang, 'k' must be positive");
    return intDraw(pRandDesc, pSeed, [=](int* s) { return rtl_dist_erlang(s, k, mean); });
}

double VXR_rdist_erlang(VXR_RandomDesc* pRandDesc, int* pSeed, double k, double mean)
{
    if (!pRandDesc)
        return 0.0;
    const int m = realCount(pRandDesc, k, "In $rdist_erlang, 'm' must be positive");
    double value = 0.0;
    if (m <= 0) {
        VXR_random(pRandDesc, pSeed); // drawn, not used
    } else {
        double p = 1.0;
        for (int i = 0; i < m; ++i)
            p *= factor(VXR_random(pRandDesc, pSeed));
        if (p <= 0.0)
            p = 1e-300;
        value = -(mean / m) * log(p);
    }
    return finishReal(pRandDesc, pSeed, value);
}

// ---- By-value twins: the pointer form with a private copy of the seed ------------

int VXR_random2(VXR_RandomDesc* pRandDesc, int seed)
{
    return VXR_random(pRandDesc, &seed);
}
int VXR_dist2_uniform(VXR_RandomDesc* pRandDesc, int seed, int startVal, int stopVal)
{
    return VXR_dist_uniform(pRandDesc, &seed, startVal, stopVal);
}
double VXR_rdist2_uniform(VXR_RandomDesc* pRandDesc, int seed, double minVal, double maxVal)
{
    return VXR_rdist_uniform(pRandDesc, &seed, minVal, maxVal);
}
int VXR_dist2_normal(VXR_RandomDesc* pRandDesc, int seed, int mean, int sd)
{
    return VXR_dist_normal(pRandDesc, &seed, mean, sd);
}
double VXR_rdist2_normal(VXR_RandomDesc* pRandDesc, int seed, double mean, double stddev)
{
    return VXR_rdist_normal(pRandDesc, &seed, mean, stddev);
}
int VXR_dist2_exponential(VXR_RandomDesc* pRandDesc, int seed, int mean)
{
    return VXR_dist_exponential(pRandDesc, &seed, mean);
}
double VXR_rdist2_exponential(VXR_RandomDesc* pRandDesc, int seed, double mean)
{
    return VXR_rdist_exponential(pRandDesc, &seed, mean);
}
int VXR_dist2_poisson(VXR_RandomDesc* pRandDesc, int seed, int mean)
{
    return VXR_dist_poisson(pRandDesc, &seed, mean);
}
double VXR_rdist2_poisson(VXR_RandomDesc* pRandDesc, int seed, double mean)
{
    return VXR_rdist_poisson(pRandDesc, &seed, mean);
}
int VXR_dist2_chi_square(VXR_RandomDesc* pRandDesc, int seed, int dof)
{
    return VXR_dist_chi_square(pRandDesc, &seed, dof);
}
double VXR_rdist2_chi_square(VXR_RandomDesc* pRandDesc, int seed, double dof)
{
    return VXR_rdist_chi_square(pRandDesc, &seed, dof);
}
int VXR_dist2_t(VXR_RandomDesc* pRandDesc, int seed, int dof)
{
    return VXR_dist_t(pRandDesc, &seed, dof);
}
double VXR_rdist2_t(VXR_RandomDesc* pRandDesc, int seed, double dof)
{
    return VXR_rdist_t(pRandDesc, &seed, dof);
}
int VXR_dist2_erlang(VXR_RandomDesc* pRandDesc, int seed, int k, int mean)
{
    return VXR_dist_erlang(pRandDesc, &seed, k, mean);
}
double VXR_rdist2_erlang(VXR_RandomDesc* pRandDesc, int seed, double k, double mean)
{
    return VXR_rdist_erlang(pRandDesc, &seed, k, mean);
}

} // extern "C"
