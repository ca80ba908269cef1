#include "ui/station_reasons.h"

#include <vector>

#include "res/translation.h"

namespace {
// The string table's texts that open a reason and only name its result.
constexpr const char* kResultSentences[] = {
    KTEXT("Equipment do not respond properly"),
    KTEXT("COM port can not be open"),
    KTEXT("HW version of a connected unit is incorrect for this FW."),
};

// The station's sentences, "%s" where a value (a port, a number, the
// system's words) stands. The string table's texts end without a full stop.
constexpr const char* kSentences[] = {
    KTEXT("Equipment do not respond properly"),
    KTEXT("COM port can not be open"),
    KTEXT("HW version of a connected unit is incorrect for this FW."),
    KTEXT("Firmware was downloaded successfuly"),
    KTEXT("Device was reset."),
    KTEXT("The unit on %s answered its identity but not the hardware information request."),
    KTEXT("The unit on %s answered the hardware information request but not its identity."),
    KTEXT("Not a single byte came back on %s."),
    KTEXT("Nothing answered on %s within %s."),
    KTEXT("Nothing answered on %s."),
    KTEXT("The download stopped after %s of %s bytes."),
    KTEXT("The unit took every block but did not confirm the end of the download."),
    KTEXT("The unit took the image but did not acknowledge the reset."),
    KTEXT("The port %s went away during the download after %s of %s bytes."),
    KTEXT("The port %s went away before the reset was confirmed."),
    KTEXT("The port %s went away."),
    KTEXT("Stopped during the download after %s of %s bytes."),
    KTEXT("Stopped after the download, before the reset was confirmed."),
    KTEXT("Stopped by a stop request."),
    KTEXT("The unit's HW current version %s lies outside the image's range %s to %s."),
    KTEXT("The second CPU was addressed; a unit with one CPU does not answer it."),
    KTEXT("Port %s cannot be opened: %s."),
    KTEXT("Port %s cannot be opened."),
    KTEXT("Hint: another program holds the port; close it and try again."),
    KTEXT("Hint: your user may not use serial ports; add it to the dialout group "
          "(sudo usermod -aG dialout $USER) and log in again."),
    KTEXT("Hint: 'kavro-cli ports' lists the serial ports of this machine."),
};

bool SentenceEnd(const std::string& text, size_t at) {
    return at == text.size() || text[at] == ' ' || text[at] == '.';
}

// Matches pattern[from..] against text[at..]; each "%s" takes the shortest
// non-empty text after which the rest matches up to a sentence's end. The
// end of the match, or npos.
size_t Match(const std::string& text, size_t at, const std::string& pattern, size_t from,
             std::vector<std::string>& values) {
    const size_t hole = pattern.find("%s", from);
    const std::string literal = pattern.substr(from, hole == std::string::npos ? std::string::npos : hole - from);
    if (text.compare(at, literal.size(), literal) != 0) return std::string::npos;
    at += literal.size();
    if (hole == std::string::npos) return SentenceEnd(text, at) ? at : std::string::npos;
    for (size_t end = at + 1; end <= text.size(); ++end) {
        values.push_back(text.substr(at, end - at));
        const size_t matched = Match(text, end, pattern, hole + 2, values);
        if (matched != std::string::npos) return matched;
        values.pop_back();
    }
    return std::string::npos;
}
}  // namespace

std::string ShownReason(const std::string& english) {
    std::string shown;
    size_t at = 0;
    while (at < english.size()) {
        bool found = false;
        for (const char* sentence : kSentences) {
            std::vector<std::string> values;
            const size_t end = Match(english, at, sentence, 0, values);
            if (end == std::string::npos) continue;
            shown += FormatText(Tr(sentence), values);
            at = end;
            found = true;
            break;
        }
        if (found) continue;
        // Not a sentence of the station's: kept as written, word by word.
        const size_t space = english.find(' ', at);
        const size_t next = space == std::string::npos ? english.size() : space + 1;
        shown += english.substr(at, next - at);
        at = next;
    }
    return shown;
}

std::string ShownDetail(const std::string& english) {
    for (const std::string lead : kResultSentences) {
        if (english.compare(0, lead.size(), lead) != 0) continue;
        size_t at = lead.size();
        if (at < english.size() && english[at] == '.') ++at;
        if (at >= english.size() || english[at] != ' ') break;
        while (at < english.size() && english[at] == ' ') ++at;
        if (at < english.size()) return ShownReason(english.substr(at));
    }
    return ShownReason(english);
}
