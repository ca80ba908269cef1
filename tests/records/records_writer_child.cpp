// Writes records through a CRecordWriter into the SQLite file named on the
// command line until it is killed, printing "stored ID" for each record
// once it is committed.
#include <cstdio>
#include <string>

#include "records/record_writer.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 1;
    }
    std::string error;
    std::unique_ptr<IRecordStore> store = OpenRecordStore(argv[1], error);
    if (!store) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    CRecordWriter writer(std::move(store), [](const RecordWriterEvent& event) {
        if (event.kind != RecordWriterEvent::Kind::Stored) return;
        std::printf("stored %s\n", event.recordId.c_str());
        std::fflush(stdout);
    });
    for (int64_t n = 0;; ++n) {
        UnitRecord record;
        record.id = NewRecordId();
        record.startedUtcMs = 1796000000000 + n;
        record.endedUtcMs = record.startedUtcMs + 1;
        record.station = "victim";
        record.port = "/dev/ttyUSB" + std::to_string(n % 8);
        record.result = UnitResult::Passed;
        record.message = "Firmware was downloaded successfuly";
        writer.Submit(record);
        if (n % 8 == 7) writer.Flush();
    }
}
