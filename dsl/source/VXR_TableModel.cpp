// $table_model records: file and array sources, the control codes, the
// set-up at the first evaluation and the evaluation entries that generated
// code calls.
#include <ctype.h>
#include <stdarg.h>
#include <string.h>

#include "VXR_TableModel.h"

namespace {


// The record with its control codes copied; the caller adds the source.
TableModel* createRecord(VXR_DeviceInst* pParent, int argDim, const int* interpMethod, const char* lowerExtrapMethod,
                         const char* upperExtrapMethod) {
    TableModel* tm = static_cast<TableModel*>(
        VXR_malloc(sizeof(TableModel), pParent ? pParent->pSimInterface : nullptr, pParent, nullptr));
    if (tm == nullptr) return nullptr;
    memset(tm, 0, sizeof *tm);
    tm->pParent = pParent;
    tm->argDim = argDim;
    if (argDim <= 0) return tm;
    const size_t n = static_cast<size_t>(argDim);
    tm->interpMethod = static_cast<int*>(tableModelAlloc(tm, n * sizeof(int)));
    tm->lowerExtrapMethod = static_cast<char*>(tableModelAlloc(tm, n));
    tm->upperExtrapMethod = static_cast<char*>(tableModelAlloc(tm, n));
    if (tm->interpMethod == nullptr || tm->lowerExtrapMethod == nullptr || tm->upperExtrapMethod == nullptr) {
        VXR_freeTableModel(tm);
        return nullptr;
    }
    // Missing code arrays leave codes that the control rejects.
    for (size_t d = 0; d < n; ++d) {
        tm->interpMethod[d] = interpMethod ? interpMethod[d] : 0;
        tm->lowerExtrapMethod[d] = lowerExtrapMethod ? lowerExtrapMethod[d] : '\0';
        tm->upperExtrapMethod[d] = upperExtrapMethod ? upperExtrapMethod[d] : '\0';
    }
    return tm;
}

bool interpFromCode(int code, InterpMethodE* method) {
    switch (code) {
    case 1: *method = InterpMethodE_LINEAR; return true;
    case 2: *method = InterpMethodE_QUADRATIC; return true;
    case 3: *method = InterpMethodE_CUBIC; return true;
    }
    return false;
}

bool extrapFromLetter(char letter, ExtrapMethodE* method) {
    switch (letter) {
    case 'C': *method = ExtrapMethodE_CONSTANT; return true;
    case 'L': *method = ExtrapMethodE_LINEAR; return true;
    case 'E': *method = ExtrapMethodE_ERROR; return true;
    }
    return false;
}

// Translates the codes of dimension d; an unknown one is reported.
bool translateCodes(TableModel* tm, int d, InterpControl* c) {
    if (!interpFromCode(tm->interpMethod[d], &c->interpMethod[d])) {
        tableModelMessage(tm, MessageTypeE_ERROR,
                          "\nIn $table_model(), interpolation code %d of dimension %d is not valid.\n"
                          "Expected 1 (linear), 2 (quadratic) or 3 (cubic).",
                          tm->interpMethod[d], d + 1);
        return false;
    }
    const char letters[2] = {tm->lowerExtrapMethod[d], tm->upperExtrapMethod[d]};
    ExtrapMethodE* targets[2] = {&c->extrapMethod[d].lower, &c->extrapMethod[d].upper};
    for (int side = 0; side < 2; ++side) {
        if (extrapFromLetter(letters[side], targets[side])) continue;
        char shown = isprint(static_cast<unsigned char>(letters[side])) ? letters[side] : '?';
        tableModelMessage(tm, MessageTypeE_ERROR,
                          "\nIn $table_model(), %s extrapolation method '%c' of dimension %d is not valid.\n"
                          "Expected 'C' (constant), 'L' (linear) or 'E' (error).",
                          side == 0 ? "lower" : "upper", shown, d + 1);
        return false;
    }
    return true;
}

int arrayLength(VXR_Array** slot) {
    const VXR_Array* a = slot != nullptr ? *slot : nullptr;
    return a != nullptr && a->_data._pReal != nullptr && a->_dataLen > 0 ? a->_dataLen : 0;
}

double arrayElement(VXR_Array** slot, int k) {
    const VXR_Array* a = *slot;
    return a->_arrayType == VXR_INT_ARRAY ? static_cast<double>(a->_data._pInt[k]) : a->_data._pReal[k];
}

// A missing or failed table gives 0.0 with zero partials.
double noValue(double* deriv, int len) {
    if (deriv != nullptr)
        for (int i = 0; i < len; ++i) deriv[i] = 0.0;
    return 0.0;
}

// The lookup buffer, grown to len values; NULL after a failed allocation.
double* lookupBuffer(TableModel* tm, int len) {
    if (len > tm->len || tm->lookup == nullptr) {
        double* grown = tableModelDoubles(tm, len > 0 ? len : 1);
        if (grown == nullptr) return nullptr;
        VXR_free(tm->lookup);
        tm->lookup = grown;
        tm->len = len > 0 ? len : 1;
    }
    return tm->lookup;
}

} // namespace

