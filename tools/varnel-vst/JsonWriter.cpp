#include "JsonWriter.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <string>

namespace varnelvst::tool {

JsonWriter::JsonWriter(std::ostream& stream) : out(stream) {}

void JsonWriter::newline() {
    out << '\n' << std::string(2 * hasEntries.size(), ' ');
}

void JsonWriter::beforeValue() {
    if (afterKey) {
        afterKey = false;
        return;
    }
    if (hasEntries.empty())
        return;
    if (hasEntries.back())
        out << ',';
    hasEntries.back() = true;
    newline();
}

void JsonWriter::beginObject() {
    open('{');
}
void JsonWriter::endObject() {
    close('}');
}
void JsonWriter::beginArray() {
    open('[');
}
void JsonWriter::endArray() {
    close(']');
}

void JsonWriter::open(char bracket) {
    beforeValue();
    out << bracket;
    hasEntries.push_back(false);
}

void JsonWriter::close(char bracket) {
    const bool hadEntries = hasEntries.back();
    hasEntries.pop_back();
    if (hadEntries)
        newline();
    out << bracket;
    if (hasEntries.empty())
        out << '\n';
}

void JsonWriter::key(std::string_view name) {
    beforeValue();
    writeEscaped(name);
    out << ": ";
    afterKey = true;
}

void JsonWriter::string(std::string_view text) {
    beforeValue();
    writeEscaped(text);
}

void JsonWriter::number(double value) {
    beforeValue();
    if (!std::isfinite(value)) {
        out << "null";
        return;
    }
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out << std::string_view(text, static_cast<std::size_t>(result.ptr - text));
}

void JsonWriter::number(float value) {
    beforeValue();
    if (!std::isfinite(value)) {
        out << "null";
        return;
    }
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out << std::string_view(text, static_cast<std::size_t>(result.ptr - text));
}

void JsonWriter::integer(std::int64_t value) {
    beforeValue();
    out << value;
}

void JsonWriter::boolean(bool value) {
    beforeValue();
    out << (value ? "true" : "false");
}

void JsonWriter::writeEscaped(std::string_view text) {
    out << '"';
    for (const char c : text) {
        switch (c) {
        case '"':
            out << "\\\"";
            break;
        case '\\':
            out << "\\\\";
            break;
        case '\n':
            out << "\\n";
            break;
        case '\r':
            out << "\\r";
            break;
        case '\t':
            out << "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                out << escaped;
            } else {
                out << c;
            }
        }
    }
    out << '"';
}

} // namespace varnelvst::tool
