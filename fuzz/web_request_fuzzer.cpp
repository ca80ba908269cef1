// The web console's request handling with arbitrary requests: the input's
// lines are the method, the path, the query ("key=value&..."), the
// Authorization header and the body (the rest).
//
// Invariants: every request gets an answer with a status from 200 to 599;
// every answer but the page is one JSON document; an error's JSON names the
// same status; a control request without the right token is 401.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "records/json_text.h"
#include "web/web_api.h"

namespace {
constexpr const char* kToken = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";

std::string NextLine(const std::string& text, size_t& at) {
    const size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    at = end == std::string::npos ? text.size() : end + 1;
    return line;
}

WebRequest ParseInput(const std::string& text) {
    WebRequest request;
    size_t at = 0;
    request.method = NextLine(text, at);
    request.path = NextLine(text, at);
    const std::string query = NextLine(text, at);
    for (size_t start = 0; start < query.size();) {
        size_t end = query.find('&', start);
        if (end == std::string::npos) end = query.size();
        const std::string pair = query.substr(start, end - start);
        const size_t equals = pair.find('=');
        request.query.emplace(pair.substr(0, equals), equals == std::string::npos ? "" : pair.substr(equals + 1));
        start = end + 1;
    }
    request.authorization = NextLine(text, at);
    request.body = text.substr(at);
    return request;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CStation station;  // never started: no bays, nothing to control
    WebApiConfig config;
    config.stationName = "fuzz";
    config.token = kToken;
    config.controlWait = std::chrono::milliseconds(0);  // nobody runs the controls
    config.readRecords = [](const RecordQuery&, std::vector<UnitRecord>&, std::string& error) {
        error = "no records here";
        return false;
    };
    CWebApi api(station, config);
    const WebRequest request = ParseInput(std::string(reinterpret_cast<const char*>(data), size));
    const WebResponse response = api.Respond(request);
    FUZZ_CHECK(response.status >= 200 && response.status <= 599);
    if (response.contentType.rfind("text/", 0) == 0) return 0;
    const Json body = Json::parse(response.body, nullptr, false);
    FUZZ_CHECK(!body.is_discarded());
    if (response.status >= 400) FUZZ_CHECK(body["error"]["status"] == response.status);
    if (request.method == "POST" && request.authorization != std::string("Bearer ") + kToken &&
        (request.path == "/api/v1/start" || request.path == "/api/v1/stop"))
        FUZZ_CHECK(response.status == 401);
    return 0;
}
