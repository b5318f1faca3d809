// A publisher of readings to an MQTT broker, driven from its caller's loop: no thread of its own.
// The caller waits on PollFd() (together with whatever else it waits for) for at most TimeoutMs()
// and then calls Service() with what poll() reported; Add() and SetStatus() send at once when the
// broker is connected.
//
// Readings wait in a ReadingQueue while the broker cannot be reached; connection attempts follow
// each other after 0.5 s, 1 s, 2 s, 4 s, then every 5 s. At QoS 1 a reading leaves the queue only
// when the broker acknowledged it: the messages of a connection that was lost go out again on the
// next one (a fresh client each time, so none is sent twice by the library itself). The status
// topic is retained: the status set last, published on every connection, and "offline" as the
// connection's Last Will, which the broker publishes when the process or the network dies.
//
// libmosquitto's results become this tool's lines and exit statuses in ExplainMqtt (mqtt_errors.cpp):
// a refused login or a failed TLS verification ends the publisher with EXIT_FAILED; everything else
// is retried.
#pragma once

#include "reading_queue.h"

#include <cstdint>
#include <cstdio>
#include <poll.h>
#include <string>
#include <string_view>

struct mosquitto;

namespace cli {

/// Where and how to publish, with the defaults already filled in.
struct PublisherSettings {
    std::string host;
    int port = 1883;
    std::string clientId;
    std::string readingTopic; ///< PREFIX/tilt or PREFIX/dvm
    std::string statusTopic;  ///< PREFIX/status
    int qos = 1;
    std::string username; ///< empty: no login
    std::string password;
    std::string cafile; ///< empty: no TLS
    std::string cert, key;
    size_t queue = 100000;
};

/// Where a libmosquitto result came from: it decides whether it is worth another attempt.
enum class MqttStage { Connecting, Connected, Connack };

/// What a libmosquitto result (or a refusing CONNACK code at MqttStage::Connack) means here.
struct MqttOutcome {
    int exitStatus;   ///< 0: try again later; EXIT_FAILED: give up
    std::string text; ///< what happened, as a phrase for a line
};
/// The one table of libmosquitto's results. `detail` is the TLS library's own reason, if any.
MqttOutcome ExplainMqtt(MqttStage stage, int code, const std::string& detail);

class Publisher {
public:
    /// Holds the settings and the queue; nothing is connected before the first Service().
    /// Messages go to `err`.
    Publisher(const PublisherSettings& settings, std::FILE* err);
    ~Publisher();
    Publisher(const Publisher&) = delete;
    Publisher& operator=(const Publisher&) = delete;

    /// Queues one reading's message and sends what the broker can take.
    void Add(std::string_view message);
    /// The retained status from now on ("online", "no reply", "device gone", "offline").
    void SetStatus(const char* status);

    /// The socket and the events to wait for; fd -1 while no connection is open.
    pollfd PollFd() const;
    /// The longest wait before Service() is due, in milliseconds.
    int TimeoutMs() const;
    /// Does what is due: reads and writes as `revents` allows, keep-alive, a connection attempt,
    /// queued readings. Returns 0, or EXIT_FAILED once the broker refused the login or TLS failed
    /// (its one line written; the publisher is done).
    int Service(short revents);
    /// The clean end: publishes "offline", waits up to `limitMs` for every acknowledgement, then
    /// disconnects and writes "published N, dropped M, unacknowledged K". Returns 0, or EXIT_FAILED
    /// as Service() (then only that line is written).
    int Finish(int limitMs);

private:
    int Attempt();
    int Lost(MqttStage stage, int code);
    int SendQueued();
    int SendStatus();
    void Drop();
    static void OnConnect(mosquitto*, void* self, int code);
    static void OnPublish(mosquitto*, void* self, int id);
    static void OnLog(mosquitto*, void* self, int level, const char* text);

    PublisherSettings m_settings;
    std::FILE* m_err;
    ReadingQueue m_queue;
    mosquitto* m_client = nullptr; // the present connection's client; none between attempts
    bool m_connected = false;      // the broker accepted the present connection
    int m_refusal = 0;             // a refusing CONNACK code seen in the present Service()
    int m_fatal = 0;
    bool m_outage = false; // a lost connection was reported and has not come back yet
    bool m_everConnected = false;
    int64_t m_attemptAtMs = 0;
    int64_t m_backoffMs = 0;
    std::string m_status = "online";
    bool m_statusSent = false;
    bool m_statusAcknowledged = false;
    int m_statusId = 0;
    std::string m_tlsReason; // the TLS library's last error, for the line
};

} // namespace cli