/* ---- Control -------------------------------------------------------------------- */

void destroyInterpControl(InterpControl* cntrl) {
    if (cntrl == nullptr) return;
    VXR_free(cntrl->interpMethod);
    VXR_free(cntrl->extrapMethod);
    VXR_free(cntrl);
}

InterpControl* createInterpControl(TableModel* tableModel) {
    InterpControl* c = static_cast<InterpControl*>(tableModelAlloc(tableModel, sizeof(InterpControl)));
    if (c == nullptr) return nullptr;
    c->calcDeriv = 1;
    c->dim = tableModel->dim;
    c->interpMethod = nullptr;
    c->extrapMethod = nullptr;
    if (tableModel->argDim > 0 && tableModel->argDim != tableModel->dim) {
        tableModelMessage(tableModel, MessageTypeE_ERROR,
                          "\nIn $table_model(), the dimensionality of the data (%d) does not match\n"
                          "the dimensionality of the interpolation control string (%d).",
                          tableModel->dim, tableModel->argDim);
        destroyInterpControl(c);
        return nullptr;
    }
    if (c->dim <= 0) return c;
    const size_t n = static_cast<size_t>(c->dim);
    c->interpMethod = static_cast<InterpMethodE*>(tableModelAlloc(tableModel, n * sizeof(InterpMethodE)));
    c->extrapMethod = static_cast<ExtrapMethod*>(tableModelAlloc(tableModel, n * sizeof(ExtrapMethod)));
    if (c->interpMethod == nullptr || c->extrapMethod == nullptr) {
        destroyInterpControl(c);
        return nullptr;
    }
    for (int d = 0; d < c->dim; ++d) {
        if (tableModel->argDim <= 0) {
            c->interpMethod[d] = InterpMethodE_LINEAR;
            c->extrapMethod[d] = {ExtrapMethodE_LINEAR, ExtrapMethodE_LINEAR};
        } else if (!translateCodes(tableModel, d, c)) {
            destroyInterpControl(c);
            return nullptr;
        }
    }
    return c;
}

/* ---- Sources and set-up ------------------------------------------------------------ */

IsoSet* readIsoSetFromFile(TableModel* tableModel) {
    PointSet* set = readPointSetFromFile(tableModel);
    if (set == nullptr) return nullptr;
    tableModel->dim = set->dim;
    IsoSet* tree = pointSetToIsoSet(tableModel, set);
    deletePointSet(set);
    return tree;
}

