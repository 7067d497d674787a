// $table_model data: the data file reader, point sets, their ordering and
// the isoline tree built from them. Files come from users: every byte
// sequence must end in a point set or in one reported error.
#include <ctype.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include "VXR_TableModel.h"

namespace {

const char* const kNotReadable = "\nIn $table_model(), data file,\n    '%s'\ndoes not exist or is not readable.";

// The data-path search member exists from revision 1.60 on.
struct DataPath {
    // Fills resolved with the host's path for name; false when the host has
    // no search, so that the name is opened as written.
    static bool resolve(TableModel* tm, const char* name, char* resolved) {
#if VXR_REVISION != 142
        VXR_SimInterface* sim = tm->pParent ? tm->pParent->pSimInterface : nullptr;
        if (sim == nullptr || sim->pSearchDataPath == nullptr) return false;
        sim->pSearchDataPath(name, resolved, tm->pParent, sim);
        resolved[TABLE_PATH_BUFSIZE - 1] = '\0';
        return true;
#else
        (void)tm, (void)name, (void)resolved;
        return false;
#endif
    }
};

// Tokens of a data line are separated by space, tab and line feed only.
bool isSeparator(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// The next token at *cursor, terminated in place; NULL at the end.
char* nextToken(char** cursor) {
    char* p = *cursor;
    while (*p != '\0' && isSeparator(*p)) ++p;
    if (*p == '\0') return nullptr;
    char* start = p;
    while (*p != '\0' && !isSeparator(*p)) ++p;
    if (*p != '\0') *p++ = '\0';
    *cursor = p;
    return start;
}

int countTokens(const char* p) {
    int n = 0;
    while (*p != '\0') {
        while (*p != '\0' && isSeparator(*p)) ++p;
        if (*p == '\0') break;
        ++n;
        while (*p != '\0' && !isSeparator(*p)) ++p;
    }
    return n;
}

// Exchanges the coordinates from dimz on and the dependent values.
void exchangeTail(Point* a, Point* b, int dimz, int dim) {
    for (int k = dimz; k < dim; ++k) {
        double t = a->x[k];
        a->x[k] = b->x[k];
        b->x[k] = t;
    }
    double t = a->y;
    a->y = b->y;
    b->y = t;
}

// Last point of the run that starts at p: consecutive points whose coordinate
// dimz equals p's (a NaN equals nothing), never past end.
Point* runEnd(Point* p, Point* end, int dimz) {
    while (p != end && p->next->x[dimz] == p->x[dimz]) p = p->next;
    return p;
}

int countRange(const Point* begin, const Point* end) {
    int n = 1;
    for (const Point* p = begin; p != end; p = p->next) ++n;
    return n;
}

} // namespace

void* tableModelAlloc(const TableModel* tableModel, size_t bytes) {
    VXR_DeviceInst* inst = tableModel ? tableModel->pParent : nullptr;
    return VXR_malloc(bytes, inst ? inst->pSimInterface : nullptr, inst, nullptr);
}

double* tableModelDoubles(const TableModel* tableModel, int count) {
    const size_t n = count > 0 ? static_cast<size_t>(count) : 0;
    return static_cast<double*>(tableModelAlloc(tableModel, n * sizeof(double)));
}

void tableModelMessage(TableModel* tableModel, VXR_MessageTypeE msgType, const char* formatStr, ...) {
    char text[TABLE_MESSAGE_BUFSIZE];
    va_list ap;
    va_start(ap, formatStr);
    vsnprintf(text, sizeof text, formatStr, ap);
    va_end(ap);
    VXR_DeviceInst* inst = tableModel->pParent;
    VXR_SimInterface* sim = inst ? inst->pSimInterface : nullptr;
    VXR_Message(sim, inst, nullptr, msgType, text);
    if (msgType == MessageTypeE_ERROR && sim != nullptr && sim->pSystemRequest != nullptr)
        sim->pSystemRequest("exit", 1, inst, nullptr, sim);
}

/* ---- Point sets ------------------------------------------------------------- */

PointSet* createPointSet(TableModel* tableModel, int dim) {
    PointSet* set = static_cast<PointSet*>(tableModelAlloc(tableModel, sizeof(PointSet)));
    if (set != nullptr) {
        set->dim = dim;
        set->points = nullptr;
    }
    return set;
}

Point* createPoint(TableModel* tableModel, int dim) {
    Point* p = static_cast<Point*>(tableModelAlloc(tableModel, sizeof(Point)));
    if (p == nullptr) return nullptr;
    p->x = dim > 0 ? tableModelDoubles(tableModel, dim) : nullptr;
    if (dim > 0 && p->x == nullptr) {
        VXR_free(p);
        return nullptr;
    }
    for (int k = 0; k < dim; ++k) p->x[k] = 0.0;
    p->y = 0.0;
    p->next = nullptr;
    return p;
}

void deletePoint(Point* point) {
    if (point == nullptr) return;
    VXR_free(point->x);
    VXR_free(point);
}

void deletePointSet(PointSet* pointSet) {
    if (pointSet == nullptr) return;
    for (Point* p = pointSet->points; p != nullptr;) {
        Point* next = p->next;
        deletePoint(p);
        p = next;
    }
    VXR_free(pointSet);
}

/* ---- The data file ------------------------------------------------------------- */

FILE* openTableFile(TableModel* tableModel) {
    const char* userFile = tableModel->userFile != nullptr ? tableModel->userFile : "";
    size_t n = strlen(userFile);
    // A name that does not fit the path buffer cannot be opened as written.
    if (n >= TABLE_PATH_BUFSIZE) {
        tableModelMessage(tableModel, MessageTypeE_ERROR, kNotReadable, userFile);
        return nullptr;
    }
    char name[TABLE_PATH_BUFSIZE];
    memcpy(name, userFile, n + 1);
    char resolved[TABLE_PATH_BUFSIZE] = {0};
    const char* path = DataPath::resolve(tableModel, name, resolved) ? resolved : name;
    FILE* f = fopen(path, "r");
    if (f == nullptr) tableModelMessage(tableModel, MessageTypeE_ERROR, kNotReadable, userFile);
    return f;
}

PointSet* readPointSetFromStream(TableModel* tableModel, FILE* f, const char* fileName) {
    char line[TABLE_LINE_BUFSIZE];
    int lineNo = 0;
    int dim = 0;
    PointSet* set = nullptr;
    Point* tail = nullptr;
    Point* point = nullptr;

    while (fgets(line, sizeof line, f) != nullptr) {
        ++lineNo;
        char* p = line;
        while (*p != '\0' && isspace(static_cast<unsigned char>(*p))) ++p;
        if (*p == '\0' || *p == '#') continue;
        if (char* hash = strchr(p, '#')) *hash = '\0';

        if (set == nullptr) {
            int count = countTokens(p);
            if (count < 2) {
                tableModelMessage(tableModel, MessageTypeE_ERROR,
                                  "\nIn $table_model(), not enough points on line %d of file\n    '%s'.\n"
                                  "At least 2 points expected.",
                                  lineNo, fileName);
                return nullptr;
            }
            dim = count - 1;
            set = createPointSet(tableModel, dim);
            if (set == nullptr) return nullptr;
        }

        point = createPoint(tableModel, dim);
        if (point == nullptr) goto fail;
        {
            int k = 0;
            char* cursor = p;
            for (char* tok = nextToken(&cursor); tok != nullptr; tok = nextToken(&cursor), ++k) {
                // Only the token's beginning has to convert ("2.5V" reads 2.5).
                char* end;
                double v = strtod(tok, &end);
                if (end == tok) {
                    tableModelMessage(tableModel, MessageTypeE_ERROR,
                                      "\nIn $table_model(), invalid data format while reading input file\n"
                                      "     '%s'\nline %d, '%s' is not a valid number.",
                                      fileName, lineNo, tok);
                    goto fail;
                }
                if (k < dim) {
                    point->x[k] = v;
                } else if (k == dim) {
                    point->y = v;
                } else {
                    tableModelMessage(tableModel, MessageTypeE_ERROR,
                                      "\nIn $table_model(), too many points on line %d of file\n    '%s'.\n"
                                      "Data dimensionality is %d. It cannot increase to %d. It is set by the first\n"
                                      "point in the file.",
                                      lineNo, fileName, dim, dim + 1);
                    goto fail;
                }
            }
            if (k <= dim) {
                tableModelMessage(tableModel, MessageTypeE_ERROR,
                                  "\nIn $table_model(), not enough points on line %d of file\n    '%s'.\n"
                                  "Data dimensionality is %d. It cannot decrease to %d. It is set by the first\n"
                                  "point in the file.",
                                  lineNo, fileName, dim, k - 1);
                goto fail;
            }
        }
        if (tail == nullptr)
            set->points = point;
        else
            tail->next = point;
        tail = point;
        point = nullptr;
    }
    // A stream that fails to read (a directory, an I/O error) is unreadable,
    // not an empty table.
    if (ferror(f)) {
        tableModelMessage(tableModel, MessageTypeE_ERROR, kNotReadable, fileName);
        goto fail;
    }
    return set;

fail:
    deletePoint(point);
    deletePointSet(set);
    return nullptr;
}

PointSet* readPointSetFromFile(TableModel* tableModel) {
    FILE* f = openTableFile(tableModel);
    if (f == nullptr) return nullptr;
    PointSet* set = readPointSetFromStream(tableModel, f, tableModel->userFile);
    fclose(f);
    return set;
}

/* ---- Ordering and the isoline tree --------------------------------------------- */

void sortPointSet(TableModel* tableModel, Point* begin, Point* end, int dim, int dimz) {
    if (begin == nullptr || end == nullptr || dimz < 0 || dimz >= dim) return;
    // Exchange sort: stable, and a comparison with a NaN never exchanges.
    // A pass without an exchange leaves nothing for the shorter passes after it.
    for (int pass = countRange(begin, end) - 1; pass > 0; --pass) {
        bool exchanged = false;
        Point* p = begin;
        for (int k = 0; k < pass; ++k, p = p->next) {
            if (p->x[dimz] > p->next->x[dimz]) {
                exchangeTail(p, p->next, dimz, dim);
                exchanged = true;
            }
        }
        if (!exchanged) break;
    }
    if (dimz >= dim - 1) return;
    for (Point* run = begin;;) {
        Point* last = runEnd(run, end, dimz);
        sortPointSet(tableModel, run, last, dim, dimz + 1);
        if (last == end) break;
        run = last->next;
    }
}

void destroyIsoSet(IsoSet* isoSet) {
    while (isoSet != nullptr) {
        IsoSet* next = isoSet->next;
        if (isoSet->leaf)
            VXR_free(isoSet->dataU.dep);
        else
            destroyIsoSet(isoSet->dataU.children);
        VXR_free(isoSet->indep);
        VXR_free(isoSet->splineCoeff);
        VXR_free(isoSet);
        isoSet = next;
    }
}

IsoSet* doPointSetToIsoSet(TableModel* tableModel, Point* begin, Point* end, int dim, int dimz) {
    IsoSet* node = static_cast<IsoSet*>(tableModelAlloc(tableModel, sizeof(IsoSet)));
    if (node == nullptr) return nullptr;
    node->leaf = dimz >= dim - 1;
    node->dataU.children = nullptr;
    node->indep = nullptr;
    node->npts = 0;
    node->splineCoeff = nullptr;
    node->next = nullptr;

    if (node->leaf) {
        int n = countRange(begin, end);
        node->indep = tableModelDoubles(tableModel, n);
        node->dataU.dep = tableModelDoubles(tableModel, n);
        if (node->indep == nullptr || node->dataU.dep == nullptr) {
            destroyIsoSet(node);
            return nullptr;
        }
        node->indep[0] = begin->x[dimz];
        node->dataU.dep[0] = begin->y;
        node->npts = 1;
        for (Point* p = begin; p != end;) {
            p = p->next;
            if (p->x[dimz] == node->indep[node->npts - 1]) {
                // A leaf with a duplicate has no meaningful samples: no tree.
                tableModelMessage(tableModel, MessageTypeE_ERROR,
                                  "\nIn $table_model(), isolines samples must strictly ascend or descend.\n"
                                  "Duplicate points found.");
                destroyIsoSet(node);
                return nullptr;
            }
            node->indep[node->npts] = p->x[dimz];
            node->dataU.dep[node->npts] = p->y;
            ++node->npts;
        }
        return node;
    }

    int runs = 0;
    for (Point* run = begin;; run = run->next) {
        run = runEnd(run, end, dimz);
        ++runs;
        if (run == end) break;
    }
    node->indep = tableModelDoubles(tableModel, runs);
    if (node->indep == nullptr) {
        destroyIsoSet(node);
        return nullptr;
    }
    IsoSet* lastChild = nullptr;
    for (Point* run = begin;;) {
        Point* last = runEnd(run, end, dimz);
        IsoSet* child = doPointSetToIsoSet(tableModel, run, last, dim, dimz + 1);
        if (child == nullptr) {
            destroyIsoSet(node);
            return nullptr;
        }
        if (lastChild == nullptr)
            node->dataU.children = child;
        else
            lastChild->next = child;
        lastChild = child;
        node->indep[node->npts++] = run->x[dimz];
        if (last == end) break;
        run = last->next;
    }
    return node;
}

IsoSet* pointSetToIsoSet(TableModel* tableModel, PointSet* pointSet) {
    if (pointSet == nullptr || pointSet->points == nullptr || pointSet->dim < 1) return nullptr;
    Point* last = pointSet->points;
    while (last->next != nullptr) last = last->next;
    sortPointSet(tableModel, pointSet->points, last, pointSet->dim, 0);
    return doPointSetToIsoSet(tableModel, pointSet->points, last, pointSet->dim, 0);
}
