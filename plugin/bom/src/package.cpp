#include "package.h"

#include <zip.h>

#include <filesystem>

#include "qks/common/environment.h"
#include "qks/common/file_io.h"
#include "qks/common/utf8.h"

namespace qks::bom {
namespace {

namespace fs = std::filesystem;

std::string uniqueName(Package& package, const std::string& base, const std::string& extension) {
    return drawing::uniqueOutputName(drawing::sanitizeFileName(base), package.names[extension]) +
           extension;
}

// Zips `folder` as "<its name>/<file>" entries into `zipPath`, through "<zipPath>.tmp".
bool zipFolder(const std::string& folder, const std::vector<std::string>& files,
               const std::string& zipPath, std::string& message) {
    const std::string temporary = zipPath + ".tmp";
    std::error_code ignored;
    fs::remove(fs::u8path(temporary), ignored);
    int code = 0;
    zip_t* archive = zip_open(temporary.c_str(), ZIP_CREATE | ZIP_EXCL, &code);
    if (archive == nullptr) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        message = "无法创建压缩包 " + zipPath + ": " + zip_error_strerror(&error);
        zip_error_fini(&error);
        return false;
    }
    const std::string top = fs::u8path(folder).filename().u8string();
    for (const std::string& name : files) {
        const std::string path = joinPath(folder, name);
        zip_source_t* source = zip_source_file(archive, path.c_str(), 0, -1);
        if (source == nullptr ||
            zip_file_add(archive, (top + "/" + name).c_str(), source, ZIP_FL_ENC_UTF_8) < 0) {
            if (source != nullptr) zip_source_free(source);
            message = "无法压缩 " + path + ": " + zip_strerror(archive);
            zip_discard(archive);
            fs::remove(fs::u8path(temporary), ignored);
            return false;
        }
    }
    if (zip_close(archive) != 0) {
        message = "无法写入压缩包 " + zipPath + ": " + zip_strerror(archive);
        zip_discard(archive);
        fs::remove(fs::u8path(temporary), ignored);
        return false;
    }
    std::error_code renameError;
    fs::rename(fs::u8path(temporary), fs::u8path(zipPath), renameError);
    if (renameError) {
        fs::remove(fs::u8path(temporary), ignored);
        message = "无法写入压缩包 " + zipPath;
        return false;
    }
    return true;
}

}  // namespace

void openPackage(Package& package, const std::string& folder) {
    package.folder = folder;
    package.building = folder + ".partial";
    std::error_code error;
    fs::remove_all(fs::u8path(package.building), error);
    fs::create_directories(fs::u8path(package.building), error);
    if (error) package.error = "无法创建交付目录 " + package.building;
}

void addToPackage(Package& package, host::DrawingServices& ds, host::DatabaseId database,
                  const std::string& source, const std::string& number,
                  const std::vector<drawing::PlotWindow>& windows,
                  std::vector<ContentsEntry>& contents) {
    if (!package.error.empty()) return;
    ContentsEntry entry;
    entry.drawingNumber = number;
    if (isRegularFile(source)) {
        const std::string extension = toLowerUtf8(fs::u8path(source).extension().u8string());
        entry.drawing = uniqueName(package, number, extension);
        std::error_code error;
        fs::copy_file(fs::u8path(source), fs::u8path(joinPath(package.building, entry.drawing)),
                      fs::copy_options::overwrite_existing, error);
        if (error) {
            package.error = "无法复制图纸 " + source;
            return;
        }
        package.files.push_back(entry.drawing);
    }
    if (!package.sessionOpen) {
        std::string message;
        if (!plot::openPlotSession(ds, package.session, message)) {
            package.error = message;
            return;
        }
        package.sessionOpen = true;
    }
    host::ObjectId model;
    for (const host::LayoutInfo& layout : ds.layouts(database))
        if (layout.isModel) model = layout.id;
    const auto plotted = [&](const std::string& name, bool ok, const std::string& message) {
        if (!ok) {
            package.error = "无法输出 PDF " + name + " " + message;
            return;
        }
        package.files.push_back(name);
        entry.pdfs.push_back(name);
    };
    std::string message;
    if (windows.empty()) {
        const std::string name = uniqueName(package, number, ".pdf");
        plotted(name,
                model && plot::plotModelExtentsToPdf(ds, package.session.engine, model, "Model",
                                                     package.session.device, "monochrome.ctb",
                                                     joinPath(package.building, name), message),
                message);
    }
    for (const drawing::PlotWindow& window : windows) {
        if (!package.error.empty()) break;
        const std::string name = uniqueName(package, window.name, ".pdf");
        plotted(name,
                model && plot::plotWindowToPdf(ds, package.session.engine, model, window, name,
                                               package.session.device, "monochrome.ctb",
                                               joinPath(package.building, name), message),
                message);
    }
    contents.push_back(std::move(entry));
}

void addFileToPackage(Package& package, const std::string& path) {
    if (!package.error.empty()) return;
    const std::string name = fs::u8path(path).filename().u8string();
    std::error_code error;
    fs::copy_file(fs::u8path(path), fs::u8path(joinPath(package.building, name)),
                  fs::copy_options::overwrite_existing, error);
    if (error)
        package.error = "无法复制 " + path;
    else
        package.files.push_back(name);
}

bool closePackage(Package& package, host::PlotServices& ds, bool zip, std::string& message) {
    if (package.sessionOpen) plot::closePlotSession(ds, package.session);
    package.sessionOpen = false;
    std::error_code error;
    if (!package.error.empty()) {
        fs::remove_all(fs::u8path(package.building), error);
        message = package.error;
        return false;
    }
    fs::remove_all(fs::u8path(package.folder), error);
    fs::rename(fs::u8path(package.building), fs::u8path(package.folder), error);
    if (error) {
        message = "无法写入交付目录 " + package.folder;
        return false;
    }
    return !zip || zipFolder(package.folder, package.files, package.folder + ".zip", message);
}

}  // namespace qks::bom
