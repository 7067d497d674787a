// $table_model interpolation: one dimension per tree level, linear,
// quadratic-spline or cubic-spline per dimension, with constant, linear or
// reported extrapolation on each side, and the partial derivatives.
#include <stdio.h>

#include "VXR_TableModel.h"

namespace {

// Where a lookup lies on an isoline: the segment (or held sample) i, the side
// it lies out on, the method in force there, and whether the node holds one
// sample's value instead of interpolating a segment.
struct Location {
    int i;
    ExtrapResult side;
    ExtrapMethodE method;
    bool hold;
};

Location locate(TableModel* tm, const IsoSet* iso, const double* lookup, int level, const InterpControl* cntrl) {
    const double v = lookup[level];
    const int n = iso->npts;
    const ExtrapMethod& ends = cntrl->extrapMethod[level];
    Location at{0, ExtrapResultE_NONE, ExtrapMethodE_LINEAR, false};
    if (n == 1) {
        if (v < iso->indep[0])
            at.side = ExtrapResultE_Lower;
        else if (v > iso->indep[0])
            at.side = ExtrapResultE_Upper;
    } else {
        int k = search(iso->indep, n, v);
        if (k < 0) {
            at.side = ExtrapResultE_Lower;
        } else if (k < n - 1) {
            at.i = k;
        } else {
            at.side = ExtrapResultE_Upper;
            at.i = ends.upper == ExtrapMethodE_CONSTANT ? n - 1 : n - 2;
        }
    }
    if (at.side != ExtrapResultE_NONE) {
        at.method = at.side == ExtrapResultE_Lower ? ends.lower : ends.upper;
        if (at.method == ExtrapMethodE_ERROR) reportExtrap(tm, iso, level, lookup);
    }
    at.hold = n == 1 || (at.side != ExtrapResultE_NONE && at.method == ExtrapMethodE_CONSTANT);
    return at;
}

// The node's interpolation along its own dimension over the sample values y
// (only y[i] and y[i + 1] are read in linear mode, y[i] in hold mode).
// z: spline coefficients over y. slope may be NULL.
double along(InterpMethodE method, const Location& at, const double* x, const double* y, const double* z, double v,
             double* slope) {
    if (at.hold) {
        if (slope) *slope = 0.0;
        return y[at.i];
    }
    const int i = at.i;
    double value = 0.0;
    switch (method) {
    case InterpMethodE_LINEAR: {
        double s = (y[i + 1] - y[i]) / (x[i + 1] - x[i]);
        if (slope) *slope = s;
        return y[i] + (v - x[i]) * s;
    }
    case InterpMethodE_QUADRATIC:
        quadSplineCalc(v, z[i], z[i + 1], at.method, slope != nullptr, x[i], x[i + 1], y[i], y[i + 1], at.side,
                       &value, slope);
        return value;
    case InterpMethodE_CUBIC:
        cubicSplineCalc(v, z[i], z[i + 1], at.method, slope != nullptr, x[i], x[i + 1], y[i], y[i + 1], at.side,
                        &value, slope);
        return value;
    }
    return 0.0;
}

double* genSplineCoeff(TableModel* tm, InterpMethodE method, int n, const double* x, const double* y,
                       ExtrapMethod ends) {
    return method == InterpMethodE_QUADRATIC ? genQuadSplineCoeff(tm, n, x, y, ends)
                                             : genCubicSplineCoeff(tm, n, x, y, ends);
}

// One evaluation of node iso (dimension level) with the given method.
InterpResult* interpNode(TableModel* tm, IsoSet* iso, const double* lookup, int level, const InterpControl* cntrl,
                         InterpMethodE method) {
    const int n = iso->npts;
    if (n < 1 || iso->indep == nullptr) return nullptr;
    const Location at = locate(tm, iso, lookup, level, cntrl);
    const double v = lookup[level];
    const bool spline = method != InterpMethodE_LINEAR;
    const bool calcDeriv = cntrl->calcDeriv != 0;

    if (iso->leaf) {
        if (spline && !at.hold && iso->splineCoeff == nullptr) {
            iso->splineCoeff = genSplineCoeff(tm, method, n, iso->indep, iso->dataU.dep, cntrl->extrapMethod[level]);
            if (iso->splineCoeff == nullptr) return nullptr;
        }
        InterpResult* r = createInterpResult(tm, 1, calcDeriv);
        if (r == nullptr) return nullptr;
        double* slope = calcDeriv ? &r->deriv[0] : nullptr;
        r->value = along(method, at, iso->indep, iso->dataU.dep, iso->splineCoeff, v, slope);
        return r;
    }

    // Inner node: the children this mode reads (all of them for a spline
    // segment, else one or two), evaluated in sample order. kids[k] and y[k]
    // belong to sample first + k.
    const int first = at.hold || !spline ? at.i : 0;
    const int count = at.hold ? 1 : spline ? n : 2;
    Location rel = at;
    rel.i -= first;
    const double* xs = iso->indep + first;
    InterpResult* result = nullptr;
    double* coeff = nullptr;
    InterpResult** kids =
        static_cast<InterpResult**>(tableModelAlloc(tm, static_cast<size_t>(count) * sizeof(InterpResult*)));
    if (kids != nullptr)
        for (int k = 0; k < count; ++k) kids[k] = nullptr;
    double* y = tableModelDoubles(tm, count);
    if (kids == nullptr || y == nullptr) goto done;
    {
        IsoSet* child = iso->dataU.children;
        for (int k = 0; k < first && child != nullptr; ++k) child = child->next;
        for (int k = 0; k < count; ++k, child = child->next) {
            if (child == nullptr) goto done;
            kids[k] = interp(tm, child, lookup, level + 1, cntrl);
            if (kids[k] == nullptr) goto done;
            y[k] = kids[k]->value;
        }
    }
    {
        const int subDim = kids[0]->dim;
        for (int k = 0; k < count; ++k)
            if (kids[k]->dim != subDim) goto done;
        if (spline && !at.hold) {
            coeff = genSplineCoeff(tm, method, n, xs, y, cntrl->extrapMethod[level]);
            if (coeff == nullptr) goto done;
        }
        result = createInterpResult(tm, 1 + subDim, calcDeriv);
        if (result == nullptr) goto done;
        result->value = along(method, rel, xs, y, coeff, v, calcDeriv ? &result->deriv[0] : nullptr);
        // The partials along later dimensions: this node's interpolation
        // applied to the children's partials.
        for (int j = 0; calcDeriv && j < subDim; ++j) {
            for (int k = 0; k < count; ++k) y[k] = kids[k]->deriv[j];
            if (coeff != nullptr) {
                VXR_free(coeff);
                coeff = genSplineCoeff(tm, method, n, xs, y, cntrl->extrapMethod[level]);
                if (coeff == nullptr) {
                    destroyInterpResult(result);
                    result = nullptr;
                    goto done;
                }
            }
            result->deriv[j + 1] = along(method, rel, xs, y, coeff, v, nullptr);
        }
    }

done:
    if (kids != nullptr)
        for (int k = 0; k < count; ++k) destroyInterpResult(kids[k]);
    VXR_free(kids);
    VXR_free(y);
    VXR_free(coeff);
    return result;
}

// A node at this level must match the control: leaves on the last level only.
bool nodeFits(const IsoSet* isoSet, int level, const InterpControl* cntrl) {
    return isoSet != nullptr && cntrl != nullptr && level >= 0 && level < cntrl->dim &&
           (isoSet->leaf != 0) == (level == cntrl->dim - 1);
}

} // namespace

