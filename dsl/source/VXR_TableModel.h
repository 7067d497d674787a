/*
 * VXR_TableModel.h - records and internal routines of $table_model: the
 * data file reader, point sets and the isoline tree, the interpolation, and
 * the record that generated code holds as an opaque pointer. Runtime-internal.
 *
 * Every block is allocated with VXR_malloc against the record's instance
 * (pParent) and its host table; every message goes to that instance.
 */
#ifndef VXR_TABLEMODEL_H
#define VXR_TABLEMODEL_H

#include <stdio.h>

#include "VXR_SupportLib.h"

/* One sample: dim coordinates and the dependent value. */
typedef struct _Point {
    double* x;
    double y;
    struct _Point* next;
} Point;

/* Points in input order until sorted (sorting moves values, not links). */
typedef struct _PointSet {
    int dim;
    Point* points;
} PointSet;

/* One isoline: a node of the tree, one level per independent coordinate. */
typedef struct _IsoSet {
    int leaf;
    union {
        struct _IsoSet* children; /* inner node: child k belongs to indep[k] */
        double* dep;              /* leaf: npts dependent values */
    } dataU;
    double* indep;       /* npts samples of this level's coordinate */
    int npts;
    double* splineCoeff; /* leaf spline coefficients, made at first use */
    struct _IsoSet* next;
} IsoSet;

typedef enum _InterpMethodE {
    InterpMethodE_LINEAR = 0,
    InterpMethodE_QUADRATIC = 1,
    InterpMethodE_CUBIC = 2
} InterpMethodE;

typedef enum _ExtrapMethodE {
    ExtrapMethodE_CONSTANT = 0,
    ExtrapMethodE_LINEAR = 1,
    ExtrapMethodE_ERROR = 2
} ExtrapMethodE;

/* Side of an isoline on which a lookup lies outside: Lower is indep[0]'s. */
typedef enum _ExtrapResult {
    ExtrapResultE_NONE = 0,
    ExtrapResultE_Lower = 1,
    ExtrapResultE_Upper = 2
} ExtrapResult;

typedef struct _ExtrapMethod {
    ExtrapMethodE lower;
    ExtrapMethodE upper;
} ExtrapMethod;

typedef struct _InterpControl {
    int calcDeriv;
    int dim;
    InterpMethodE* interpMethod;
    ExtrapMethod* extrapMethod;
} InterpControl;

/* deriv[j]: partial derivative with respect to the lookup of level + j. */
typedef struct _InterpResult {
    double value;
    double* deriv;
    int dim;
} InterpResult;

typedef struct _TableModel {
    int argDim;
    int* interpMethod;        /* control codes 1, 2, 3 */
    char* lowerExtrapMethod;  /* letters 'C', 'L', 'E' (no terminator) */
    char* upperExtrapMethod;
    char* userFile;           /* NULL for an array source */
    int arraySetDim;
    VXR_Array*** arraySet;    /* independent arrays, then the dependent one */
    InterpControl* interpControl;
    IsoSet* isoSet;
    double* lookup;
    int len;                  /* capacity of lookup */
    VXR_DeviceInst* pParent;
    int dim;
} TableModel;

/* Sizes of the reader's buffers. */
enum { TABLE_LINE_BUFSIZE = 1024, TABLE_PATH_BUFSIZE = 4096, TABLE_MESSAGE_BUFSIZE = 5000 };

/* ---- Data sets and the isoline tree -------------------------------------- */

/* A block against the record's instance and host table: NULL for 0 bytes or
 * after a reported failure. */
void* tableModelAlloc(const TableModel* tableModel, size_t bytes);
double* tableModelDoubles(const TableModel* tableModel, int count);

/* Formats into a 5,000-byte text and reports it for the record's instance;
 * an ERROR also asks the host to "exit". */
void tableModelMessage(TableModel* tableModel, VXR_MessageTypeE msgType, const char* formatStr, ...)
#ifdef __GNUC__
    __attribute__((format(printf, 3, 4)))
#endif
    ;

FILE* openTableFile(TableModel* tableModel);
/* NULL after a reported error, or silently when the file holds no data line. */
PointSet* readPointSetFromFile(TableModel* tableModel);
/* The reader over an open stream; fileName is the name its messages give. */
PointSet* readPointSetFromStream(TableModel* tableModel, FILE* f, const char* fileName);

PointSet* createPointSet(TableModel* tableModel, int dim);
Point* createPoint(TableModel* tableModel, int dim);
void deletePoint(Point* point);
void deletePointSet(PointSet* pointSet);

void sortPointSet(TableModel* tableModel, Point* begin, Point* end, int dim, int dimz);
IsoSet* doPointSetToIsoSet(TableModel* tableModel, Point* begin, Point* end, int dim, int dimz);
/* Sorts the set and builds its tree; NULL for an empty set or a data error. */
IsoSet* pointSetToIsoSet(TableModel* tableModel, PointSet* pointSet);
/* Releases a tree with its spline coefficients; NULL is ignored. */
void destroyIsoSet(IsoSet* isoSet);

/* ---- Interpolation --------------------------------------------------------- */

/* NULL for a method outside the three, a tree deeper or shallower than the
 * control, or a failed allocation. */
InterpResult* interp(TableModel* tableModel, IsoSet* isoSet, const double* lookup, int level,
                     const InterpControl* cntrl);
InterpResult* linearInterp(TableModel* tableModel, IsoSet* isoSet, const double* lookup, int level,
                           const InterpControl* cntrl);
InterpResult* quadInterp(TableModel* tableModel, IsoSet* isoSet, const double* lookup, int level,
                         const InterpControl* cntrl);
InterpResult* cubicInterp(TableModel* tableModel, IsoSet* isoSet, const double* lookup, int level,
                          const InterpControl* cntrl);

/* Bracketing index in a strictly monotone array of len >= 2 values:
 * -1 .. len - 1 (see the sides in interp). */
int search(const double* array, int len, double lookup);

double* genQuadSplineCoeff(TableModel* tableModel, int npts, const double* x, const double* y,
                           ExtrapMethod extrapMethod);
void quadSplineCalc(double x, double z1, double z2, ExtrapMethodE extrapMethod, int calcDeriv, double x1, double x2,
                    double y1, double y2, ExtrapResult extrapolating, double* y, double* m);
double* genCubicSplineCoeff(TableModel* tableModel, int npts, const double* x, const double* y,
                            ExtrapMethod extrapMethod);
void cubicSplineCalc(double x, double z1, double z2, ExtrapMethodE extrapMethod, int calcDeriv, double x1, double x2,
                     double y1, double y2, ExtrapResult extrapolating, double* y, double* m);

void reportExtrap(TableModel* tableModel, const IsoSet* isoSet, int level, const double* lookup);

InterpResult* createInterpResult(TableModel* tableModel, int dim, int calcDeriv);
void destroyInterpResult(InterpResult* result);

/* ---- Records and evaluation --------------------------------------------------- */

/* From the record's codes and dim; NULL after a reported error. */
InterpControl* createInterpControl(TableModel* tableModel);
void destroyInterpControl(InterpControl* cntrl);
void initTableModel(TableModel* tableModel);
IsoSet* readIsoSetFromFile(TableModel* tableModel);
PointSet* createPointSetFromArraySet(TableModel* tableModel, VXR_Array*** arraySet, int dim);
IsoSet* createIsoSetFromArraySet(TableModel* tableModel, VXR_Array*** arraySet, int dim);
/* The evaluation driver over len lookup values already collected. */
double doCallTableModel(TableModel* tableModel, double* deriv, int len, const double* lookupValues);

#endif /* VXR_TABLEMODEL_H */
