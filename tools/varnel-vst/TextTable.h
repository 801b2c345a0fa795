#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

namespace varnelvst::tool {

// Left-aligned columns, as wide as their widest cell, for the tool's listings.
class TextTable {
public:
    explicit TextTable(std::vector<std::string> headings);

    void addRow(std::vector<std::string> cells);
    void print(std::ostream& out) const;

private:
    std::vector<std::vector<std::string>> rows;
};

// The items with `separator` between them: "Fx|Dynamics", "a, b, c".
std::string joined(const std::vector<std::string>& items, const std::string& separator);

// "1 effect", "2 effects": a count and a noun that takes an s.
std::string counted(std::size_t count, const std::string& noun);

} // namespace varnelvst::tool