PointSet* createPointSetFromArraySet(TableModel* tableModel, VXR_Array*** arraySet, int dim) {
    if (dim < 1 || arraySet == nullptr) {
        tableModelMessage(tableModel, MessageTypeE_ERROR,
                          "\nIn $table_model(), at least one independent data array is required.");
        return nullptr;
    }
    PointSet* set = createPointSet(tableModel, dim);
    if (set == nullptr) return nullptr;
    const int count = arrayLength(arraySet[0]);
    for (int i = 1; i < dim; ++i) {
        if (arrayLength(arraySet[i]) != count) {
            tableModelMessage(tableModel, MessageTypeE_ERROR,
                              "\nIn $table_model(), all independent data arrays must be the same length.");
            deletePointSet(set);
            return nullptr;
        }
    }
    const int depCount = arrayLength(arraySet[dim]);
    if (depCount != count) {
        tableModelMessage(tableModel, MessageTypeE_ERROR,
                          "\nIn $table_model(), the dependent array must be the same length as the\n"
                          "independent array(s). Supplied an independent array with %d point(s) and\n"
                          "a dependent array(s) with %d point(s).",
                          count, depCount);
        deletePointSet(set);
        return nullptr;
    }
    if (count == 0) {
        tableModelMessage(tableModel, MessageTypeE_ERROR, "\nIn $table_model(), the data arrays hold no points.");
        deletePointSet(set);
        return nullptr;
    }
    Point* tail = nullptr;
    for (int k = 0; k < count; ++k) {
        Point* p = createPoint(tableModel, dim);
        if (p == nullptr) {
            deletePointSet(set);
            return nullptr;
        }
        for (int i = 0; i < dim; ++i) p->x[i] = arrayElement(arraySet[i], k);
        p->y = arrayElement(arraySet[dim], k);
        if (tail == nullptr)
            set->points = p;
        else
            tail->next = p;
        tail = p;
    }
    return set;
}

IsoSet* createIsoSetFromArraySet(TableModel* tableModel, VXR_Array*** arraySet, int dim) {
    PointSet* set = createPointSetFromArraySet(tableModel, arraySet, dim);
    if (set == nullptr) return nullptr;
    tableModel->dim = dim;
    IsoSet* tree = pointSetToIsoSet(tableModel, set);
    deletePointSet(set);
    return tree;
}

void initTableModel(TableModel* tableModel) {
    if (tableModel->userFile != nullptr)
        tableModel->isoSet = readIsoSetFromFile(tableModel);
    else
        tableModel->isoSet = createIsoSetFromArraySet(tableModel, tableModel->arraySet, tableModel->arraySetDim);
    // A failed set-up runs again at the next evaluation: drop its control.
    destroyInterpControl(tableModel->interpControl);
    tableModel->interpControl = createInterpControl(tableModel);
}

/* ---- Evaluation ------------------------------------------------------------------ */

double doCallTableModel(TableModel* tableModel, double* deriv, int len, const double* lookupValues) {
    if (tableModel == nullptr) return noValue(deriv, len);
    if (tableModel->isoSet == nullptr) {
        initTableModel(tableModel);
    } else if (tableModel->interpControl == nullptr) {
        // A control lost to a failed allocation (or rejected) is tried again,
        // so that one bad moment does not disable the table for good.
        tableModel->interpControl = createInterpControl(tableModel);
    }
    if (tableModel->dim != len) {
        tableModelMessage(tableModel, MessageTypeE_ERROR,
                          "\nIn $table_model(), the number of lookup variables must equal the\n"
                          "dimensionality of the data. %d variable(s) supplied for data that is\n"
                          "%d dimensional.",
                          len, tableModel->dim);
        return noValue(deriv, len);
    }
    InterpControl* cntrl = tableModel->interpControl;
    if (tableModel->isoSet == nullptr || cntrl == nullptr || len < 1) return noValue(deriv, len);
    cntrl->calcDeriv = deriv != nullptr;
    InterpResult* r = interp(tableModel, tableModel->isoSet, lookupValues, 0, cntrl);
    if (r == nullptr) return noValue(deriv, len);
    if (deriv != nullptr)
        for (int i = 0; i < tableModel->dim; ++i) deriv[i] = r->deriv[i];
    double value = r->value;
    destroyInterpResult(r);
    return value;
}

