// The records tests' victim, writing through a CRecordWriter:
//   FILE                 writes records into FILE until it is killed, printing
//                        "stored ID" for each record once it is committed;
//   FILE SERVER          the same through FILE to a line's server; SIGTERM ends
//                        it through Close, printing "closed" and the leftovers;
//   FILE --open AT       opens FILE (creating it) at AT (ms since 1970, so that
//                        several start at once) and exits: 0, or 2 with why;
//   FILE --full BYTES N  writes N records with files limited to BYTES (a full
//                        disk), then closes: exit 6 when records were left.
#include <signal.h>
#include <sys/resource.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "records/record_writer.h"

namespace {

std::atomic<bool> g_stop{false};

UnitRecord Record(int64_t n) {
    UnitRecord record;
    record.id = NewRecordId();
    record.startedUtcMs = 1796000000000 + n;
    record.endedUtcMs = record.startedUtcMs + 1;
    record.station = "victim";
    record.port = "/dev/ttyUSB" + std::to_string(n % 8);
    record.result = UnitResult::Passed;
    record.message = "Firmware was downloaded successfuly";
    return record;
}

void Print(const RecordWriterEvent& event) {
    if (event.kind == RecordWriterEvent::Kind::Stored) std::printf("stored %s\n", event.recordId.c_str());
    if (event.kind == RecordWriterEvent::Kind::StoreFailed) std::printf("held %s\n", event.message.c_str());
    std::fflush(stdout);
}

int Close(CRecordWriter& writer) {
    const RecordWriterResult result = writer.Close();
    std::printf("closed uncommitted=%zu pending=%d saved=%s\n", result.uncommitted, int{result.forwardPending},
                result.savedTo.c_str());
    return result.uncommitted > 0 ? 6 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [SERVER | --open | --full BYTES N]\n", argv[0]);
        return 1;
    }
    const std::string mode = argc > 2 ? argv[2] : "";
    if (mode == "--full") {
        ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails as on a full disk
        const rlimit limit{std::stoul(argv[3]), std::stoul(argv[3])};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (mode == "--open") {
        const std::chrono::milliseconds at(std::stoll(argv[3]));
        std::this_thread::sleep_until(std::chrono::system_clock::time_point(at));
    }
    std::string error;
    const bool server = !mode.empty() && mode.rfind("--", 0) != 0;
    std::unique_ptr<IRecordStore> store =
        server ? OpenRecordStore(mode, argv[1], error) : OpenRecordStore(argv[1], error);
    if (!store) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    if (mode == "--open") return 0;
    RecordWriterOptions options;
    options.retryInterval = std::chrono::milliseconds(200);
    options.stopCommitWait = std::chrono::milliseconds(1000);
    CRecordWriter writer(std::move(store), Print, options);
    if (mode == "--full") {
        for (int n = 0; n < std::stoi(argv[4]); ++n) writer.Submit(Record(n));
        return Close(writer);
    }
    ::signal(SIGTERM, [](int) { g_stop = true; });
    for (int64_t n = 0; !g_stop; ++n) {
        writer.Submit(Record(n));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));  // a busy line's pace
    }
    return Close(writer);
}
