#include "records/pgpass.h"

#include <libpq-fe.h>

#include <fstream>
#include <memory>
#include <sstream>

#include "res/translation.h"

namespace {
struct ConninfoDeleter {
    void operator()(PQconninfoOption* options) const { PQconninfoFree(options); }
};

std::string Value(const PQconninfoOption* options, const char* keyword, const char* otherwise) {
    for (const PQconninfoOption* o = options; o->keyword != nullptr; ++o)
        if (std::string(o->keyword) == keyword && o->val != nullptr && o->val[0] != '\0') return o->val;
    return otherwise;
}

std::string Escaped(const std::string& field) {
    std::string out;
    for (const char c : field) {
        if (c == ':' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

// The host:port:database:user part of a line, as written (escapes kept).
std::string LineKey(const std::string& line) {
    size_t fields = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\') {
            ++i;
            continue;
        }
        if (line[i] == ':' && ++fields == 4) return line.substr(0, i);
    }
    return {};
}
}  // namespace

bool ParseConnectionPlace(const std::string& locator, PgpassEntry& entry) {
    char* message = nullptr;
    std::unique_ptr<PQconninfoOption, ConninfoDeleter> options(PQconninfoParse(locator.c_str(), &message));
    PQfreemem(message);  // may quote the string, password and all: never shown
    if (!options) return false;
    entry.host = Value(options.get(), "host", "localhost");
    // A socket folder stands for the local host in libpq's matching.
    if (entry.host.front() == '/') entry.host = "localhost";
    entry.port = Value(options.get(), "port", "*");
    entry.database = Value(options.get(), "dbname", "*");
    entry.user = Value(options.get(), "user", "*");
    entry.password = Value(options.get(), "password", "");
    return true;
}

std::string PgpassLine(const PgpassEntry& entry) {
    const auto field = [](const std::string& value) { return value == "*" ? value : Escaped(value); };
    return field(entry.host) + ':' + field(entry.port) + ':' + field(entry.database) + ':' + field(entry.user) + ':' +
           Escaped(entry.password);
}

std::string UpdatePgpassText(const std::string& text, const PgpassEntry& entry) {
    const std::string line = PgpassLine(entry);
    const std::string key = LineKey(line);
    std::istringstream in(text);
    std::string out, current;
    bool placed = false;
    while (std::getline(in, current)) {
        if (!current.empty() && current.back() == '\r') current.pop_back();
        if (LineKey(current) == key) {
            if (placed) continue;  // a repeated line of ours goes
            current = line;
            placed = true;
        }
        out += current + '\n';
    }
    if (!placed) out += line + '\n';
    return out;
}

bool StorePgpassEntry(const PgpassEntry& entry, std::string& problem) {
    const std::string path = PgpassPath();
    if (path.empty()) {
        problem = Tr("this system names no folder for the password file");
        return false;
    }
    std::string text;
    if (std::ifstream file{path, std::ios::binary}) {
        std::ostringstream read;
        read << file.rdbuf();
        text = read.str();
    }
    return ReplaceOwnerOnlyFile(path, UpdatePgpassText(text, entry), problem);
}
