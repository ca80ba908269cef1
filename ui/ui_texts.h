#pragma once
// The desktop application's texts beyond the string table: the link pane,
// the progress text, the port box's labels, and the Download command's word
// when no device has answered. One place, so that they are translated together.
// Pure functions; any thread.
#include <cstddef>
#include <cstdint>
#include <string>

struct SerialPortEntry;

namespace uitext {

std::string NotConnected();
std::string Opening(const std::string& port);
std::string Waking(const std::string& port);
std::string Waiting(const std::string& port);
// Not a byte came back: the power, the cable, the port.
std::string Silent(const std::string& port, int seconds);
// Bytes came, but no answer the device would give.
std::string NoValidAnswer(const std::string& port, int seconds);
std::string Connected(const std::string& deviceName, uint32_t productNumber);
// percent 0..100; secondsLeft < 0 while unknown.
std::string Downloading(int percent, double secondsLeft);
std::string DownloadConfirmed();
std::string DownloadNotConfirmed();
std::string ResetIssued();
std::string PortFailed(const std::string& port, const std::string& reason);
// The system's reason for a busy port, and the station bay (its title) that holds it.
std::string HeldByStationBay(const std::string& reason, const std::string& bay);
// The same for another process (bay from 1 where its --bay names the port, else 0).
std::string HeldByProcess(const std::string& reason, const std::string& program, int process, size_t bay);
std::string Disconnected();
// A running link's text when the connection addresses the unit's second CPU.
std::string OnSecondCpu(const std::string& text);

// Beside the progress bar: "42 %  0:07 left".
std::string Progress(int percent, double secondsLeft);
// "0:07", "12:30", "1:02:03".
std::string TimeLeft(double seconds);

// The Download command before any device has answered.
std::string NoDeviceYet(const std::string& port);

// The port box's entries: "NAME  vvvv:pppp  description", and a remembered
// port that is not there now.
std::string PortLabel(const SerialPortEntry& entry);
std::string AbsentPortLabel(const std::string& name);

}  // namespace uitext
