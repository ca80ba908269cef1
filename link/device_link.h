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
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "link/device_info.h"
#include "link/message_target.h"
#include "link/protocol.h"
#include "link/serial_port.h"

class IImageReader;

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

    [[nodiscard]] bool LoadBuiltInImage();
    [[nodiscard]] bool LoadImageFromArchive(IImageReader& reader);
    [[nodiscard]] bool ReadBuiltInImage();
    [[nodiscard]] bool ReadImageFromArchive(IImageReader& reader);
    [[nodiscard]] bool VerifyChecksum() const;
    void DiscardImageData();
    // True when a verified (or at least loaded) data block is present.
    [[nodiscard]] bool HasImageData() const { return m_data != nullptr; }

    // Since Start(), a poll attempt has run out (its read timed out) without a
    // single byte from the line: nothing is there, or nothing is powered.
    // Any thread.
    [[nodiscard]] bool LineIsSilent() const {
        return m_port.m_readTimeouts.load() > 0 && m_port.m_bytesReceived.load() == 0 && m_answers.load() == 0;
    }

    // A consistent copy of m_device, never half-written by the worker.
    DeviceInfo SnapshotDevice() const;

    // Tests and tools: use this program path for the settings file instead of
    // the program's own (empty string: back to the program's own).
    void SetProgramPath(const std::string& path) { m_programPath = path; }
    // The settings file's path, or "" when none can be formed.
    std::string SettingsPath() const;

    // --- the device session (link/device_session.h) ---
    // The session runs the worker's steps on its caller's thread, with no
    // worker: OpenForCaller opens the port as Start does and marks the link
    // running; RequestStop (any thread) ends every wait of those steps as
    // Stop does, without joining or closing; Stop closes afterwards.
    [[nodiscard]] bool OpenForCaller();
    void RequestStop();
    // Exchanges give up once this time has passed (max: never), each read cut
    // to the time left. The desktop application's worker never sets it.
    std::chrono::steady_clock::time_point m_stepDeadline = std::chrono::steady_clock::time_point::max();

    // --- worker thread ---
    void Run();
    void ClearDeviceInfo();
    void PublishDeviceInfo();
    void PostNotify(int code);
    void PostProgressRange(uint32_t length);
    void PostProgressPos(uint32_t position);

    void WakeDevice();
    // False when the group did not answer in any attempt (or the link
    // stopped); a reply that does not parse is no answer.
    [[nodiscard]] bool ReadHardwareInfo(int attempts = POLL_ATTEMPTS);
    [[nodiscard]] bool ReadIdentity();
    // False (after posting LN_NO_RESPONSE) when there is no image or it is too
    // long to address in blocks: such an image is never begun.
    [[nodiscard]] bool ImageSendable();
    [[nodiscard]] bool BeginDownload();
    [[nodiscard]] bool WriteBlocks();
    [[nodiscard]] bool EndDownload();
    [[nodiscard]] bool RunSecondCpu();
    [[nodiscard]] bool RunDevice();

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
    template <class Judge>
    [[nodiscard]] bool SendAndAwaitAnswer(Judge judge);
    // Resets the flags of a new connection and opens the port; false with the
    // cause in m_port.m_file.m_lastError.
    [[nodiscard]] bool PrepareStart();
    [[nodiscard]] bool OpenPort();
    // Cuts the port's read time-out to what is left before m_stepDeadline;
    // false when nothing is left.
    [[nodiscard]] bool FitReadToDeadline(uint32_t readTimeout);
    // One command with its attempts and the up-to-three-replies rule.
    ExchangeResult Exchange(uint8_t code, int attempts);
    // A download or reset command: posts LN_NO_RESPONSE when it gives up.
    [[nodiscard]] bool Command(uint8_t code);
    void SettingsFile(bool save);

    mutable std::mutex m_deviceLock;
    std::string m_programPath;
};
