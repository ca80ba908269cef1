#pragma once
// The link engine: one object that holds the serial port, the worker thread
// that talks to the device, the latest device data, the loaded image and the
// remembered port name.
//
// Threads:
//  - the window thread (the GUI's event loop, the command line's main thread)
//    calls Start, Stop, RequestDownload, RequestReset, SetPortName,
//    LoadSettings, SaveSettings, the image loaders and SnapshotDevice;
//  - the worker thread runs Run() and the device commands, and reports only by
//    posting to m_notifyWindow and m_progressWindow; it never waits for the
//    window thread, which waits for it only inside Stop().
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "link/device_info.h"
#include "link/message_target.h"
#include "link/serial_port.h"

class IImageReader;

inline constexpr uint8_t REQUEST_TAG = 0x80;
inline constexpr uint8_t REPLY_TAG = 0xC0;

inline constexpr uint8_t CMD_WRITE_BLOCK = 0x01;
inline constexpr uint8_t CMD_READ_IDENT = 0x03;
inline constexpr uint8_t CMD_READ_HWINFO = 0x04;
inline constexpr uint8_t CMD_BEGIN_DOWNLOAD = 0x05;
inline constexpr uint8_t CMD_END_DOWNLOAD = 0x06;
inline constexpr uint8_t CMD_RUN = 0x07;
inline constexpr uint8_t CMD_RUN_SECOND = 0x11;
inline constexpr uint8_t CMD_BAUD_SYNC = 0x86;
// With the second CPU selected, block, identity, hardware-information, begin
// and end use their code plus this offset.
inline constexpr uint8_t SECOND_CPU_OFFSET = 10;
inline constexpr uint8_t CMD_WRITE_BLOCK_SECOND = CMD_WRITE_BLOCK + SECOND_CPU_OFFSET;
inline constexpr uint8_t CMD_READ_IDENT_SECOND = CMD_READ_IDENT + SECOND_CPU_OFFSET;
inline constexpr uint8_t CMD_READ_HWINFO_SECOND = CMD_READ_HWINFO + SECOND_CPU_OFFSET;
inline constexpr uint8_t CMD_BEGIN_DOWNLOAD_SECOND = CMD_BEGIN_DOWNLOAD + SECOND_CPU_OFFSET;
inline constexpr uint8_t CMD_END_DOWNLOAD_SECOND = CMD_END_DOWNLOAD + SECOND_CPU_OFFSET;

inline constexpr int POLL_ATTEMPTS = 5;      // identity and hardware information
inline constexpr int COMMAND_ATTEMPTS = 3;   // begin, end, run, and each block
inline constexpr int REPLIES_PER_ATTEMPT = 3;
inline constexpr uint32_t BLOCK_SIZE = 128;
// Block offsets travel as 16 bits: longer images cannot be addressed.
inline constexpr uint32_t MAX_BLOCK_OFFSET_SPAN = 65535;
inline constexpr uint32_t MIN_BLOCK_ACK_LENGTH = 4;
inline constexpr uint32_t LINK_BAUD_RATE = 19200;
inline constexpr uint32_t PROBE_RATES[7] = {1200, 2400, 4800, 9600, 19200, 38400, 57600};

// Time-outs of the link, in milliseconds.
inline constexpr uint32_t LINK_READ_TIMEOUT = 6000;
inline constexpr uint32_t LINK_WRITE_TIMEOUT = 6000;
inline constexpr uint32_t HWINFO_READ_TIMEOUT = 2000;
inline constexpr uint32_t POLL_PAUSE = 2000;
inline constexpr uint32_t WAKE_PAUSE = 500;
inline constexpr uint32_t PROBE_PAUSE = 100;

// Which poll groups answered in the last completed cycle (m_cycleAnswers).
inline constexpr uint8_t ANSWERED_HWINFO = 1;
inline constexpr uint8_t ANSWERED_IDENTITY = 2;

// Reply parsing, pure: the fields of a reply message (m_reply, with the message
// length before the checksum) that it holds completely are copied into device;
// the rest keep their values. False when the reply holds none of them.
bool ParseIdentityReply(const uint8_t* reply, uint32_t length, DeviceInfo& device);
bool ParseHardwareInfoReply(const uint8_t* reply, uint32_t length, DeviceInfo& device);

// What the link is doing, for displays that read it now and then; the
// notifications above say the same things to their own receivers.
enum class LinkPhase : uint8_t { Idle, Waking, Polling, Downloading, Resetting, Ended };
// How the last download attempt of this link ended.
enum class DownloadOutcome : uint8_t { None, Confirmed, Failed };

