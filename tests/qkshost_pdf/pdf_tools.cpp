#include "pdf_tools.h"

#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace qkshost::pdf::testing {

std::string quote(const std::string& text) {
    std::string q = "'";
    for (char c : text)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

int run(const std::string& command, std::string& out) {
    out.clear();
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return -1;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string qpdfProblems(const std::string& pdf) {
    std::string out;
    const int status = run("qpdf --check " + quote(pdf) + " 2>&1", out);
    return status == 0 && out.find("WARNING") == std::string::npos
               ? std::string()
               : out + "(exit " + std::to_string(status) + ")";
}

std::string pdfinfoField(const std::string& pdf, const std::string& key) {
    std::string out;
    if (run("pdfinfo " + quote(pdf) + " 2>/dev/null", out) != 0) return {};
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.compare(0, key.size() + 1, key + ":") != 0) continue;
        std::size_t start = key.size() + 1;
        while (start < line.size() && line[start] == ' ')
            ++start;
        return line.substr(start);
    }
    return {};
}

bool pdfPageSize(const std::string& pdf, double& width, double& height) {
    const std::string size = pdfinfoField(pdf, "Page size");
    return std::sscanf(size.c_str(), "%lf x %lf", &width, &height) == 2;
}

Rgb Image::at(int x, int y) const {
    const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
    return {pixels[i], pixels[i + 1], pixels[i + 2]};
}

bool Image::isInk(int x, int y) const {
    const Rgb c = at(x, y);
    return c.r < 200 || c.g < 200 || c.b < 200;
}

bool rasterise(const std::string& pdf, int dpi, Image& image) {
    const std::string prefix = pdf + ".raster";
    std::string out;
    if (run("pdftoppm -singlefile -r " + std::to_string(dpi) + " " + quote(pdf) + " " +
                quote(prefix),
            out) != 0)
        return false;
    const std::string data = readFile(prefix + ".ppm");
    std::remove((prefix + ".ppm").c_str());
    // Binary PPM: "P6" width height maxval, each separated by white space, then the pixels.
    std::istringstream header(data);
    std::string magic;
    int maxval = 0;
    header >> magic >> image.width >> image.height >> maxval;
    if (magic != "P6" || maxval != 255 || image.width <= 0 || image.height <= 0) return false;
    const std::size_t offset = static_cast<std::size_t>(header.tellg()) + 1;
    const std::size_t size = static_cast<std::size_t>(image.width) * image.height * 3;
    if (data.size() < offset + size) return false;
    image.pixels.assign(data.begin() + offset, data.begin() + offset + size);
    return true;
}

}  // namespace qkshost::pdf::testing
