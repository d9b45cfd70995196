// Serves the host end of a virtual line over TCP with the Telnet com-port
// option, so that any network serial port client reaches the simulated
// device on its far end. One client at a time; settings, breaks and purges
// take effect between the bytes they came between.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace veravo::sim {

class NetworkLineServer {
 public:
  // Listens on host:port (port 0: a free one) for the line named `lineName`.
  // Null with *error set when it cannot listen.
  static std::unique_ptr<NetworkLineServer> Start(const std::string& lineName, const std::string& host,
                                                  int port, const std::string& signature, std::string* error);
  ~NetworkLineServer();
  NetworkLineServer(const NetworkLineServer&) = delete;
  NetworkLineServer& operator=(const NetworkLineServer&) = delete;

  int Port() const { return port_; }

 private:
  NetworkLineServer(std::string lineName, std::string signature, std::intptr_t listener, int port);
  void AcceptLoop();

  const std::string lineName_;
  const std::string signature_;
  const std::intptr_t listener_;
  const int port_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace veravo::sim