class CDeviceLink {
public:
    CDeviceLink();
    ~CDeviceLink();
    CDeviceLink(const CDeviceLink&) = delete;
    CDeviceLink& operator=(const CDeviceLink&) = delete;

    // --- window thread ---
    void Start();
    void Stop();
    void RequestDownload();
    void RequestReset();
    void SetPortName(const char* name);
    void LoadSettings();
    void SaveSettings();

    bool LoadBuiltInImage();
    bool LoadImageFromArchive(IImageReader& reader);
    bool ReadBuiltInImage();
    bool ReadImageFromArchive(IImageReader& reader);
    bool VerifyChecksum() const;
    void DiscardImageData();
    // True when a verified (or at least loaded) data block is present.
    bool HasImageData() const { return m_data != nullptr; }

    // Since Start(), a poll attempt has run out (its read timed out) without a
    // single byte from the line: nothing is there, or nothing is powered.
    // Any thread.
    bool LineIsSilent() const {
        return m_port.m_readTimeouts.load() > 0 && m_port.m_bytesReceived.load() == 0 && m_answers.load() == 0;
    }

    // A consistent copy of m_device, never half-written by the worker.
    DeviceInfo SnapshotDevice() const;

    // Tests and tools: use this program path for the settings file instead of
    // the program's own (empty string: back to the program's own).
    void SetProgramPath(const std::string& path) { m_programPath = path; }
    // The settings file's path, or "" when none can be formed.
    std::string SettingsPath() const;

    // --- worker thread ---
    void Run();
    void ClearDeviceInfo();
    void PublishDeviceInfo();
    void PostNotify(int code);
    void PostProgressRange(uint32_t length);
    void PostProgressPos(uint32_t position);

    void WakeDevice();
    // False when the group did not answer in any attempt (or the link stopped).
    bool ReadHardwareInfo();
    bool ReadIdentity();
    // False (after posting LN_NO_RESPONSE) when there is no image or it is too
    // long to address in blocks: such an image is never begun.
    [[nodiscard]] bool ImageSendable();
    bool BeginDownload();
    bool WriteBlocks();
    bool EndDownload();
    bool RunSecondCpu();
    bool RunDevice();

    static void FromBigEndian32(uint32_t* value);

    // --- members ---
    std::atomic<uint8_t> m_secondCpu{0};
    void* m_module = nullptr;  // empty: the program's own executable
    CFixedString256 m_imagePath;
    CFixedString32 m_portName;
    std::atomic<IMessageTarget*> m_notifyWindow{nullptr};
    std::atomic<IMessageTarget*> m_progressWindow{nullptr};
    DeviceInfo m_device;  // written by the worker under m_deviceLock
    FirmwareInfo m_firmware;
    uint8_t m_settingsDirty = 0;
    std::atomic<uint8_t> m_running{0};
    std::atomic<uint8_t> m_downloadRequested{0};
    std::atomic<uint8_t> m_resetRequested{0};
    std::atomic<uint8_t> m_resetIssued{0};
    // ANSWERED_ bits of the last completed poll cycle; any thread may read it
    // once that cycle's LN_INFO_CHANGED has arrived.
    std::atomic<uint8_t> m_cycleAnswers{0};
    uint16_t m_checksum = 0;
    std::unique_ptr<uint8_t[]> m_data;
    uint32_t m_length = 0;
    CKernelHandle m_wakeEvent;
    CWorkerThread m_thread;
    CSerialPort m_port;
    DeviceInfo m_published;
    // Written by Start() and the worker, read by any thread.
    std::atomic<LinkPhase> m_phase{LinkPhase::Idle};
    std::atomic<uint32_t> m_answers{0};  // poll exchanges the device answered since Start()
    std::atomic<DownloadOutcome> m_lastDownload{DownloadOutcome::None};

private:
    enum class ExchangeResult { Answered, Failed, Stopped };
    static void ThreadProc(void* link);
    // Start's steps after the stop: false with the cause in m_port.m_file.m_lastError.
    [[nodiscard]] bool StartWorker();
    // One attempt: sends the request in m_port and reads up to three replies;
    // judge(reply, length) takes a reply as the answer, skips it, or ends the
    // attempt. True when an answer came.
    enum class ReplyVerdict { Answer, Skip, EndAttempt };
    template <class Judge>
    bool SendAndAwaitAnswer(Judge judge);
    uint8_t CommandCode(uint8_t code) const;
    // One command with its attempts and the up-to-three-replies rule.
    ExchangeResult Exchange(uint8_t code, int attempts);
    // A download or reset command: posts LN_NO_RESPONSE when it gives up.
    bool Command(uint8_t code);
    void SettingsFile(bool save);

    mutable std::mutex m_deviceLock;
    std::string m_programPath;
};
