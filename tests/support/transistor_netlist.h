// Netlist lines of the transistor libraries for generated circuits.
#pragma once

#include <string>

namespace vxr::testing {

// The instance line of a transistor of a library (TORVEX_EN, TORVEX or
// TORVEX_CORE) between drain d, gate g and source s, with what its other
// terminals need: its own thermal node t_NAME, the ambient terminal on
// ground, TORVEX_CORE's body on the source, and TORVEX_EN's monitors (the
// current one through a 0 V source).
inline std::string transistorLine(const std::string& lib, const std::string& name, const std::string& d,
                                  const std::string& g, const std::string& s, const std::string& params) {
    if (lib == "TORVEX_EN")
        return name + " " + d + " " + g + " " + s + " t_" + name + " 0 v_" + name + " i_" + name + " TORVEX_EN " + params +
               "\nVI_" + name + " i_" + name + " 0 DC 0\n";
    if (lib == "TORVEX") return name + " " + d + " " + g + " " + s + " t_" + name + " 0 TORVEX " + params + "\n";
    return name + " " + d + " " + g + " " + s + " " + s + " t_" + name + " 0 TORVEX_CORE " + params + "\n";
}

} // namespace vxr::testing
