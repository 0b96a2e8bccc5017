// The delivery package: a folder with copies of the drawings, one PDF per frame, the workbook,
// and on request a zip of it. Built beside its final name and moved there whole at the end,
// so an older package is replaced only by a complete one.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "qks/bom/workbook.h"
#include "qks/drawing/naming.h"
#include "qks/host/drawing.h"
#include "qks/plot/engine.h"

namespace qks::bom {

struct Package {
    std::string folder;    // final path
    std::string building;  // where it is built
    plot::PlotSession session;
    bool sessionOpen = false;
    std::map<std::string, drawing::NameCounts> names;  // by extension: "A.dxf" and "A.pdf" pair up
    std::vector<std::string> files;                    // names inside the folder
    std::string error;  // the first failure; the package is then not delivered
};

void openPackage(Package& package, const std::string& folder);

// Copies the drawing (named after `number`) and plots each window, or model space when there
// are none, to a PDF named after the window's name.
void addToPackage(Package& package, host::DrawingServices& ds, host::DatabaseId database,
                  const std::string& source, const std::string& number,
                  const std::vector<drawing::PlotWindow>& windows,
                  std::vector<ContentsEntry>& contents);

void addFileToPackage(Package& package, const std::string& path);

// Moves the folder into place and zips it on request ("<folder>.zip"). False with `message`.
bool closePackage(Package& package, host::PlotServices& ds, bool zip, std::string& message);

}  // namespace qks::bom
