#include "res/translation.h"

#include <atomic>
#include <cstddef>

namespace {
std::atomic<TextTranslator> g_translator{nullptr};

// The value's index of the placeholder at format[at] ('%'), and its length;
// false when none starts there. next is the index a plain "%s" takes.
bool Placeholder(const std::string& format, size_t at, size_t next, size_t& index, size_t& length) {
    if (format.compare(at, 2, "%s") == 0) {
        index = next;
        length = 2;
        return true;
    }
    size_t end = at + 1;
    size_t number = 0;
    while (end < format.size() && format[end] >= '0' && format[end] <= '9' && number < 100)
        number = number * 10 + static_cast<size_t>(format[end++] - '0');
    if (end == at + 1 || number == 0 || format.compare(end, 2, "$s") != 0) return false;
    index = number - 1;
    length = end + 2 - at;
    return true;
}

// A .mo file's 32-bit word at offset (known to be inside), in its byte order.
uint32_t MoWord(const uint8_t* bytes, size_t offset, bool bigEndian) {
    const uint8_t* p = bytes + offset;
    return bigEndian ? uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]
                     : uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

// The count entries of (length, offset) pairs at table each name a text
// inside the file that ends in a zero byte.
bool MoTableIsSound(const uint8_t* bytes, size_t size, uint64_t table, uint64_t count, bool bigEndian) {
    if (table > size || count > (size - table) / 8) return false;
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t length = MoWord(bytes, static_cast<size_t>(table + 8 * i), bigEndian);
        const uint64_t offset = MoWord(bytes, static_cast<size_t>(table + 8 * i + 4), bigEndian);
        if (offset >= size || length >= size - offset || bytes[offset + length] != 0) return false;
    }
    return true;
}
}  // namespace

bool CatalogueIsSound(const uint8_t* bytes, size_t size) {
    constexpr size_t kHeaderSize = 28;  // magic, revision, count, two tables, hash size and offset
    if (bytes == nullptr || size < kHeaderSize) return false;
    const uint32_t magic = MoWord(bytes, 0, false);
    if (magic != 0x950412DEu && magic != 0xDE120495u) return false;
    const bool bigEndian = magic == 0xDE120495u;
    if (MoWord(bytes, 4, bigEndian) >> 16 != 0) return false;  // a major revision this reader does not know
    const uint32_t count = MoWord(bytes, 8, bigEndian);
    return MoTableIsSound(bytes, size, MoWord(bytes, 12, bigEndian), count, bigEndian) &&
           MoTableIsSound(bytes, size, MoWord(bytes, 16, bigEndian), count, bigEndian);
}

void SetTextTranslator(TextTranslator translator) { g_translator.store(translator); }

const char* Tr(const char* english) {
    const TextTranslator translator = g_translator.load();
    if (translator == nullptr || english == nullptr || *english == '\0') return english;
    const char* translated = translator(english);
    return translated != nullptr ? translated : english;
}

std::string FormatText(const char* text, std::initializer_list<std::string> values) {
    return FormatText(text, std::vector<std::string>(values));
}

std::string FormatText(const char* text, const std::vector<std::string>& args) {
    const std::string format = text != nullptr ? text : "";
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < format.size();) {
        if (format[i] != '%') {
            out += format[i++];
            continue;
        }
        if (format.compare(i, 2, "%%") == 0) {
            out += '%';
            i += 2;
            continue;
        }
        size_t index = 0, length = 0;
        if (Placeholder(format, i, next, index, length) && index < args.size()) {
            out += args[index];
            if (length == 2) ++next;
            i += length;
        } else {
            out += format[i++];
        }
    }
    return out;
}

std::string ChosenLanguage(const char* option, const char* environment) {
    if (option != nullptr && *option != '\0') return option;
    if (environment != nullptr && *environment != '\0') return environment;
    return std::string();
}

std::vector<std::string> CatalogueFolders(const char* environment, const std::string& executableFolder,
                                          const char* installedFolder) {
    std::vector<std::string> folders;
    auto add = [&folders](const std::string& folder) {
        if (folder.empty()) return;
        for (const std::string& known : folders)
            if (known == folder) return;
        folders.push_back(folder);
    };
    if (environment != nullptr) add(environment);
    if (!executableFolder.empty()) {
        add(executableFolder + "/../share/locale");
        add(executableFolder + "/share/locale");
        add(executableFolder + "/locale");
    }
    if (installedFolder != nullptr) add(installedFolder);
    return folders;
}
