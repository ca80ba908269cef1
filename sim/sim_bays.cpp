#include "sim/sim_bays.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

bool MakeSimLink(const std::string& path, const std::string& target, std::string& error) {
    struct stat st{};
    if (lstat(path.c_str(), &st) == 0) {
        // A link left behind by an earlier run is replaced; anything else is kept.
        if (!S_ISLNK(st.st_mode)) {
            error = path + " exists and is not a symbolic link";
            return false;
        }
        if (unlink(path.c_str()) != 0) {
            error = "cannot replace " + path + ": " + std::strerror(errno);
            return false;
        }
    }
    if (symlink(target.c_str(), path.c_str()) != 0) {
        error = "cannot create the link " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void RemoveSimLinkIfOurs(const std::string& path, const std::string& target) {
    if (path.empty()) return;
    char buffer[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), buffer, sizeof buffer - 1);
    if (n >= 0 && std::string(buffer, static_cast<size_t>(n)) == target) unlink(path.c_str());
}

std::string ChipText(const uint8_t chip[4]) {
    char text[9];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X", chip[0], chip[1], chip[2], chip[3]);
    return text;
}

SimBays::SimBays(SimBaysOptions options) : m_options(std::move(options)), m_random(m_options.seed) {
    m_bays.resize(static_cast<size_t>(std::max(m_options.bays, 0)));
}

SimBays::~SimBays() {
    for (int i = 0; i < Count(); ++i) {
        Bay& bay = m_bays[static_cast<size_t>(i)];
        if (!bay.device) continue;
        const std::string target = bay.device->PortPath();
        bay.device->Stop();
        if (bay.plugged) RemoveSimLinkIfOurs(LinkPath(i), target);
    }
}

std::string SimBays::LinkPath(int bay) const { return m_options.linkDir + "/bay" + std::to_string(bay); }

SimIdentity SimBays::Unit(int bay, int cpu) const {
    const Bay& b = m_bays.at(static_cast<size_t>(bay));
    return cpu > 0 ? b.second : b.identity;
}

bool SimBays::Plugged(int bay) const { return m_bays.at(static_cast<size_t>(bay)).plugged; }

DeviceSimulator* SimBays::Device(int bay) {
    Bay& b = m_bays.at(static_cast<size_t>(bay));
    return b.plugged ? b.device.get() : nullptr;
}

bool SimBays::Faulty(int bay) const {
    return m_options.faultBays.empty() ||
           std::find(m_options.faultBays.begin(), m_options.faultBays.end(), bay) != m_options.faultBays.end();
}

bool SimBays::Silent(int bay) const {
    return std::find(m_options.silentBays.begin(), m_options.silentBays.end(), bay) != m_options.silentBays.end();
}

// A chip ID no unit of this run has had, and a six-digit product number.
SimIdentity SimBays::NextIdentity() {
    SimIdentity identity = m_options.identity;
    uint32_t chip = 0;
    do {
        chip = static_cast<uint32_t>(m_random.Next());
    } while (chip == 0 || !m_chips.insert(chip).second);
    for (int i = 0; i < 4; ++i) identity.chip[i] = static_cast<uint8_t>(chip >> (24 - 8 * i));
    identity.productNumber = 100000 + m_random.Below(900000);
    return identity;
}

bool SimBays::Start(std::string& error) {
    if (m_bays.empty()) {
        error = "no bays";
        return false;
    }
    for (int i = 0; i < Count(); ++i) {
        if (!Plug(i, error)) return false;
    }
    return true;
}

bool SimBays::Plug(int index, std::string& error) {
    Bay& bay = m_bays[static_cast<size_t>(index)];
    std::unique_ptr<DeviceSimulator> device = std::move(bay.next);
    if (!device) {
        device = std::make_unique<DeviceSimulator>();
        if (!device->CreatePty(error)) return false;
    }
    bay.identity = NextIdentity();
    // The second CPU: the same unit and versions under its own chip ID.
    bay.second = NextIdentity();
    bay.second.productNumber = bay.identity.productNumber;
    bay.second.name = bay.identity.name + " CPU 2";
    ++bay.unitNumber;
    SimFaults faults;
    if (Faulty(index)) faults = m_options.faults;
    faults.seed = static_cast<uint32_t>(m_options.seed * 7919 + static_cast<uint64_t>(index) * 1000 + bay.unitNumber);
    faults.silent = faults.silent || Silent(index);
    device->SetCpuCount(m_options.cpus);
    device->SetIdentity(bay.identity, 0);
    device->SetIdentity(bay.second, 1);
    device->SetFaults(faults);
    if (!m_options.saveDir.empty()) {
        device->SetSaveImagePath(m_options.saveDir + "/unit-" + ChipText(bay.identity.chip) + ".bin", 0);
        device->SetSaveImagePath(m_options.saveDir + "/unit-" + ChipText(bay.second.chip) + ".bin", 1);
    }
    if (m_logger) {
        const std::string prefix = "bay" + std::to_string(index) + ": ";
        DeviceSimulator::Logger logger = m_logger;
        device->SetLogger([prefix, logger](bool failed, const std::string& text) { logger(failed, prefix + text); });
    }
    if (!MakeSimLink(LinkPath(index), device->PortPath(), error)) return false;
    if (!device->Start()) {
        error = "cannot start the device of bay " + std::to_string(index);
        return false;
    }
    bay.device = std::move(device);
    bay.plugged = true;
    m_units.push_back(bay.identity);
    if (m_logger)
        m_logger(false, "Bay " + std::to_string(index) + " on " + LinkPath(index) + ": chip " +
                            ChipText(bay.identity.chip) + ", product " + std::to_string(bay.identity.productNumber) +
                            (m_options.cpus > 1 ? ", second CPU chip " + ChipText(bay.second.chip) : ""));
    return true;
}

bool SimBays::Unplug(int index, std::string& error) {
    Bay& bay = m_bays.at(static_cast<size_t>(index));
    if (!bay.plugged) return true;
    // The next unit's pseudo-terminal is made while the old one is still
    // open, so it never gets the old one's number: a client that looks at
    // where the link leads sees another device.
    bay.next = std::make_unique<DeviceSimulator>();
    if (!bay.next->CreatePty(error)) return false;
    // The link goes first, so a client never reaches the old line by name again.
    RemoveSimLinkIfOurs(LinkPath(index), bay.device->PortPath());
    bay.device->HangUp();
    bay.plugged = false;
    bay.plugAt = Clock::now() + m_options.unplugGap;
    if (m_logger) m_logger(false, "Bay " + std::to_string(index) + " unplugged");
    return true;
}

bool SimBays::Tick(std::string& error) {
    const Clock::time_point now = Clock::now();
    for (int i = 0; i < Count(); ++i) {
        Bay& bay = m_bays[static_cast<size_t>(i)];
        if (bay.plugged || now < bay.plugAt) continue;
        if (!Plug(i, error)) return false;
    }
    return true;
}
