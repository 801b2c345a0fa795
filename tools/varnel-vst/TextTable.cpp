#include "TextTable.h"

#include <algorithm>
#include <ostream>

namespace varnelvst::tool {

namespace {

// Widths count code points, not bytes, so that titles in UTF-8 line up.
std::size_t displayWidth(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(
        text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

} // namespace

std::string joined(const std::vector<std::string>& items, const std::string& separator) {
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : separator) + item;
    return text;
}

TextTable::TextTable(std::vector<std::string> headings) {
    rows.push_back(std::move(headings));
}

void TextTable::addRow(std::vector<std::string> cells) {
    cells.resize(rows.front().size());
    rows.push_back(std::move(cells));
}

void TextTable::print(std::ostream& out) const {
    std::vector<std::size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows) {
        for (std::size_t column = 0; column < row.size(); ++column)
            widths[column] = std::max(widths[column], displayWidth(row[column]));
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t column = 0; column < row.size(); ++column) {
            line += row[column];
            if (column + 1 < row.size())
                line += std::string(widths[column] - displayWidth(row[column]) + 2, ' ');
        }
        out << line << '\n';
    }
}

std::string counted(std::size_t count, const std::string& noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

} // namespace varnelvst::tool
