#include "qks/contract/tools.h"

#include <array>

#include "split.h"

namespace qks::contract {

std::vector<LayerRule> defaultLayerRules() {
    // Order matters: the first match wins, so the specific kinds and line types come before
    // the catch-all outline rule.
    return {
        {"", "", "", "INSERT", "", "", "", ""},  // block references keep their own
        {"", "", "", "DIMENSION", "标注", "3", "ByLayer", ""},
        {"", "", "", "LEADER", "标注", "3", "ByLayer", ""},
        {"", "", "", "TEXT", "文字", "7", "ByLayer", ""},
        {"", "", "", "MTEXT", "文字", "7", "ByLayer", ""},
        {"*图框*", "", "", "", "图框", "7", "ByLayer", ""},
        {"*frame*", "", "", "", "图框", "7", "ByLayer", ""},
        {"*border*", "", "", "", "图框", "7", "ByLayer", ""},
        {"", "", "CENTER*", "", "中心线", "1", "CENTER", "18"},
        {"*中心*", "", "", "", "中心线", "1", "CENTER", "18"},
        {"", "", "HIDDEN*", "", "虚线", "6", "HIDDEN", "18"},
        {"", "", "DASHED*", "", "虚线", "6", "HIDDEN", "18"},
        {"", "", "", "HATCH", "细实线", "8", "ByLayer", "18"},
        {"", "", "", "LINE|ARC|CIRCLE|LWPOLYLINE|POLYLINE|SPLINE|ELLIPSE", "轮廓线", "7", "ByLayer",
         "50"},
    };
}

namespace {

// The eight fields in their order in a rule line.
template <class Rule>
auto ruleFields(Rule& rule) {
    return std::array{&rule.layer,    &rule.color,    &rule.linetype,    &rule.kind,
                      &rule.newLayer, &rule.newColor, &rule.newLinetype, &rule.newLineweight};
}

}  // namespace

std::string formatLayerRule(const LayerRule& rule) {
    std::string out;
    for (const std::string* field : ruleFields(rule)) {
        if (field != &rule.layer) out.push_back(',');
        out += *field;
    }
    return out;
}

bool parseLayerRule(std::string_view value, LayerRule& rule) {
    const std::vector<std::string_view> f = splitFields(value, ',');
    if (f.size() != 8) return false;
    LayerRule parsed;
    const auto fields = ruleFields(parsed);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        std::string_view text = f[i];
        while (!text.empty() && text.front() == ' ')
            text.remove_prefix(1);
        while (!text.empty() && text.back() == ' ')
            text.remove_suffix(1);
        *fields[i] = std::string(text);
    }
    rule = std::move(parsed);
    return true;
}

namespace {

void appendField(std::string& out, const std::string& field) {
    for (const char c : field)
        out.push_back(c == '\t' || c == '\n' || c == '\r' ? ' ' : c);
}

void appendLine(std::string& out, char kind, const std::vector<std::string>& fields) {
    out.push_back(kind);
    for (const std::string& field : fields) {
        out.push_back('\t');
        appendField(out, field);
    }
    out.push_back('\n');
}

}  // namespace

std::string formatTables(const std::vector<ResultTable>& tables) {
    std::string out = "# QKS-TABLES 1\n";
    for (const ResultTable& table : tables) {
        appendLine(out, 'T', {table.name});
        appendLine(out, 'H', table.headers);
        for (const auto& row : table.rows)
            appendLine(out, 'R', row);
    }
    return out;
}

std::vector<ResultTable> readTables(std::string_view text, const ReadRules& rules) {
    std::vector<ResultTable> tables;
    for (std::string_view line : splitFields(text, '\n')) {
        if (rules.trimLine) line = rules.trimLine(line);
        if (line.size() < 1 || line.front() == '#') continue;
        std::vector<std::string_view> f = splitFields(line, '\t');
        const std::string_view kind = f.front();
        std::vector<std::string> fields(f.begin() + 1, f.end());
        if (kind == "T") {
            tables.push_back({fields.empty() ? std::string() : fields.front(), {}, {}});
        } else if (!tables.empty() && kind == "H") {
            tables.back().headers = std::move(fields);
        } else if (!tables.empty() && kind == "R") {
            tables.back().rows.push_back(std::move(fields));
        }
    }
    return tables;
}

}  // namespace qks::contract
