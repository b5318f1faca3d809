// The publisher over libmosquitto's own loop functions, called from the caller's loop.
#include "publisher.h"

#include "args.h"

#include <mosquitto.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

namespace cli {
namespace {

constexpr int64_t kFirstBackoffMs = 500;
constexpr int64_t kLastBackoffMs = 5000;
constexpr int kKeepAliveS = 30;
constexpr int64_t kConnectLimitMs = 10000; // a broker that took the TCP connection but never answers
constexpr int kServiceMs = 1000;           // keep-alive and the connection time limit need no more
constexpr size_t kWindow = 20;             // readings in flight at once: libmosquitto's own limit

constexpr const char* kOffline = "offline";

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

Publisher* Self(void* self) {
    return static_cast<Publisher*>(self);
}

} // namespace

Publisher::Publisher(const PublisherSettings& settings, std::FILE* err)
    : m_settings(settings), m_err(err), m_queue(settings.queue) {
    mosquitto_lib_init();
}

Publisher::~Publisher() {
    Drop();
    mosquitto_lib_cleanup();
}

void Publisher::Add(std::string_view message) {
    m_queue.Push(message);
    if (const int code = m_connected ? SendQueued() : MOSQ_ERR_SUCCESS) Lost(MqttStage::Connected, code);
}

void Publisher::SetStatus(const char* status) {
    if (m_status == status) return;
    m_status = status;
    m_statusSent = m_statusAcknowledged = false;
    if (const int code = m_connected ? SendQueued() : MOSQ_ERR_SUCCESS) Lost(MqttStage::Connected, code);
}

pollfd Publisher::PollFd() const {
    if (!m_client) return {-1, 0, 0};
    const short write = mosquitto_want_write(m_client) ? POLLOUT : 0;
    return {mosquitto_socket(m_client), static_cast<short>(POLLIN | write), 0};
}

int Publisher::TimeoutMs() const {
    if (m_client) return kServiceMs;
    return static_cast<int>(std::clamp<int64_t>(m_attemptAtMs - NowMs(), 0, kServiceMs));
}

int Publisher::Service(short revents) {
    if (m_fatal) return m_fatal;
    if (!m_client) return NowMs() >= m_attemptAtMs ? Attempt() : 0;
    const MqttStage stage = m_connected ? MqttStage::Connected : MqttStage::Connecting;
    int code = MOSQ_ERR_SUCCESS;
    if (revents & (POLLIN | POLLHUP | POLLERR)) code = mosquitto_loop_read(m_client, 1);
    if (code == MOSQ_ERR_SUCCESS && (revents & POLLOUT)) code = mosquitto_loop_write(m_client, 1);
    if (code == MOSQ_ERR_SUCCESS) code = mosquitto_loop_misc(m_client);
    if (m_refusal) return Lost(MqttStage::Connack, std::exchange(m_refusal, 0));
    if (code == MOSQ_ERR_SUCCESS && !m_connected && NowMs() - m_attemptAtMs > kConnectLimitMs)
        code = MOSQ_ERR_TIMEOUT;
    if (code == MOSQ_ERR_SUCCESS && m_connected) code = SendQueued();
    return code == MOSQ_ERR_SUCCESS ? 0 : Lost(stage, code);
}

// A fresh client for every connection: its Last Will, login and TLS, then the connection started
// (it completes in Service()).
int Publisher::Attempt() {
    const PublisherSettings& s = m_settings;
    m_tlsReason.clear();
    m_client = mosquitto_new(s.clientId.c_str(), true, this);
    if (!m_client) return Lost(MqttStage::Connecting, MOSQ_ERR_NOMEM);
    mosquitto_connect_callback_set(m_client, OnConnect);
    mosquitto_publish_callback_set(m_client, OnPublish);
    mosquitto_log_callback_set(m_client, OnLog);
    int code = mosquitto_will_set(m_client, s.statusTopic.c_str(), 7, "offline", 1, true);
    if (code == MOSQ_ERR_SUCCESS && !s.username.empty())
        code = mosquitto_username_pw_set(m_client, s.username.c_str(), s.password.c_str());
    if (code == MOSQ_ERR_SUCCESS && !s.cafile.empty())
        code =
            mosquitto_tls_set(m_client, s.cafile.c_str(), nullptr, s.cert.empty() ? nullptr : s.cert.c_str(),
                              s.key.empty() ? nullptr : s.key.c_str(), nullptr);
    m_attemptAtMs = NowMs();
    if (code == MOSQ_ERR_SUCCESS)
        code = mosquitto_connect_async(m_client, s.host.c_str(), s.port, kKeepAliveS);
    return code == MOSQ_ERR_SUCCESS ? 0 : Lost(MqttStage::Connecting, code);
}

// The connection is gone or refused: a line, then either the end or the next attempt after the
// back-off. Only the first failure of an outage is told.
int Publisher::Lost(MqttStage stage, int code) {
    const MqttOutcome outcome = ExplainMqtt(stage, code, m_tlsReason);
    Drop();
    if (outcome.exitStatus != 0) {
        std::fprintf(m_err, "korvane-cli: %s\n", outcome.text.c_str());
        return m_fatal = outcome.exitStatus;
    }
    if (!m_outage)
        std::fprintf(m_err, "korvane-cli: broker %s:%d: %s; readings wait in the queue, reconnecting\n",
                     m_settings.host.c_str(), m_settings.port, outcome.text.c_str());
    m_outage = true;
    m_backoffMs = std::clamp(m_backoffMs * 2, kFirstBackoffMs, kLastBackoffMs);
    m_attemptAtMs = NowMs() + m_backoffMs;
    return 0;
}

// The status when it changed or the connection is new, then readings up to the window. "offline"
// waits until every reading has left the queue, so that subscribers see it last.
int Publisher::SendQueued() {
    if (!m_statusSent && m_status != kOffline) {
        if (const int code = SendStatus()) return code;
    }
    for (std::string_view message;
         m_queue.InFlight() < kWindow && !(message = m_queue.NextUnsent()).empty();) {
        int id = 0;
        const int code =
            mosquitto_publish(m_client, &id, m_settings.readingTopic.c_str(),
                              static_cast<int>(message.size()), message.data(), m_settings.qos, false);
        if (code != MOSQ_ERR_SUCCESS) return code;
        m_queue.MarkSent(id);
        if (m_settings.qos == 0) m_queue.Acknowledge(id); // QoS 0 has no acknowledgement: sent is done
    }
    return !m_statusSent && m_queue.Size() == 0 ? SendStatus() : MOSQ_ERR_SUCCESS;
}

int Publisher::SendStatus() {
    const int code = mosquitto_publish(m_client, &m_statusId, m_settings.statusTopic.c_str(),
                                       static_cast<int>(m_status.size()), m_status.data(), 1, true);
    m_statusSent = code == MOSQ_ERR_SUCCESS;
    return code;
}

// Forgets the client (and with it whatever libmosquitto still held); what it carried goes again.
void Publisher::Drop() {
    if (m_client) mosquitto_destroy(m_client);
    m_client = nullptr;
    m_connected = false;
    m_statusSent = m_statusAcknowledged = false;
    m_queue.Resend();
}

int Publisher::Finish(int limitMs) {
    SetStatus(kOffline);
    const int64_t end = NowMs() + limitMs;
    for (int64_t now = NowMs(); !m_fatal && (m_queue.Size() > 0 || !m_statusAcknowledged) && now < end;
         now = NowMs()) {
        pollfd fd = PollFd();
        poll(&fd, 1, static_cast<int>(std::min<int64_t>(TimeoutMs(), end - now)));
        Service(fd.revents);
    }
    if (m_fatal) return m_fatal;
    // A clean DISCONNECT: the broker keeps "offline" and drops the Last Will.
    if (m_connected) mosquitto_disconnect(m_client);
    const size_t unacknowledged = m_queue.Size();
    std::fprintf(m_err, "published %llu, dropped %llu, unacknowledged %zu\n",
                 static_cast<unsigned long long>(m_queue.Published()),
                 static_cast<unsigned long long>(m_queue.Dropped()), unacknowledged);
    return EXIT_OK;
}

void Publisher::OnConnect(mosquitto*, void* self, int code) {
    Publisher* publisher = Self(self);
    if (code != 0) {
        publisher->m_refusal = code;
        return;
    }
    publisher->m_connected = true;
    publisher->m_backoffMs = 0;
    if (publisher->m_outage)
        std::fprintf(publisher->m_err, "korvane-cli: broker %s:%d: connected%s\n",
                     publisher->m_settings.host.c_str(), publisher->m_settings.port,
                     publisher->m_everConnected ? " again" : "");
    publisher->m_outage = false;
    publisher->m_everConnected = true;
}

void Publisher::OnPublish(mosquitto*, void* self, int id) {
    Publisher* publisher = Self(self);
    if (id == publisher->m_statusId && publisher->m_statusSent)
        publisher->m_statusAcknowledged = true;
    else if (publisher->m_settings.qos > 0)
        publisher->m_queue.Acknowledge(id);
}

// libmosquitto tells the TLS library's reason only through its log.
void Publisher::OnLog(mosquitto*, void* self, int level, const char* text) {
    const char* reason = std::strrchr(text, ':');
    if (level == MOSQ_LOG_ERR && std::strstr(text, "OpenSSL Error") && reason && reason[1])
        Self(self)->m_tlsReason = reason + 1 + std::strspn(reason + 1, " ");
}

} // namespace cli
