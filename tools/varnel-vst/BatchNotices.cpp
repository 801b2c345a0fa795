#include "BatchNotices.h"

#include "TextTable.h"
#include "WorkerChannel.h"

#include <algorithm>

namespace varnelvst::tool {

namespace {

// More files than this are named by the first of them and a count.
constexpr std::size_t kFilesNamed = 10;

// In byte order, as a shard takes them, not the order the workers happened to finish.
std::string filesText(std::vector<std::string> files) {
    std::sort(files.begin(), files.end());
    if (files.size() == 1)
        return files.front();
    std::vector<std::string> named(files.begin(), files.begin() + std::min(files.size(), kFilesNamed));
    if (files.size() > kFilesNamed)
        named.push_back("and " + std::to_string(files.size() - kFilesNamed) + " more");
    return std::to_string(files.size()) + " files (" + joined(named, ", ") + ")";
}

} // namespace

// "<note|warning> <length of file> <file><text>": a path may hold any byte.
std::string BatchNotices::messageFor(NoticeKind kind, const std::string& file, const std::string& text) {
    return std::string(kind == NoticeKind::note ? "note " : "warning ") + std::to_string(file.size()) + " " +
           file + text;
}

void BatchNotices::addMessage(const std::string& message) {
    const auto [kindWord, rest] = splitMessage(message);
    const auto [lengthWord, fileAndText] = splitMessage(rest);
    const std::size_t length = std::min<std::size_t>(std::stoul("0" + lengthWord), fileAndText.size());
    const NoticeKind kind = kindWord == "warning" ? NoticeKind::warning : NoticeKind::note;
    const std::string file = fileAndText.substr(0, length);
    const std::string text = fileAndText.substr(length);
    auto found = std::find_if(notices.begin(), notices.end(), [&](const Notice& notice) {
        return notice.kind == kind && notice.text == text;
    });
    if (found == notices.end())
        found = notices.insert(notices.end(), Notice{kind, text, {}});
    if (!file.empty() && std::find(found->files.begin(), found->files.end(), file) == found->files.end())
        found->files.push_back(file);
}

void BatchNotices::print() const {
    for (const Notice& notice : notices) {
        if (notice.files.empty())
            (notice.kind == NoticeKind::note ? printNote : printWarning)(notice.text);
        else
            printFileNotice(notice.kind, filesText(notice.files), notice.text);
    }
}

} // namespace varnelvst::tool
