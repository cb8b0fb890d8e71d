#pragma once

// A loopback NTP server for the tests: it answers each request the way a test asks, from its
// own thread, and keeps every request it was sent.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct ServerBehaviour {
    double clock_offset = 0;    // seconds the server's clock is ahead of the client's
    double network_delay = 0;   // round trip, spent half before T2 and half after T3
    bool echo_originate = true; // copy the request's transmit time into Originate
    bool silent = false;        // never answer
    bool reply_from_other_port = false;
    // Server time runs from the request's transmit time instead of the real clock, so that a
    // client on a fake clock (any date) still sees a sane exchange.
    bool time_from_request = false;
    std::vector<uint8_t> raw;                        // when set, sent as it is
    std::vector<std::pair<size_t, uint8_t>> patches; // bytes overwritten in the reply
    size_t length = 48;                              // cut, or padded with zeros
};

struct ReceivedRequest {
    std::vector<uint8_t> bytes;
    uint16_t source_port;
};

// NTP seconds of the real clock, and 64-bit timestamp bytes of NTP seconds modulo 2^32.
double real_ntp_seconds();
void put_ntp_timestamp(uint8_t* bytes, double seconds);
double get_ntp_timestamp(const uint8_t* bytes);

class TestServer {
  public:
    explicit TestServer(ServerBehaviour behaviour, const std::string& address = "127.0.0.1",
                        uint16_t port = 0);
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    uint16_t port() const { return port_; }
    // "address:port", as NTP_SERVER_NAME takes it.
    std::string endpoint() const;
    std::vector<ReceivedRequest> requests();

  private:
    void serve();
    void answer(const uint8_t* request, long length, const void* peer, unsigned peer_length);

    ServerBehaviour behaviour_;
    std::string address_;
    int socket_ = -1;
    int other_socket_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<ReceivedRequest> requests_;
    std::thread thread_;
};
