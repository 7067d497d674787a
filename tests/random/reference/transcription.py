"""Independent transcription of the runtime's random-number generators and
distributions, written from their description (not from the C++), for the
reference sequences of tests/random.

Two mappings of the generator onto [0, 1): MAP187 (libraries of revision
1.87) and MAPOLD (revisions 1.60 and 1.42).

Seeds travel in a one-element list so that a function can advance them.
The recording host's generator (tests/support) is transcribed as HostGen.
"""
import math
from fractions import Fraction

MAP187 = "187"
MAPOLD = "old"
INT_MIN = -2147483648
INT_MAX = 2147483647
M32 = 0xFFFFFFFF


def to_i32(x):
    x &= M32
    return x - (1 << 32) if x >= (1 << 31) else x


def checked_trunc(x):
    """Truncation toward zero; NaN and values outside int give INT_MIN."""
    if isinstance(x, float) and not math.isfinite(x):
        return INT_MIN
    t = math.trunc(x)
    return t if INT_MIN <= t <= INT_MAX else INT_MIN


def round_away(r):
    """r >= 0: trunc(r + 0.5); r < 0: -trunc(0.5 - r); through checked_trunc,
    except that a positive value beyond int (+inf too) saturates to INT_MAX.
    NaN and negative values beyond int give INT_MIN."""
    if isinstance(r, float) and math.isnan(r):
        return INT_MIN
    if r >= 0:
        if r + 0.5 >= 2147483648.0:
            return INT_MAX
        return checked_trunc(r + 0.5)
    v = checked_trunc(0.5 - r)
    return INT_MIN if v == INT_MIN else -v


def ln(x):
    if x == 0.0:
        return -math.inf
    if x < 0.0 or math.isnan(x):
        return math.nan
    return math.log(x)


def fdiv(a, b):
    if b == 0.0:
        if a == 0.0 or math.isnan(a):
            return math.nan
        sign = math.copysign(1.0, a) * math.copysign(1.0, b)
        return math.copysign(math.inf, sign)
    return a / b


class Rt:
    """The runtime generator under one mapping."""

    def __init__(self, mapping):
        self.mapping = mapping
        self.last_w = None  # exact value of the latest draw for the full-range $random

    def uniform(self, seed, start, end):
        s = seed[0] & M32
        if s == 0:
            s = 259341593
        s = (s * 69069 + 1) & M32
        seed[0] = to_i32(s)
        if self.mapping == MAP187:
            w = (s & 0xFFFFFE00) | (s >> 23)
            u = w * 2.3283064370807974e-10
            self.last_exact_u = Fraction(w, 2**32 - 1)
        else:
            e = 1.0 + (s >> 9) / 2**23
            u = e + e * 2.0**-23 - 1.0
            self.last_exact_u = Fraction(u)
        if start < end:
            return u * (float(end) - float(start)) + float(start)
        return u * 2147483647.0

    @staticmethod
    def convert(r, start, end):
        if r < 0:
            r = r - 1
        i = math.trunc(r)
        return min(max(i, start), end)

    def rtl_dist_uniform(self, seed, start, end):
        if start >= end:
            return start
        if end != INT_MAX:
            r = self.uniform(seed, start, end + 1)
            return self.convert(r, start, end)
        if start != INT_MIN:
            r = self.uniform(seed, start - 1, INT_MAX) + 1.0
            return self.convert(r, start, end)
        # full range, under exact arithmetic
        self.uniform(seed, start, end)
        u = self.last_exact_u
        r = u * (Fraction(end) - Fraction(start)) + start
        r = (r + 2147483648) / 4294967295 * 4294967296 - 2147483648
        return self.convert(r, start, end)

    def random(self, seed):
        return self.rtl_dist_uniform(seed, INT_MIN, INT_MAX)

    def normal(self, seed, mean, dev):
        while True:
            x = self.uniform(seed, -1, 1)
            y = self.uniform(seed, -1, 1)
            s = x * x + y * y
            if s < 1.0 and s != 0.0:
                break
        return x * math.sqrt(ln(s) * (-2.0) / s) * float(dev) + float(mean)

    def exponential(self, seed, mean):
        u = self.uniform(seed, 0, 1)
        if u == 0.0:
            return 0.0
        return -ln(u) * float(mean)

    def poisson(self, seed, mean):
        if math.exp(-float(mean)) < 2.2250738585072014e-308:
            return self.poisson_large(seed, float(mean))
        n = 0
        p = math.exp(-float(mean))
        q = self.uniform(seed, 0, 1)
        while q > p:
            n += 1
            q = self.uniform(seed, 0, 1) * q
        return n

    def poisson_large(self, seed, mean):
        """e^-mean below the smallest normal double: the same product of
        uniform values, as q * 2^-e (q rescaled by 2^500 whenever it drops
        below 2^-500), against e^-mean in the same scale."""
        n = 0
        q = self.uniform(seed, 0, 1)
        e = 0.0
        threshold = math.exp(-mean)
        while True:
            if 0.0 < q < 2.0 ** -500:
                q *= 2.0 ** 500
                e += 500.0
                threshold = math.exp(e * 0.6931471805599453 - mean)
            if not (q > threshold) or n == INT_MAX:
                return n
            n += 1
            q = self.uniform(seed, 0, 1) * q

    def rtl_dist_normal(self, seed, mean, sd):
        return round_away(self.normal(seed, mean, sd))

    def rtl_dist_exponential(self, seed, mean):
        return round_away(self.exponential(seed, mean)) if mean > 0 else 0

    def rtl_dist_poisson(self, seed, mean):
        return self.poisson(seed, mean) if mean > 0 else 0

    def chi_square(self, seed, n):
        value = 0.0
        if n % 2 == 1:
            z = self.normal(seed, 0, 1)
            value = z * z
        i = 2
        while i <= n:
            value = value + 2.0 * self.exponential(seed, 1)
            i += 2
        return value

    def t(self, seed, n):
        if n <= 0:
            return 0.0
        c = self.chi_square(seed, n)
        q = c / n
        s = math.sqrt(q)
        z = self.normal(seed, 0, 1)
        return fdiv(z, s)

    def erlangian(self, seed, k, mean):
        p = 1.0
        for _ in range(k):
            p = p * self.uniform(seed, 0, 1)
        return fdiv(-float(mean) * ln(p), float(k))

    def rtl_count(self, fn, seed, n, *args):
        if n < 1:
            return 0
        return round_away(fn(seed, n, *args))

    # real forms on the runtime generator
    @staticmethod
    def factor(i):
        return (i / 2147483647.0 + 1.0) * 0.5

    def rdist_uniform(self, seed, lo, hi):
        i = self.random(seed)
        if lo > hi:
            return 0.0
        u = self.factor(i)
        return hi * u + lo * (1 - u)

    def rdist_exponential(self, seed, mean):
        i = self.random(seed)
        u = self.factor(i) + 1e-300
        if u <= 0.0:  # the draw -2147483648 (a factor just below 0)
            u = 1e-300
        return -mean * ln(u)

    def rdist_poisson(self, seed, mean):
        i = self.random(seed)
        u0 = self.factor(i) + 1e-300
        p = math.exp(-mean)
        if self.mapping == MAP187 and u0 >= 1.0:
            return 2147483647.0
        if u0 < p:
            return 0.0
        if p < 2.2250738585072014e-308:
            return poisson_quantile_large(u0, mean)
        term = p
        cum = p
        n = 0
        while True:
            term = term * mean / (n + 1)
            before = cum
            cum = cum + term
            n += 1
            if not (u0 >= cum):
                break
            if term == 0.0 or cum == before:  # the sum can no longer reach u0
                break
        return float(n)

    def rdist_erlang(self, seed, k, mean):
        m = checked_trunc(k)
        if m <= 0:
            self.random(seed)
            return 0.0
        p = 1.0
        for _ in range(m):
            p = p * self.factor(self.random(seed))
        if p <= 0:
            p = 1e-300
        return -(mean / m) * ln(p)


