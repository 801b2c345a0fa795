#include "JsonValue.h"

#include <cstdlib>
#include <stdexcept>

namespace tooltest {

namespace {

class Parser {
public:
    explicit Parser(const std::string& source) : text(source) {}

    JsonValue document() {
        JsonValue result = value();
        skipSpace();
        if (position != text.size())
            fail("text after the value");
        return result;
    }

private:
    [[noreturn]] void fail(const std::string& what) const {
        throw std::runtime_error("invalid JSON at offset " + std::to_string(position) + ": " + what);
    }

    void skipSpace() {
        while (position < text.size() && (text[position] == ' ' || text[position] == '\n' ||
                                          text[position] == '\r' || text[position] == '\t'))
            ++position;
    }

    char peek() {
        skipSpace();
        if (position >= text.size())
            fail("unexpected end");
        return text[position];
    }

    void expect(char c) {
        if (peek() != c)
            fail(std::string("expected '") + c + "'");
        ++position;
    }

    bool literal(const std::string& word) {
        if (text.compare(position, word.size(), word) != 0)
            return false;
        position += word.size();
        return true;
    }

    JsonValue value() {
        const char c = peek();
        if (c == '{')
            return object();
        if (c == '[')
            return array();
        if (c == '"')
            return {string()};
        if (literal("true"))
            return {true};
        if (literal("false"))
            return {false};
        if (literal("null"))
            return {nullptr};
        return {number()};
    }

    JsonValue object() {
        expect('{');
        auto members = std::make_shared<JsonObject>();
        if (peek() == '}') {
            ++position;
            return {members};
        }
        while (true) {
            if (peek() != '"')
                fail("expected a member name");
            std::string key = string();
            expect(':');
            (*members)[key] = value();
            if (peek() == ',') {
                ++position;
                continue;
            }
            expect('}');
            return {members};
        }
    }

    JsonValue array() {
        expect('[');
        auto items = std::make_shared<JsonArray>();
        if (peek() == ']') {
            ++position;
            return {items};
        }
        while (true) {
            items->push_back(value());
            if (peek() == ',') {
                ++position;
                continue;
            }
            expect(']');
            return {items};
        }
    }

    void appendUtf8(std::string& out, unsigned long codePoint) {
        if (codePoint < 0x80) {
            out += static_cast<char>(codePoint);
        } else if (codePoint < 0x800) {
            out += static_cast<char>(0xC0 | (codePoint >> 6));
            out += static_cast<char>(0x80 | (codePoint & 0x3F));
        } else if (codePoint < 0x10000) {
            out += static_cast<char>(0xE0 | (codePoint >> 12));
            out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (codePoint & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (codePoint >> 18));
            out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (codePoint & 0x3F));
        }
    }

    unsigned long hex4() {
        if (position + 4 > text.size())
            fail("short \\u escape");
        const std::string digits = text.substr(position, 4);
        char* end = nullptr;
        const unsigned long value = std::strtoul(digits.c_str(), &end, 16);
        if (end != digits.c_str() + 4)
            fail("bad \\u escape");
        position += 4;
        return value;
    }

    std::string string() {
        expect('"');
        std::string out;
        while (true) {
            if (position >= text.size())
                fail("unterminated string");
            const char c = text[position++];
            if (c == '"')
                return out;
            if (static_cast<unsigned char>(c) < 0x20)
                fail("control character in a string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (position >= text.size())
                fail("unterminated escape");
            const char escaped = text[position++];
            switch (escaped) {
            case '"':
                out += '"';
                break;
            case '\\':
                out += '\\';
                break;
            case '/':
                out += '/';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                unsigned long codePoint = hex4();
                if (codePoint >= 0xD800 && codePoint < 0xDC00 && literal("\\u")) {
                    const unsigned long low = hex4();
                    codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (low - 0xDC00);
                }
                appendUtf8(out, codePoint);
                break;
            }
            default:
                fail("unknown escape");
            }
        }
    }

    double number() {
        // The JSON grammar: -? (0 | [1-9][0-9]*) (.[0-9]+)? ([eE][+-]?[0-9]+)?
        const std::size_t start = position;
        auto digits = [&] {
            const std::size_t first = position;
            while (position < text.size() && text[position] >= '0' && text[position] <= '9')
                ++position;
            return position - first;
        };
        if (position < text.size() && text[position] == '-')
            ++position;
        if (position < text.size() && text[position] == '0')
            ++position;
        else if (digits() == 0)
            fail("expected a value");
        if (position < text.size() && text[position] == '.') {
            ++position;
            if (digits() == 0)
                fail("digits expected after '.'");
        }
        if (position < text.size() && (text[position] == 'e' || text[position] == 'E')) {
            ++position;
            if (position < text.size() && (text[position] == '+' || text[position] == '-'))
                ++position;
            if (digits() == 0)
                fail("digits expected in the exponent");
        }
        return std::strtod(text.substr(start, position - start).c_str(), nullptr);
    }

    const std::string& text;
    std::size_t position = 0;
};

} // namespace

JsonValue parseJson(const std::string& text) {
    return Parser(text).document();
}

} // namespace tooltest
