// Loading a compiled model library and driving its instances.
//
// The interface revision (1.87, 1.60, 1.42) is read once from
// getLibraryVersion; everything behind ModelLibrary and the model-instance
// element is a per-revision adapter, so the rest of the host never sees a
// revision-specific layout.
#pragma once

#include "vxrhost/Circuit.h"

#include <memory>
#include <string>
#include <vector>

namespace vxr {

struct ParamInfo {
    std::string name;
    int type = 0; // VXR_ParamTypeE
    int location = 0;
};

// A value given on an instance line: a number, a string or an array of numbers.
struct ParamValue {
    std::string name;
    bool isString = false;
    double number = 0.0;
    std::string text;
    bool isArray = false;
    std::vector<double> values;
};

// Default value of one parameter as read back from a default instance.
struct ParamDefault {
    ParamInfo info;
    std::string value; // formatted; empty when the module has no get slot for the type
};

class ModelLibrary {
public:
    virtual ~ModelLibrary() = default;

    // Opens a library (cached per path for the life of the process: instances
    // of revision 1.42 cannot be destroyed, and their code must stay mapped).
    // Throws SimError with a clear text on failure.
    static std::shared_ptr<ModelLibrary> open(const std::string& path);

    const std::string& path() const { return path_; }
    int revision() const { return revision_; } // 187, 160 or 142
    const std::string& versionText() const { return versionText_; }
    const std::string& buildId() const { return buildId_; }
    const std::string& moduleName() const { return moduleName_; }
    const std::vector<std::string>& terminals() const { return terminals_; }
    const std::vector<ParamInfo>& params() const { return params_; }
    const ParamInfo* findParam(const std::string& name) const; // exact case

    // A model-instance element bound to the given nodes (terminal order).
    virtual std::unique_ptr<Element> makeInstance(Circuit& c, const std::string& name, const std::vector<int>& nodes,
                                                  const std::vector<ParamValue>& params) = 0;
    // Creates a default instance in a scratch circuit and reads every
    // parameter back through the get slots.
    virtual std::vector<ParamDefault> readDefaults() = 0;

protected:
    std::string path_;
    int revision_ = 0;
    std::string versionText_, buildId_, moduleName_;
    std::vector<std::string> terminals_;
    std::vector<ParamInfo> params_;
};

// Text of the describe command.
std::string describeLibrary(ModelLibrary& lib);

} // namespace vxr