int search(const double* array, int len, double lookup) {
    const bool ascending = array[len - 1] > array[0];
    int lower = -1;
    int upper = len;
    while (upper - lower > 1) {
        int mid = (lower + upper) / 2;
        if ((lookup > array[mid]) == ascending)
            lower = mid;
        else
            upper = mid;
    }
    return lower;
}

InterpResult* createInterpResult(TableModel* tableModel, int dim, int calcDeriv) {
    InterpResult* r = static_cast<InterpResult*>(tableModelAlloc(tableModel, sizeof(InterpResult)));
    if (r == nullptr) return nullptr;
    r->value = 0.0;
    r->dim = dim;
    r->deriv = nullptr;
    if (calcDeriv) {
        r->deriv = tableModelDoubles(tableModel, dim);
        if (r->deriv == nullptr) {
            VXR_free(r);
            return nullptr;
        }
        for (int k = 0; k < dim; ++k) r->deriv[k] = 0.0;
    }
    return r;
}

void destroyInterpResult(InterpResult* result) {
    if (result == nullptr) return;
    VXR_free(result->deriv);
    VXR_free(result);
}

InterpResult* interp(TableModel* tableModel, IsoSet* isoSet, const double* lookup, int level,
                     const InterpControl* cntrl) {
    if (!nodeFits(isoSet, level, cntrl)) return nullptr;
    switch (cntrl->interpMethod[level]) {
    case InterpMethodE_LINEAR:
        return linearInterp(tableModel, isoSet, lookup, level, cntrl);
    case InterpMethodE_QUADRATIC:
        return quadInterp(tableModel, isoSet, lookup, level, cntrl);
    case InterpMethodE_CUBIC:
        return cubicInterp(tableModel, isoSet, lookup, level, cntrl);
    }
    return nullptr;
}

