// Fixed strings, the device control block and port-name mapping: pure parts of
// the channel, tested on every platform.
#include <gtest/gtest.h>

#include <string>

#include "link/fixed_string.h"
#include "link/serial_port.h"

TEST(FixedString, AssignCutsToCapacityLessOne) {
    CFixedString32 s;
    const std::string longName(40, 'x');
    s.Assign(longName.c_str());
    EXPECT_EQ(std::string(s.Text()), std::string(31, 'x'));
    s.Assign(nullptr);
    EXPECT_EQ(std::string(s.Text()).size(), 31u) << "a null text changes nothing";
    s.Assign("COM2");
    EXPECT_STREQ(s.Text(), "COM2");
    for (int i = 4; i < s.Capacity(); ++i) EXPECT_EQ(s.Buffer()[i], '\0') << "zeros follow a shorter text";
}

TEST(FixedString, AppendFillsAndStopsAtCapacity) {
    CFixedString32 s;
    s.Assign("/dev/ttyUSB0");
    s.Append(".cfg");
    EXPECT_STREQ(s.Text(), "/dev/ttyUSB0.cfg");
    s.Assign(std::string(31, 'a').c_str());
    s.Append("more");
    EXPECT_EQ(std::string(s.Text()), std::string(31, 'a')) << "a full buffer stays unchanged";
    EXPECT_EQ(s.Buffer()[31], '\0');
    CFixedString128 half;
    half.Assign(std::string(100, 'b').c_str());
    half.Append(std::string(100, 'c').c_str());
    EXPECT_EQ(std::string(half.Text()), std::string(100, 'b') + std::string(27, 'c'));
}

TEST(FixedString, CopiesAreIndependent) {
    CFixedString128 a;
    a.Assign("first");
    CFixedString128 b = a;
    a.Assign("second");
    EXPECT_STREQ(b.Text(), "first");
    EXPECT_EQ(b.Capacity(), 128);
}

TEST(DeviceControlBlock, FlowControlValues) {
    const DeviceControlBlock none = BuildDeviceControlBlock(19200, 8, 0, 0, 0);
    EXPECT_EQ(none.DCBlength, 28u);
    EXPECT_EQ(none.BaudRate, 19200u);
    EXPECT_EQ(none.fBinary, 1);
    EXPECT_EQ(none.fOutxCtsFlow, 0);
    EXPECT_EQ(none.fRtsControl, 0);
    EXPECT_EQ(none.fDtrControl, 0);
    EXPECT_EQ(none.fOutX + none.fInX, 0);
    EXPECT_EQ(none.XonLim, 128);
    EXPECT_EQ(none.XoffLim, 128);
    EXPECT_EQ(none.XonChar, 17);
    EXPECT_EQ(none.XoffChar, 19);

    const DeviceControlBlock rtsCts = BuildDeviceControlBlock(19200, 8, 0, 0, 1);
    EXPECT_EQ(rtsCts.fOutxCtsFlow, 1);
    EXPECT_EQ(rtsCts.fRtsControl, 2);
    EXPECT_EQ(rtsCts.fOutX + rtsCts.fInX, 0);

    const DeviceControlBlock xonXoff = BuildDeviceControlBlock(19200, 8, 0, 0, 2);
    EXPECT_EQ(xonXoff.fOutX, 1);
    EXPECT_EQ(xonXoff.fInX, 1);
    EXPECT_EQ(xonXoff.fOutxCtsFlow, 0);
    EXPECT_EQ(xonXoff.fRtsControl, 0);

    EXPECT_EQ(BuildDeviceControlBlock(19200, 8, 0, 0, 3), none) << "unknown flow control acts as none";
}

TEST(DeviceControlBlock, ParityAndFraming) {
    const DeviceControlBlock odd = BuildDeviceControlBlock(9600, 7, 2, 1, 0);
    EXPECT_EQ(odd.fParity, 1);
    EXPECT_EQ(odd.Parity, 1);
    EXPECT_EQ(odd.ByteSize, 7);
    EXPECT_EQ(odd.StopBits, 2);
    EXPECT_EQ(BuildDeviceControlBlock(9600, 8, 0, 0, 0).fParity, 0);
}

TEST(PortNames, PosixMapsTheStandardComNames) {
    char out[300];
    EXPECT_STREQ(PosixDevicePath("COM1", out, sizeof out), "/dev/ttyS0");
    EXPECT_STREQ(PosixDevicePath("COM4", out, sizeof out), "/dev/ttyS3");
    EXPECT_STREQ(PosixDevicePath("COM5", out, sizeof out), "COM5");
    EXPECT_STREQ(PosixDevicePath("/dev/ttyUSB0", out, sizeof out), "/dev/ttyUSB0");
    EXPECT_STREQ(PosixDevicePath("COM01", out, sizeof out), "COM01");
    EXPECT_STREQ(PosixDevicePath("", out, sizeof out), "");
}

TEST(PortNames, Win32PrefixesBareComNames) {
    char out[300];
    EXPECT_STREQ(Win32DevicePath("COM1", out, sizeof out), "\\\\.\\COM1");
    EXPECT_STREQ(Win32DevicePath("COM12", out, sizeof out), "\\\\.\\COM12");
    EXPECT_STREQ(Win32DevicePath("\\\\.\\COM3", out, sizeof out), "\\\\.\\COM3");
    EXPECT_STREQ(Win32DevicePath("COMX", out, sizeof out), "COMX");
    EXPECT_STREQ(Win32DevicePath("COM256", out, sizeof out), "COM256");
}
