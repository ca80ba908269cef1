#pragma once
// The other end of a simulated line, for tests and tools: opens a serial
// device path raw, sends framed messages and reads framed replies with a
// deadline. One thread uses an object at a time.
#include <cstdint>
#include <string>
#include <vector>

#include "link/frame_codec.h"
#include "sim/unique_fd.h"

class SimClient {
public:
    enum class Result {
        Frame,     // a frame with a correct checksum ended; message holds it
        BadFrame,  // a frame ended with a wrong checksum or fewer than two bytes
        Timeout,   // nothing ended in time
        HangUp,    // the line hung up (the device closed it)
        Error,     // the port is not open or reading failed
    };

    SimClient() = default;
    SimClient(const SimClient&) = delete;
    SimClient& operator=(const SimClient&) = delete;

    // Raw 8-bit mode, non-blocking, both queues flushed.
    bool Open(const std::string& path, std::string& error);
    void Close();
    bool IsOpen() const { return m_fd.IsValid(); }
    int Fd() const { return m_fd.Get(); }

    // Frames the message and writes it whole; false on a short or failed write.
    bool Send(const std::vector<uint8_t>& message);
    bool WriteRaw(const std::vector<uint8_t>& bytes);

    // Reads until a frame ends or timeoutMs passes. message gets the message
    // (checksum removed) of a good frame.
    Result Receive(std::vector<uint8_t>& message, int timeoutMs);
    // Raw bytes that arrive within timeoutMs (bytes left over by Receive first).
    // hungUp tells whether the line hung up meanwhile.
    std::vector<uint8_t> ReadRaw(int timeoutMs, bool& hungUp);

private:
    // Waits for bytes until the deadline; appends them to m_buffer.
    Result Fill(int timeoutMs);

    UniqueFd m_fd;
    std::vector<uint8_t> m_buffer;  // read but not yet decoded
    uint8_t m_body[MAX_MESSAGE_LENGTH] = {};
    FrameDecoder m_decoder{m_body};
};
