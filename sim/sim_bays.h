#pragma once
// Many simulated devices at once, one per bay of a station: each on its own
// pseudo-terminal linked as DIR/bay0 ... DIR/bayN-1, each unit with its own
// chip ID and product number drawn from a seed. A bay can be unplugged and
// plugged again: its link disappears and, after a short gap, returns leading
// to a new pseudo-terminal with a new unit behind it.
//
// Threads: one owner thread calls everything (kavro-sim's main loop, a test);
// each device serves on its own thread. The logger is called on the owner's
// thread and on the devices' threads.
#include <chrono>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "sim/device_simulator.h"
#include "sim/sim_random.h"

struct SimBaysOptions {
    int bays = 1;
    std::string linkDir;
    SimIdentity identity;            // name and versions of every unit; chip and product are drawn
    int cpus = 1;                    // 2: every unit answers its second CPU too, under a chip ID of its own
    SimFaults faults;                // applied to faultBays (all bays when empty), reseeded per unit
    std::vector<int> faultBays;
    std::vector<int> silentBays;     // these bays' units answer nothing
    std::string saveDir;             // each unit's image as DIR/unit-CHIP.bin at its end command
    uint64_t seed = 1;               // chip IDs, product numbers, the faults' seeds
    std::chrono::milliseconds unplugGap{300};  // how long an unplugged bay stays without a link
};

class SimBays {
public:
    using Clock = std::chrono::steady_clock;

    explicit SimBays(SimBaysOptions options);
    ~SimBays();  // stops every device and removes the links that are still ours
    SimBays(const SimBays&) = delete;
    SimBays& operator=(const SimBays&) = delete;

    void SetLogger(DeviceSimulator::Logger logger) { m_logger = std::move(logger); }
    // Plugs a unit into every bay. False with error when a pseudo-terminal or
    // a link cannot be made.
    [[nodiscard]] bool Start(std::string& error);
    // Unplugs the bay's unit now (its link removed, its line hung up); a new
    // unit is plugged in once the gap has passed, by Tick. False with error
    // when the next unit's pseudo-terminal cannot be made.
    [[nodiscard]] bool Unplug(int bay, std::string& error);
    // Plugs in the units whose gap has passed; false with error when one
    // cannot be made.
    [[nodiscard]] bool Tick(std::string& error);

    int Count() const { return static_cast<int>(m_bays.size()); }
    std::string LinkPath(int bay) const;
    // The unit behind the bay now (or last, while unplugged); cpu 1 its second CPU.
    SimIdentity Unit(int bay, int cpu = 0) const;
    bool Plugged(int bay) const;
    DeviceSimulator* Device(int bay);  // null while unplugged
    // Every unit plugged in so far, in order.
    const std::vector<SimIdentity>& Units() const { return m_units; }

private:
    struct Bay {
        std::unique_ptr<DeviceSimulator> device;
        std::unique_ptr<DeviceSimulator> next;  // made at unplugging, plugged in by Tick
        SimIdentity identity;
        SimIdentity second;
        uint32_t unitNumber = 0;
        bool plugged = false;
        Clock::time_point plugAt{};
    };
    [[nodiscard]] bool Plug(int bay, std::string& error);
    SimIdentity NextIdentity();
    bool Faulty(int bay) const;
    bool Silent(int bay) const;

    SimBaysOptions m_options;
    DeviceSimulator::Logger m_logger;
    SimRandom m_random;
    std::set<uint32_t> m_chips;
    std::vector<Bay> m_bays;
    std::vector<SimIdentity> m_units;
};

// Makes path a symbolic link to target; an old link there is replaced,
// anything else is kept (false with error).
[[nodiscard]] bool MakeSimLink(const std::string& path, const std::string& target, std::string& error);
// Removes path when it is a link that still leads to target.
void RemoveSimLinkIfOurs(const std::string& path, const std::string& target);
// "1A2B3C4D"
std::string ChipText(const uint8_t chip[4]);
