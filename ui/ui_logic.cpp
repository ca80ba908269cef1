#include "ui/ui_logic.h"

#include <algorithm>
#include <cctype>

#include "res/translation.h"

CommandEnabling EnabledCommands(const LinkFlags& flags) {
    CommandEnabling result;
    result.connect = !flags.running;
    result.disconnect = flags.running;
    result.download = flags.running && !flags.downloadRequested && !flags.resetIssued;
    return result;
}

DownloadDecision DecideDownload(const LinkFlags& flags, const char* refusal, bool compatible, bool forceMode) {
    if (flags.downloadRequested || !flags.running) return DownloadDecision::Ignore;
    // An image without data (or too long to address) is never sent, whatever
    // the hardware check would say.
    if (refusal != nullptr) return DownloadDecision::Refuse;
    // Zeros are no hardware version: not even force mode sends to a silent line.
    if (!flags.deviceAnswered) return DownloadDecision::NoDevice;
    if (compatible) return DownloadDecision::Request;
    return forceMode ? DownloadDecision::AskHardware : DownloadDecision::RefuseHardware;
}

bool IsLineVisible(const LineRect& line, const LineRect& client) { return !(line.top > client.bottom); }

void AdvanceLine(LineRect& line) {
    const int height = line.bottom - line.top;
    line.top = line.bottom;
    line.bottom += height;
}

LineRect FirstLine(const LineRect& client, int lineHeight) {
    return LineRect{client.left, client.top, client.right, client.top + lineHeight};
}

std::vector<int> PaintedLines(const LineRect& client, int lineHeight, int count) {
    std::vector<int> painted;
    LineRect line = FirstLine(client, lineHeight);
    for (int number = 1; number <= count; ++number) {
        if (!IsLineVisible(line, client)) continue;
        painted.push_back(number);
        AdvanceLine(line);
    }
    return painted;
}

std::vector<std::string> PortBoxEntries(const std::vector<std::string>& standard,
                                        const std::vector<std::string>& reported) {
    std::vector<std::string> entries;
    auto add = [&entries](const std::string& name) {
        if (!name.empty() && std::find(entries.begin(), entries.end(), name) == entries.end())
            entries.push_back(name);
    };
    // A standard name the system does not report is no port here (a phantom
    // ttyS1, a COM2 the machine lacks): only those that exist come first.
    for (const std::string& name : standard)
        if (std::find(reported.begin(), reported.end(), name) != reported.end()) add(name);
    for (const std::string& name : reported) add(name);
    return entries;
}

std::vector<std::string> DocumentStringFields(const char* text) {
    std::vector<std::string> fields;
    std::string all = text != nullptr ? text : "";
    size_t start = 0;
    while (fields.size() < 7) {
        const size_t end = all.find('\n', start);
        if (end == std::string::npos) {
            fields.push_back(start <= all.size() ? all.substr(start) : std::string());
            start = all.size() + 1;
        } else {
            fields.push_back(all.substr(start, end - start));
            start = end + 1;
        }
    }
    return fields;
}

std::string OpenDialogFilter(const std::string& filterName, const std::string& extension) {
    // Every upper/lower spelling of the extension, "*.fw;*.fW;*.Fw;*.FW".
    std::vector<std::string> spellings{"*"};
    for (char c : extension) {
        std::vector<std::string> next;
        for (const std::string& s : spellings) {
            const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            next.push_back(s + lower);
            if (upper != lower) next.push_back(s + upper);
        }
        spellings = std::move(next);
    }
    std::string patterns;
    for (const std::string& s : spellings) patterns += (patterns.empty() ? "" : ";") + s;
    return filterName + "|" + patterns + "|All Files (*.*)|*";
}

std::string DownloadRefusalText(const char* reason) {
    return FormatText(Tr("The firmware cannot be downloaded: %s."), {Tr(reason != nullptr ? reason : KTEXT("unknown reason"))});
}

std::string PortFailedText(const char* base, const std::string& port, const std::string& reason) {
    std::string text = base != nullptr ? base : "";
    if (port.empty() && reason.empty()) return text;
    text += "\n\n";
    text += port.empty() ? std::string(Tr("(no port name)")) : port;
    if (!reason.empty()) text += ": " + reason;
    return text;
}