InterpResult* linearInterp(TableModel* tableModel, IsoSet* isoSet, const double* lookup, int level,
                           const InterpControl* cntrl) {
    return interpNode(tableModel, isoSet, lookup, level, cntrl, InterpMethodE_LINEAR);
}

InterpResult* quadInterp(TableModel* tableModel, IsoSet* isoSet, const double* lookup, int level,
                         const InterpControl* cntrl) {
    return interpNode(tableModel, isoSet, lookup, level, cntrl, InterpMethodE_QUADRATIC);
}

InterpResult* cubicInterp(TableModel* tableModel, IsoSet* isoSet, const double* lookup, int level,
                          const InterpControl* cntrl) {
    return interpNode(tableModel, isoSet, lookup, level, cntrl, InterpMethodE_CUBIC);
}

/* ---- Splines ---------------------------------------------------------------- */

// z[k]: the slope at sample k; each segment is the parabola with end slopes
// z[k], z[k + 1]. Only the lower end condition shapes it.
double* genQuadSplineCoeff(TableModel* tableModel, int npts, const double* x, const double* y,
                           ExtrapMethod extrapMethod) {
    if (npts < 2) return nullptr;
    double* z = tableModelDoubles(tableModel, npts);
    if (z == nullptr) return nullptr;
    z[0] = extrapMethod.lower == ExtrapMethodE_CONSTANT ? 0.0 : (y[1] - y[0]) / (x[1] - x[0]);
    for (int k = 1; k < npts; ++k) z[k] = 2 * (y[k] - y[k - 1]) / (x[k] - x[k - 1]) - z[k - 1];
    return z;
}

void quadSplineCalc(double x, double z1, double z2, ExtrapMethodE extrapMethod, int calcDeriv, double x1, double x2,
                    double y1, double y2, ExtrapResult extrapolating, double* y, double* m) {
    const bool linearEnd = extrapMethod == ExtrapMethodE_LINEAR || extrapMethod == ExtrapMethodE_ERROR;
    double value, slope;
    if (extrapolating == ExtrapResultE_Lower && linearEnd) {
        value = y1 + z1 * (x - x1);
        slope = z1;
    } else if (extrapolating == ExtrapResultE_Upper && linearEnd) {
        value = y2 + z2 * (x - x2);
        slope = z2;
    } else {
        double t = x - x1;
        double a = (z2 - z1) / ((x2 - x1) + (x2 - x1));
        value = y1 + z1 * t + a * t * t;
        slope = z1 + 2 * a * t;
    }
    *y = value;
    if (calcDeriv) *m = slope;
}

