// Circuit representation of the test host: unknowns, elements and one
// evaluation pass.
//
// Equation convention (used by every element and by the model-library
// adapter): the circuit equations are F(x) = f(x) + d/dt q(x) = 0.
//  - The row of a node holds the sum of the currents LEAVING the node
//    through the elements (KCL). A current I flowing from node a to node b
//    through an element adds +I to row a and -I to row b.
//  - The row of a branch-current unknown holds the element's branch
//    equation (for a voltage source: v(p) - v(n) - V = 0).
//  - G = df/dx and C = dq/dx. Newton solves (G + a0 C) dx = -F. Both hold
//    one value per slot of the circuit's sparsity pattern (SparseMatrix.h).
// A model library's RHS pair (a, b) value is a current from a to b (a branch
// row when b is absent), so it is added to row a and subtracted from row b;
// a quartet (r1, r2 | c1, c2) holds the derivative of that current with
// respect to v(c1) - v(c2): +g at (r1,c1) and (r2,c2), -g at (r1,c2) and
// (r2,c1). The Q variants go to q and C in the same way.
// pSetupNode makes a node unknown whatever its nodal-info argument (NULL, the
// "none" marker, or an integral or delay operator's record, which the host
// takes over and frees): an operator branch's variable (whose row the operator
// loads, e.g. s dQ/dt - x = 0 for the time derivative) is such a node. A
// time-derivative variable is recognised when its operator loads its charge
// (Unknown::DERIVATIVE) and gets tolerances scaled by its row scale s.
// A delay operator's row gets the delayed argument from the host's delay
// object (linear interpolation of the history of accepted points); in AC the
// derivatives loaded through it carry e^(-j omega delay).
#pragma once

#include "vxrhost/BuiltinElements.h"
#include "vxrhost/Element.h"
#include "vxrhost/EvalContext.h"
#include "vxrhost/HostServices.h"
#include "vxrhost/NameIndex.h"
#include "vxrhost/Options.h"

#include <Eigen/Dense>
#include <algorithm>
#include <complex>
#include <functional>
#include <map>
#include <memory>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

namespace vxr {

class Circuit {
public:
    Circuit();
    ~Circuit();
    Circuit(const Circuit&) = delete;
    Circuit& operator=(const Circuit&) = delete;

    HostServices& host() { return *host_; }
    const HostServices& host() const { return *host_; }
    Options& options() { return host_->options; }

    // Node of the netlist by name, in any case; "0" and "gnd" are ground (-1).
    int node(const std::string& name);
    int findNode(const std::string& name) const; // -2 when unknown
    // How many element terminals were connected to the node through node().
    int nodeUses(int i) const { return i >= 0 && i < static_cast<int>(nodeUses_.size()) ? nodeUses_[i] : 0; }
    int addUnknown(const std::string& name, bool isCurrent);
    int size() const { return static_cast<int>(unknowns_.size()); }
    const std::vector<Unknown>& unknowns() const { return unknowns_; }
    // Changes whenever an unknown is added or changes its kind.
    uint64_t unknownsVersion() const { return unknownsVersion_; }
    // The sparsity pattern of the circuit matrix; elements take their slots in setup.
    MatrixPattern& pattern() { return pattern_; }
    int findUnknown(const std::string& name) const; // -1 when unknown
    // Marks a node unknown as a time-derivative variable with row scale s.
    void markDerivative(int i, double s);

    Element& add(std::unique_ptr<Element> e);
    // Room for about n more elements and as many nodes.
    void reserve(size_t n);
    Element* find(const std::string& name) const;
    const std::vector<std::unique_ptr<Element>>& elements() const { return elements_; }

    // Calls setup on elements not yet set up; the pattern then holds every
    // diagonal entry.
    void setup();

    // One evaluation of all elements at x.
    void evaluate(EvalContext& ctx, const Eigen::VectorXd& x);
    long loadPasses() const { return loadPasses_; } // evaluations so far

private:
    std::unique_ptr<HostServices> host_;
    NameIndex nodes_; // netlist node name -> unknown
    std::vector<int> nodeUses_;
    std::vector<Unknown> unknowns_;
    uint64_t unknownsVersion_ = 0;
    // The first unknown of each name, exact and in lower case; filled on lookup.
    mutable std::unordered_map<std::string, int> unknownIndex_, unknownIndexLower_;
    mutable size_t unknownsIndexed_ = 0;
    // The load pass in element order: a resistor or capacitor stamped in
    // place from a copy of its values, any other element through its load.
    struct LoadEntry {
        enum Kind { ELEMENT, RESISTOR, CAPACITOR } kind;
        LinearStamp stamp; // RESISTOR, CAPACITOR
        Element* element;
    };
    std::vector<std::unique_ptr<Element>> elements_;
    std::vector<LoadEntry> loadOrder_; // one per element set up
    std::vector<Element*> loadedElements_; // the ELEMENT entries' elements, in order
    NameIndex elementIndex_; // name -> index in elements_
    size_t setupDone_ = 0;
    long loadPasses_ = 0;
    MatrixPattern pattern_;
};

} // namespace vxr
