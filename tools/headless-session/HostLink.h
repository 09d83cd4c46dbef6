// The tool's end of the host link: a TCP connection or standard input and
// output. Reading is left to the caller's poll loop (ReadFd); writes are
// completed in full before they return.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class HostLink {
public:
    HostLink() = default;
    ~HostLink();

    HostLink(const HostLink&) = delete;
    HostLink& operator=(const HostLink&) = delete;

    // Connects within timeoutMs; false with a message naming the reason.
    bool Connect(const std::string& host, uint16_t port, int timeoutMs, std::string& error);
    void UseStdio();

    int ReadFd() const { return m_readFd; }
    // >0 bytes read, 0 at the end of the stream, -1 on an error (message in error),
    // -2 when nothing is there yet.
    long Read(uint8_t* buffer, size_t size, std::string& error);
    // A host that takes none of a write for this long is gone.
    static constexpr int kStallLimitMs = 60000;
    // False when the peer is gone (error left empty), the write failed or
    // the host took nothing for the stall limit.
    bool WriteAll(const uint8_t* data, size_t count, std::string& error);
    // True when the host has closed its end (or the link failed), whether or
    // not bytes it sent before are still unread; never waits.
    bool HungUp() const;
    // The local address of the connection ("" in stdio mode).
    std::string LocalAddress() const;
    void Close();

private:
    int m_readFd = -1;
    int m_writeFd = -1;
    bool m_socket = false;
};
