#pragma once

// The loopback NTP server of the tests, answering from its own thread as a test asks.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "report_lines.hpp"

struct Behaviour {
    double offset = 0;         // seconds the server's clock is ahead
    double delay = 0;          // round trip, spent half before T2 and half after T3
    bool silent = false;       // never answer
    bool echo = true;          // copy the request's transmit time into Originate
    bool other_port = false;   // answer from another port
    bool from_request = false; // server time runs from the request's transmit time (fake clock)
    std::string patch = "";    // "at:hex ...", bytes written over the reply: "1:00 12:52415445"
    size_t length = 48;        // cut, or padded with zeros
    int spoil_every = 0;       // every Nth request by turns gets random bytes or no answer
    double claimed_hold = 0;   // seconds added to T3: a hold the server claims but did not take
    int forged = 0;            // forged replies first, from this server's own address and port
    int flood = 0;             // and then forged replies from a third party's port
};

class TestServer {
  public:
    explicit TestServer(Behaviour behaviour, const std::string& ip = "127.0.0.1",
                        uint16_t port = 0);
    ~TestServer() { stop(); }
    void stop(); // after it, requests and sources are complete
    std::string endpoint;
    uint16_t port = 0;
    std::vector<std::vector<uint8_t>> requests;
    std::vector<uint16_t> sources; // the source port of each request

  private:
    void serve();
    void answer(const uint8_t* request, long length, const void* peer, unsigned peer_length);
    Behaviour behaviour_;
    int socket_ = -1, other_ = -1, third_ = -1;
    std::atomic<bool> stopping_{false};
    int served_ = 0;
    std::thread thread_;
};