// The second derivatives M[k] of the interpolating cubic spline. An end under
// CONSTANT has slope 0, one under LINEAR or ERROR second derivative 0; the
// tridiagonal system is solved by forward elimination (gamma, d) and back
// substitution, d becoming M.
double* genCubicSplineCoeff(TableModel* tableModel, int npts, const double* x, const double* y,
                            ExtrapMethod extrapMethod) {
    if (npts < 2) return nullptr;
    const int n = npts;
    double* gamma = tableModelDoubles(tableModel, n - 1);
    double* d = tableModelDoubles(tableModel, n);
    if (gamma == nullptr || d == nullptr) {
        VXR_free(gamma);
        VXR_free(d);
        return nullptr;
    }
    auto h = [&](int k) { return x[k + 1] - x[k]; };
    auto s = [&](int k) { return (y[k + 1] - y[k]) / h(k); };

    if (extrapMethod.lower == ExtrapMethodE_CONSTANT) {
        gamma[0] = 0.5;
        d[0] = 3 * s(0) / h(0);
    } else {
        gamma[0] = 0.0;
        d[0] = 0.0;
    }
    for (int k = 1; k <= n - 2; ++k) {
        double p = 2 * (h(k - 1) + h(k)) - gamma[k - 1] * h(k - 1);
        gamma[k] = h(k) / p;
        d[k] = (6 * (s(k) - s(k - 1)) - h(k - 1) * d[k - 1]) / p;
    }
    if (extrapMethod.upper == ExtrapMethodE_CONSTANT) {
        double hl = h(n - 2);
        d[n - 1] = (-6 * s(n - 2) - hl * d[n - 2]) / (2 * hl - hl * gamma[n - 2]);
    } else {
        d[n - 1] = 0.0;
    }
    for (int k = n - 2; k >= 0; --k) d[k] = d[k] - gamma[k] * d[k + 1];
    VXR_free(gamma);
    return d;
}

void cubicSplineCalc(double x, double z1, double z2, ExtrapMethodE extrapMethod, int calcDeriv, double x1, double x2,
                     double y1, double y2, ExtrapResult extrapolating, double* y, double* m) {
    const bool linearEnd = extrapMethod == ExtrapMethodE_LINEAR || extrapMethod == ExtrapMethodE_ERROR;
    const double h = x2 - x1;
    const double s = (y2 - y1) / h;
    double value, slope;
    if (extrapolating == ExtrapResultE_Lower && linearEnd) {
        slope = s - z1 * h / 3 - z2 * h / 6;
        value = y1 + slope * (x - x1);
    } else if (extrapolating == ExtrapResultE_Upper && linearEnd) {
        slope = s + z1 * h / 6 + z2 * h / 3;
        value = y2 + slope * (x - x2);
    } else {
        double t = x - x1;
        double a = (z2 - z1) / (6 * h);
        double b = z1 * 0.5;
        double c = s - h * (z2 + 2 * z1) / 6;
        value = y1 + a * t * t * t + b * t * t + c * t;
        slope = c + 2 * b * t + 3 * a * t * t;
    }
    *y = value;
    if (calcDeriv) *m = slope;
}

/* ---- The extrapolation report --------------------------------------------------- */

void reportExtrap(TableModel* tableModel, const IsoSet* isoSet, int level, const double* lookup) {
    char text[TABLE_MESSAGE_BUFSIZE];
    snprintf(text, sizeof text,
             "\nIn $table_model(), an extrapolation has occurred in dimension %d.\n"
             "Isoline range is [%e,%e], lookup value requested is %e.\n",
             level + 1, isoSet->indep[0], isoSet->indep[isoSet->npts - 1], lookup[level]);
    VXR_DeviceInst* inst = tableModel->pParent;
    VXR_SimInterface* sim = inst ? inst->pSimInterface : nullptr;
    VXR_Message(sim, inst, nullptr, MessageTypeE_INFO, text);
    if (sim != nullptr && sim->pSystemRequest != nullptr) sim->pSystemRequest("extrap", 0, inst, nullptr, sim);
}
