// Read access to a TORVEX_CORE instance's private record and to the module's
// stamp tables, compiled against the module's own record definition.
#pragma once

#include <string>

namespace probe {

int recompute(void* inst);
void setRecompute(void* inst, int value);
bool given(void* inst, int index);
void setRth0(void* inst, double v);
double rth0(void* inst);
double tdev(void* inst);
int drdir(void* inst);
int chdir(void* inst);
void* op(void* inst, int pos);

// Handle arrays: 0 rhs, 1 rhsQ, 2 jac, 3 jacQ, 4 ddt doublets.
int handleCount(int array);
void* handle(void* inst, int array, int index);
// Node names of table entry `index` ("" = ground, "_opddtN" = branch of that
// operator); the dependence type; for doublets names[0] is the operator.
void entry(int array, int index, std::string names[4], int* dep);

} // namespace probe