def poisson_quantile_large(u0, mean):
    """Smallest n with P(N <= n) > u0 for a Poisson mean whose e^-mean is not
    a normal double (means up to 2^40): terms relative to the mode over
    mode +- (ceil(12 sqrt(mean)) + 10), normalised by their sum."""
    mode = math.floor(mean)
    half = math.ceil(12.0 * math.sqrt(mean)) + 10.0
    lo = max(mode - half, 0.0)
    hi = mode + half
    total = 0.0
    term = 1.0
    k = mode
    while k < hi:
        term = term * mean / (k + 1.0)
        total += term
        k += 1.0
    term = 1.0
    total += 1.0
    k = mode
    while k > lo:
        term = term * k / mean
        total += term
        k -= 1.0
    target = u0 * total
    cum = 0.0
    k = lo
    while k < hi:
        cum += term
        if cum > target:
            return float(k)
        term = term * mean / (k + 1.0)
        k += 1.0
    return float(hi)


class HostGen:
    """The recording host's generator behind pSeedRand and pRand."""

    def __init__(self):
        self.state = 0

    def seed(self, s):
        self.state = s & M32

    def rand(self):
        while True:
            self.state = (self.state * 1664525 + 1013904223) & M32
            if self.state != 0x80000000:
                return to_i32(self.state)


def rdist_normal(host, seed, mean, sd):
    host.seed(seed[0])
    while True:
        x1 = host.rand() / 2147483647.0
        x2 = host.rand() / 2147483647.0
        w = x1 * x1 + x2 * x2
        if w < 1.0 and w >= 1e-30:
            break
    result = x1 * math.sqrt(ln(w) * (-2.0) / w) * sd + mean
    seed[0] = host.rand()
    return result


def rdist_chi_square(host, seed, dof):
    n = checked_trunc(dof)
    host.seed(seed[0])
    p = 1.0
    for _ in range(max(0, n // 2)):
        p = p * Rt.factor(host.rand())
    value = -2.0 * ln(p)
    if n % 2 == 1:
        z = rdist_normal(host, seed, 0.0, 1.0)
        value = z * z + value
    seed[0] = host.rand()
    return value


def rdist_t(host, seed, dof):
    n = checked_trunc(dof)
    z = rdist_normal(host, seed, 0.0, 1.0)
    c = rdist_chi_square(host, seed, dof)
    current = host.rand()
    value = fdiv(z, math.sqrt(c / n)) if n > 0 else 0.0
    seed[0] = current
    return value
