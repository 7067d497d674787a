// The CSV files of a run (vxrsim -o NAME.csv): one file per analysis,
//   NAME.op.csv, NAME.dc.csv, NAME.ac.csv, NAME.tran.csv,
// numbered from 1 where a kind repeats (NAME.dc1.csv, NAME.dc2.csv), and
// NAME.KIND.incomplete.csv for the rows of an analysis that failed. Each is
// written to a temporary name and renamed; the file names of this run that
// no analysis wrote are removed, so none is left from an earlier run.
#pragma once

#include "vxrhost/Netlist.h"

#include <string>
#include <vector>

namespace vxr {

class ResultFiles {
public:
    // Creates the temporary file of every analysis; throws SimError naming
    // the file when one cannot be written.
    ResultFiles(const std::string& csvPath, const std::vector<AnalysisCmd::Kind>& kinds);
    ~ResultFiles();
    ResultFiles(const ResultFiles&) = delete;
    ResultFiles& operator=(const ResultFiles&) = delete;

    // File names of analysis i: complete and incomplete.
    const std::string& path(size_t i) const { return files_[i].path; }
    const std::string& incompletePath(size_t i) const { return files_[i].incomplete; }

    // Writes the table of analysis i and returns the name it now has.
    std::string write(size_t i, const Table& t);
    // Removes the files of the analyses write() was not called for.
    void removeUnwritten();

private:
    struct File {
        std::string path, incomplete, temp;
        bool written = false;
    };
    std::vector<File> files_;
};

} // namespace vxr