extern "C" {

void* VXR_createTableModelFileSource(VXR_DeviceInst* pParent, int argDim, int* interpMethod, char* lowerExtrapMethod,
                                     char* upperExtrapMethod, const char* userFile) {
    TableModel* tm = createRecord(pParent, argDim, interpMethod, lowerExtrapMethod, upperExtrapMethod);
    if (tm == nullptr) return nullptr;
    tm->userFile = VXR_strdup(userFile != nullptr ? userFile : "", pParent ? pParent->pSimInterface : nullptr,
                              pParent);
    if (tm->userFile == nullptr) {
        VXR_freeTableModel(tm);
        return nullptr;
    }
    return tm;
}

void* VXR_createTableModelArraySource(VXR_DeviceInst* pParent, int dim, int argDim, int* interpMethod,
                                      char* lowerExtrapMethod, char* upperExtrapMethod, ...) {
    TableModel* tm = createRecord(pParent, argDim, interpMethod, lowerExtrapMethod, upperExtrapMethod);
    if (tm == nullptr) return nullptr;
    tm->arraySetDim = dim;
    const int entries = dim >= 0 ? dim + 1 : 0;
    if (entries > 0) {
        const size_t bytes = static_cast<size_t>(entries) * sizeof(VXR_Array**);
        tm->arraySet = static_cast<VXR_Array***>(tableModelAlloc(tm, bytes));
        if (tm->arraySet == nullptr) {
            VXR_freeTableModel(tm);
            return nullptr;
        }
        va_list ap;
        va_start(ap, upperExtrapMethod);
        for (int i = 0; i < entries; ++i) tm->arraySet[i] = va_arg(ap, VXR_Array**);
        va_end(ap);
    }
    return tm;
}

double VXR_callTableModel(void* tableModel, double* deriv, int len, ...) {
    TableModel* tm = static_cast<TableModel*>(tableModel);
    if (tm == nullptr) return noValue(deriv, len);
    double* lookup = lookupBuffer(tm, len);
    if (lookup == nullptr) return noValue(deriv, len);
    va_list ap;
    va_start(ap, len);
    for (int i = 0; i < len; ++i) lookup[i] = va_arg(ap, double);
    va_end(ap);
    return doCallTableModel(tm, deriv, len, lookup);
}

double VXR_scalarDerivTableModel(void* tableModel, int len, ...) {
    TableModel* tm = static_cast<TableModel*>(tableModel);
    if (tm == nullptr) return 0.0;
    double* lookup = lookupBuffer(tm, len);
    if (len < 1) {
        // Nothing to sum, but the evaluation still sets up and reports.
        if (lookup != nullptr) doCallTableModel(tm, nullptr, len, lookup);
        return 0.0;
    }
    // Partial derivatives and direction factors, zero-filled so that a failed
    // evaluation sums zeros.
    double* work = tableModelDoubles(tm, 2 * len);
    if (work != nullptr)
        for (int i = 0; i < 2 * len; ++i) work[i] = 0.0;
    if (lookup == nullptr || work == nullptr) {
        VXR_free(work);
        return 0.0;
    }
    double* partial = work;
    double* factor = work + len;
    // Every argument is collected before the evaluation: the list is read once.
    va_list ap;
    va_start(ap, len);
    for (int i = 0; i < len; ++i) lookup[i] = va_arg(ap, double);
    for (int i = 0; i < len; ++i) factor[i] = va_arg(ap, double);
    va_end(ap);
    doCallTableModel(tm, partial, len, lookup);
    double sum = 0.0;
    for (int i = 0; i < len; ++i) sum += partial[i] * factor[i];
    VXR_free(work);
    return sum;
}

void VXR_freeTableModel(void* tableModel) {
    TableModel* tm = static_cast<TableModel*>(tableModel);
    if (tm == nullptr) return;
    VXR_free(tm->interpMethod);
    VXR_free(tm->lowerExtrapMethod);
    VXR_free(tm->upperExtrapMethod);
    VXR_free(tm->userFile);
    VXR_free(tm->arraySet);
    destroyInterpControl(tm->interpControl);
    destroyIsoSet(tm->isoSet);
    VXR_free(tm->lookup);
    VXR_free(tm);
}

} // extern "C"
