// Root lists of (re, im) pairs: every complex root must be listed with its
// conjugate; the check puts each conjugate right behind its partner.
#include <utility>

#include "VXR_Op142.h"

#if VXR_REVISION == 142

extern "C" int VXR_checkConjugateZeros(double* values, int count) {
    const int pairs = count / 2;
    for (int i = 0; i < pairs; ++i) {
        const double re = values[2 * i], im = values[2 * i + 1];
        if (im == 0.0)
            continue;
        int j = i + 1; // a NaN imaginary part never finds a partner
        while (j < pairs && !(values[2 * j] == re && values[2 * j + 1] == -im))
            ++j;
        if (j >= pairs)
            return 0;
        std::swap(values[2 * (i + 1)], values[2 * j]);
        std::swap(values[2 * (i + 1) + 1], values[2 * j + 1]);
        ++i;
    }
    return 1;
}

#endif
