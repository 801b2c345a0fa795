#include "NameMatch.h"

#include <algorithm>
#include <cctype>

namespace varnelvst::tool {

namespace {

// Letters to insert, delete or change to turn one into the other.
std::size_t editDistance(const std::string& one, const std::string& other) {
    std::vector<std::size_t> row(other.size() + 1);
    for (std::size_t j = 0; j <= other.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= one.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= other.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (one[i - 1] == other[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[other.size()];
}

bool containsWord(const std::string& text, const std::string& word) {
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        const std::size_t end = at + word.size();
        if ((at == 0 || text[at - 1] == ' ') && (end == text.size() || text[end] == ' '))
            return true;
    }
    return false;
}

void addOnce(std::vector<std::string>& names, const std::string& name) {
    if (std::find(names.begin(), names.end(), name) == names.end())
        names.push_back(name);
}

} // namespace

std::string lowerCase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool equalIgnoringCase(const std::string& one, const std::string& other) {
    return one.size() == other.size() && lowerCase(one) == lowerCase(other);
}

NameMatch matchName(const std::vector<std::string>& names, const std::string& typed) {
    NameMatch match;
    for (std::size_t i = names.size(); i-- > 0;) {
        if (names[i] == typed)
            return {i, {}};
    }
    std::vector<std::string> spellings;
    for (std::size_t i = names.size(); i-- > 0;) {
        if (equalIgnoringCase(names[i], typed)) {
            if (spellings.empty())
                match.index = i;
            addOnce(spellings, names[i]);
        }
    }
    if (spellings.size() == 1)
        return match;
    match.index.reset();
    match.others = spellings.empty() ? similarNames(names, typed) : spellings;
    return match;
}

std::vector<std::string> similarNames(const std::vector<std::string>& names, const std::string& typed) {
    const std::string lower = lowerCase(typed);
    // A third of the letters may be off: "Treshold" is Threshold, "Mix" is not Max.
    const std::size_t allowed = std::max<std::size_t>(1, lower.size() / 3);
    std::vector<std::pair<std::size_t, std::string>> close;
    for (const std::string& name : names) {
        const std::string candidate = lowerCase(name);
        std::size_t distance = editDistance(lower, candidate);
        // Its start, or one of its words: "ceiling" for "Output Ceiling".
        if (!lower.empty() && (candidate.rfind(lower, 0) == 0 || containsWord(candidate, lower)))
            distance = std::min<std::size_t>(distance, 1);
        if (distance <= allowed &&
            std::none_of(close.begin(), close.end(), [&](const auto& entry) { return entry.second == name; }))
            close.emplace_back(distance, name);
    }
    std::stable_sort(close.begin(), close.end(),
                     [](const auto& one, const auto& other) { return one.first < other.first; });
    std::vector<std::string> best;
    for (std::size_t i = 0; i < close.size() && i < 3; ++i)
        best.push_back(close[i].second);
    return best;
}

std::string didYouMean(const std::vector<std::string>& names) {
    if (names.empty())
        return {};
    std::string text = " (did you mean ";
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + ("'" + names[i] + "'");
    return text + "?)";
}

} // namespace varnelvst::tool
