// Which of the station window's bays holds a port, for the main window's
// message when that port is busy.
#include "link/port_path.h"
#include "ui/station_frame.h"
#include "ui/station_tile.h"
#include "ui/station_window.h"

namespace {
std::string DeviceOf(const std::string& name) {
    std::string device;
    uint32_t error = 0;
    return ResolvePortPath(name, device, error) ? device : name;
}
}  // namespace

std::string StationBayOfPort(const std::string& port) {
    const CStationFrame* frame = CStationFrame::Get();
    if (frame == nullptr || port.empty()) return {};
    const std::string device = DeviceOf(port);
    for (size_t tile = 0; tile < frame->TileCount(); ++tile) {
        const TileContent& content = frame->Tile(tile)->Content();
        if (content.port == port || DeviceOf(content.port) == device) return content.title;
    }
    return {};
}
