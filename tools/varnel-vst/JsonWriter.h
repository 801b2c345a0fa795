#pragma once

#include <cstdint>
#include <iosfwd>
#include <string_view>
#include <vector>

namespace varnelvst::tool {

// Writes indented JSON to a stream as it goes. The caller keeps the nesting
// right; the writer places commas, indentation and escapes. Strings are UTF-8
// and pass through unchanged apart from the escapes JSON requires.
class JsonWriter {
public:
    explicit JsonWriter(std::ostream& out);

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    // Inside an object: the name of the value that follows.
    void key(std::string_view name);

    void string(std::string_view text);
    // The shortest text that reads back as the same double; null when not finite,
    // since JSON has no spelling for infinities and NaN.
    void number(double value);
    // As above, shortest as a float: a float widened to double would show digits
    // it never had.
    void number(float value);
    void integer(std::int64_t value);
    void boolean(bool value);

private:
    void open(char bracket);
    void close(char bracket);
    void beforeValue();
    void newline();
    void writeEscaped(std::string_view text);

    std::ostream& out;
    // Per open object or array: whether it has an entry yet.
    std::vector<bool> hasEntries;
    bool afterKey = false;
};

} // namespace varnelvst::tool
